#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <filesystem>

#include "WindowTestSupport.h"
#include "controls/qlxCtrls.h"

namespace {

// The component that has the focus, or holds the widget that has it.
QString FocusedComponent(const QWidget& window) {
    for (QWidget* widget = QApplication::focusWidget(); widget != nullptr && widget != &window;
         widget = widget->parentWidget()) {
        if (widget->parentWidget() == &window || widget->parentWidget() == window.findChild<QWidget*>("Panel1")) {
            return widget->objectName();
        }
    }
    return "none";
}

}  // namespace

class TWindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init() { std::filesystem::remove_all(StoreFileName().toStdString()); }
    void cleanup() { std::filesystem::remove_all(StoreFileName().toStdString()); }

    void StartUpGivesPixelsPerInchAndTitle() {
        SetScreenPixelsPerInch(50);
        QCoreApplication::setApplicationName("window_tests");
        InitializeApplication();
        QCOMPARE(ScreenPixelsPerInch(), qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()));
        QCOMPARE(ApplicationTitle(), QString("XPS to QLT converter"));
    }

    void WindowAndComponents() {
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs);
        QCOMPARE(window->windowTitle(), QString("Convert XPS to QuillReport"));
        QCOMPARE(window->size(), QSize(443, 322));
        QCOMPARE(window->minimumSize(), QSize(443, 322));
        QCOMPARE(window->maximumSize(), QSize(443, 322));
        QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(window->font().family(), QString("Tahoma"));
        QCOMPARE(window->font().pixelSize(), 11);

        const struct {
            QWidget* component;
            QWidget* parent;
            QRect bounds;
        } layout[] = {
            {window->Memo, window.get(), {0, 137, 443, 185}},
            {window->Panel1, window.get(), {0, 0, 443, 137}},
            {window->Edit1, window->Panel1, {16, 24, 401, 21}},
            {window->bbOpenXPS, window->Panel1, {96, 51, 97, 25}},
            {window->bbConvert, window->Panel1, {224, 51, 97, 25}},
            {window->bbPreview, window->Panel1, {352, 51, 65, 25}},
            {window->qlxFontComboBox, window->Panel1, {96, 96, 225, 19}},
            {window->Image1, window->Panel1, {9, 51, 81, 80}},
        };
        for (const auto& expected : layout) {
            QCOMPARE(expected.component->parentWidget(), expected.parent);
            QCOMPARE(expected.component->geometry(), expected.bounds);
            QCOMPARE(window->findChild<QWidget*>(expected.component->objectName()), expected.component);
        }
        QCOMPARE(window->bbOpenXPS->text(), QString("Open XPS"));
        QCOMPARE(window->bbConvert->text(), QString("Convert"));
        QVERIFY(window->bbConvert->isDefault());
        QVERIFY(!window->bbPreview->isEnabled());
        QVERIFY(!window->bbOpenXPS->isDefault());
        QVERIFY(window->Edit1->isReadOnly());
        QVERIFY(window->Edit1->text().isEmpty());
        QCOMPARE(window->Memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(window->Image1->isHidden());
        QCOMPARE(window->ZipArchiverXPS().Name, std::u16string(u"ZipArchiverXPS"));
        QCOMPARE(window->SourceStream(), nullptr);

        TqlxFontComboBox& fonts = *window->qlxFontComboBox;
        QCOMPARE(fonts.MRURegKey(), QString("\\Software\\Quill Reports\\MRUFont"));
        QCOMPARE(fonts.DropDownCount(), 12);
        QCOMPARE(fonts.ItemHeight(), 13);
        QVERIFY(fonts.count() > 0);
        QCOMPARE(fonts.Text(), fonts.itemText(0));  // a first run: the first family, no recent block
        QCOMPARE(fonts.RecentCount(), 0);
        QVERIFY(QFile::exists(StoreFileName()));
        QVERIFY(dialogs.ErrorTexts.isEmpty());
    }

    void TabOrderAndKeys() {
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs);
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QStringList visited{FocusedComponent(*window)};  // the first in tab order has it on start
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << FocusedComponent(*window);
        }
        QCOMPARE(visited, QStringList({"Memo", "bbOpenXPS", "bbConvert", "Edit1", "qlxFontComboBox", "cbNestedContent",
                                       "cbDocumentFonts", "cbTextLines", "Memo"}));

        // Enter presses Convert from a field that has no use for it; Escape does not close the window.
        QSignalSpy convertClicks(window->bbConvert, &QPushButton::clicked);
        QSignalSpy openClicks(window->bbOpenXPS, &QPushButton::clicked);
        window->Edit1->setFocus();
        QTest::keyClick(window->Edit1, Qt::Key_Return);
        QCOMPARE(convertClicks.count(), 1);
        QTest::keyClick(window->Edit1, Qt::Key_Escape);
        QVERIFY(window->isVisible());
        // A focused button takes Enter for itself.
        window->bbOpenXPS->setFocus();
        QTest::keyClick(window->bbOpenXPS, Qt::Key_Return);
        QCOMPARE(openClicks.count(), 1);
        QCOMPARE(convertClicks.count(), 1);
        // Enter in the log is a new line.
        window->Memo->setFocus();
        QTest::keyClick(window->Memo, Qt::Key_Return);
        QCOMPARE(convertClicks.count(), 1);
        QCOMPARE(window->Memo->blockCount(), 2);
    }

    // Whatever the store holds, the window starts; what went wrong is shown once.
    void DamagedStoreStillStarts() {
        QString family;
        {
            TTestDialogs dialogs;
            family = CreateWindow(dialogs)->qlxFontComboBox->itemText(1);
        }
        QFile::remove(StoreFileName());
        QFile store(StoreFileName());
        QVERIFY(store.open(QIODevice::WriteOnly));
        store.write("[Software\\Quill Reports\\MRUFont]\n\"Font0\"=\"" + family.toUtf8() + "\"\n\"FontType0\"=\"4\"\n");
        store.close();

        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs);
        QCOMPARE(dialogs.ErrorTexts, QStringList("Invalid data type for 'FontType0'"));
        QCOMPARE(dialogs.ErrorTitles, QStringList("XPS to QLT converter"));
        TqlxFontComboBox& fonts = *window->qlxFontComboBox;
        QCOMPARE(fonts.RecentCount(), 0);
        QVERIFY(fonts.count() > 1);
        QCOMPARE(fonts.Text(), fonts.itemText(0));

        // A store that cannot be written fails the recording of a choice, after the window is up.
        QFile::remove(StoreFileName());
        QVERIFY(QDir().mkpath(StoreFileName()));
        fonts.showPopup();
        fonts.view()->setCurrentIndex(fonts.model()->index(1, 0));
        QTest::keyClick(fonts.view(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.ErrorTexts.size(), 2);
        QVERIFY2(dialogs.ErrorTexts[1].startsWith("Failed to set data for '"), qPrintable(dialogs.ErrorTexts[1]));
    }
};

int RunWindowLayoutTests(int argc, char** argv) {
    TWindowLayoutTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowLayoutTest.moc"
