#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "WindowTestSupport.h"
#include "platform/Streams.h"

class TWindowFileTest : public QObject {
    Q_OBJECT

private slots:
    void CommandLineRule() {
        TTestFolder folder;
        const QString accepted = folder.Write("Docs/Report.xps", XpsPackage(1));
        const QString upper = folder.Write("Docs/Upper.XPS", XpsPackage(1));
        const QString upperOpen = folder.Write("Docs/Upper.OXPS", XpsPackage(1));
        const QString doubled = folder.Write("Docs/Report.xps.bak", XpsPackage(1));
        folder.Write("Docs/old.xps/report", XpsPackage(1));
        const QString locked = folder.Write("Docs/Locked.xps", XpsPackage(1));
        const TFileStream holder(locked.toStdU16String(), fmOpenRead | fmShareExclusive);
        const QStringList refused[] = {
            {},
            {upper},
            {upperOpen},
            {doubled},
            {folder.Path("Docs/old.xps")},  // a folder
            {folder.Path("Docs/Missing.xps")},
            {locked},                       // another program holds it
            {folder.Path("Docs/Missing.xps"), accepted},  // only the first argument counts
        };
        for (const QStringList& arguments : refused) {
            TTestDialogs dialogs;
            const auto window = CreateWindow(dialogs, arguments);
            QVERIFY2(window->SourceStream() == nullptr, qPrintable(arguments.join(' ')));
            QVERIFY2(window->Edit1->text().isEmpty(), qPrintable(arguments.join(' ')));
            QVERIFY(dialogs.ErrorTexts.isEmpty());
        }

        // Shown and opened as typed, letter case and a relative path included; OpenXPS as XPS.
        const QString openXps = folder.Write("Docs/Open.oxps", XpsPackage(1));
        const QString workingDir = QDir::currentPath();
        QDir::setCurrent(folder.Path("Docs"));
        for (const QString& argument : {accepted, QString("Report.xps"), openXps}) {
            TTestDialogs dialogs;
            const auto window = CreateWindow(dialogs, {argument, upper});
            QCOMPARE(window->Edit1->text(), argument);
            QVERIFY(window->SourceStream() != nullptr);
            QCOMPARE(window->SourceStream()->FileName(), argument.toStdU16String());
            QVERIFY(!CanOpenExclusively(argument));
            window->bbOpenXPS->click();
            QCOMPARE(dialogs.Requests.size(), 1);
            QCOMPARE(dialogs.Requests[0].FileName, argument);  // the open dialog proposes the same path
            QVERIFY(dialogs.Requests[0].InitialDir.isEmpty());
        }
        QVERIFY(CanOpenExclusively(accepted));  // the window's end released it
        QDir::setCurrent(workingDir);
    }

    void OpenDialogChoices() {
        TTestFolder folder;
        const QString first = folder.Write("first.xps", XpsPackage(1));
        const QString second = folder.Write("second.xps", XpsPackage(1));
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs);

        window->Memo->setPlainText("earlier run");
        window->bbOpenXPS->click();  // cancelled
        QCOMPARE(dialogs.Requests.size(), 1);
        const TOpenDialogRequest& request = dialogs.Requests[0];
        QCOMPARE(request.Title, QString("Open XML Paper Specification Document"));
        QCOMPARE(request.FileTypes, QStringList({"XPS Documents (*.xps)", "OpenXPS Documents (*.oxps)"}));
        QCOMPARE(request.DefaultExt, QString("xps"));
        QCOMPARE(request.InitialDir, QCoreApplication::applicationDirPath());
        QVERIFY(request.FileName.isEmpty());
        QVERIFY(window->Edit1->text().isEmpty());
        QCOMPARE(window->SourceStream(), nullptr);
        QCOMPARE(MemoLines(*window), QStringList("earlier run"));

        dialogs.Answers = {first};
        window->bbOpenXPS->click();
        QCOMPARE(window->Edit1->text(), first);
        QCOMPARE(window->SourceStream()->FileName(), first.toStdU16String());
        QVERIFY(MemoLines(*window).isEmpty());
        QVERIFY(!CanOpenExclusively(first));

        // A second choice lets go of the first file at once.
        dialogs.Answers = {second};
        window->bbOpenXPS->click();
        QCOMPARE(dialogs.Requests[2].FileName, first);
        QCOMPARE(window->SourceStream()->FileName(), second.toStdU16String());
        QVERIFY(CanOpenExclusively(first));
        QVERIFY(!CanOpenExclusively(second));

        // A choice that cannot be opened: the error box, no file held, the name still shown.
        const TFileStream holder(first.toStdU16String(), fmOpenRead | fmShareExclusive);
        window->Memo->setPlainText("earlier run");
        dialogs.Answers = {first};
        window->bbOpenXPS->click();
        QCOMPARE(dialogs.ErrorTexts.size(), 1);
        const QString& text = dialogs.ErrorTexts[0];
        QVERIFY2(text.startsWith("Cannot open file \"" + first + "\". ") && text.endsWith('.'), qPrintable(text));
        QCOMPARE(dialogs.ErrorTitles, QStringList("XPS to QLT converter"));
        QCOMPARE(window->SourceStream(), nullptr);
        QCOMPARE(window->Edit1->text(), first);
        QVERIFY(CanOpenExclusively(second));
        QCOMPARE(MemoLines(*window), QStringList("earlier run"));
    }

    // The real dialogs, answered as soon as they are up.
    void PlatformDialogs() {
        TTestFolder folder;
        const QString chosen = folder.Write("Docs/chosen.xps", XpsPackage(1));
        QString title, filter, chosenFilter, directory;
        QTimer::singleShot(0, [&] {
            QDialog* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                title = dialog->windowTitle();
                filter = dialog->nameFilters().join(';');
                chosenFilter = dialog->selectedNameFilter();
                directory = dialog->directory().absolutePath();
                dialog->selectFile(chosen);
            }
            if (modal != nullptr) modal->accept();
        });
        TQtFileOpenDialog openDialog;
        const TOpenDialogRequest request{
            "Open it", {"XPS Documents (*.xps)", "OpenXPS Documents (*.oxps)"}, "xps", {}, folder.Path("Docs/first.xps")};
        QCOMPARE(openDialog.Execute(nullptr, request), chosen);
        QCOMPARE(title, QString("Open it"));
        QCOMPARE(filter, QString("XPS Documents (*.xps);OpenXPS Documents (*.oxps)"));
        QCOMPARE(chosenFilter, QString("XPS Documents (*.xps)"));
        QCOMPARE(directory, folder.Path("Docs"));

        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QString text;
        QTimer::singleShot(0, [&] {
            QDialog* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                icon = box->icon();
                buttons = box->standardButtons();
                title = box->windowTitle();
                text = box->text();
            }
            if (modal != nullptr) modal->accept();
        });
        TQtErrorBox().ShowError(nullptr, "Title", "Went wrong.");
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(title, QString("Title"));
        QCOMPARE(text, QString("Went wrong."));
    }
};

int RunWindowFileTests(int argc, char** argv) {
    TWindowFileTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowFileTest.moc"
