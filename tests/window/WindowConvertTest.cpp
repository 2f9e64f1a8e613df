#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSvgRenderer>
#include <QTextBlock>

#include "WindowTestSupport.h"
#include "app/xpsmainPreview.h"
#include "controls/qlxCtrls.h"
#include "tests/support/TestXpsPackage.h"

// Removes the settings store however the test that made it ends: a failed check returns at once.
struct TStoreCleanup {
    ~TStoreCleanup() { QFile::remove(StoreFileName()); }
};

class TWindowConvertTest : public QObject {
    Q_OBJECT

private slots:
    void ConvertFillsLog() {
        TTestFolder folder;
        const QString source = folder.Write("Mixed Case/Invoice.xps", XpsPackage(2));
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs, {source});
        TqlxFontComboBox& fonts = *window->qlxFontComboBox;
        fonts.SetItemIndex(fonts.count() - 1);
        QVERIFY(fonts.Text() != "Arial");

        const QStringList log{"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "Page2 - Ok", "Zip archive close"};
        window->Memo->setPlainText("typed by the user");
        window->bbConvert->click();
        QCOMPARE(MemoLines(*window), log);
        QVERIFY(dialogs.ErrorTexts.isEmpty());
        for (const char* name : {"Mixed Case/Invoice_1_1.qlt", "Mixed Case/Invoice_1_2.qlt"}) {
            const QByteArray qlt = folder.Read(name);
            QVERIFY2(qlt.contains("Invoice page"), qPrintable(name));
            QVERIFY2(qlt.contains("Font.Name=\"" + fonts.Text().toUtf8() + "\""), qPrintable(name));
        }

        // The file stays held, so Convert runs again on it from the start.
        QVERIFY(window->SourceStream() != nullptr);
        QVERIFY(!CanOpenExclusively(source));
        window->bbConvert->click();
        QCOMPARE(MemoLines(*window), log);
    }

    void OpenXpsNamesItsTemplatesAsXpsDoes() {
        TTestFolder folder;
        const QString source = folder.Write("a.oxps", XpsPackage(2));
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs, {source});
        window->bbConvert->click();
        QVERIFY(dialogs.ErrorTexts.isEmpty());
        QCOMPARE(QDir(folder.Path(".")).entryList(QDir::Files, QDir::Name),
                 QStringList({"a.oxps", "a_1_1.qlt", "a_1_2.qlt"}));
    }

    // The check box chooses the nested conversion, and the store keeps it for the next start.
    void NestedContentIsAnOptionTheStoreKeeps() {
        const TStoreCleanup cleanup;
        TTestFolder folder;
        const std::string bytes = PackageBytes(OneDocument({PageWith(
            "<Canvas RenderTransform=\"2,0,0,2,0,0\"><Glyphs OriginX=\"10\" OriginY=\"20\" FontRenderingEmSize=\"12\" "
            "UnicodeString=\"inside\"/></Canvas>")}));
        const QString source = folder.Write("n.xps", QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        TTestDialogs dialogs;
        {
            const auto window = CreateWindow(dialogs, {source});
            QVERIFY(!window->cbNestedContent->isChecked());
            window->bbConvert->click();
            QVERIFY(!folder.Read("n_1_1.qlt").contains("inside"));
            window->cbNestedContent->click();
            window->bbConvert->click();
            QVERIFY(folder.Read("n_1_1.qlt").contains("Left=\"20\" Top=\"40\""));
        }
        QVERIFY(CreateWindow(dialogs)->cbNestedContent->isChecked());
        QVERIFY(dialogs.ErrorTexts.isEmpty());
    }

    // The check box gives text objects the embedded font's family, and the store keeps it.
    void DocumentFontsIsAnOptionTheStoreKeeps() {
        const TStoreCleanup cleanup;
        TTestFolder folder;
        std::vector<TPart> parts = OneDocument({PageWith(
            "<Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"9\" FontUri=\"/m.ttf\" UnicodeString=\"x\"/>")});
        parts.push_back({"m.ttf", TEmbeddedFont("/usr/share/fonts/truetype/liberation2/LiberationMono-Bold.ttf").Bytes()});
        const QString source = folder.Write("f.xps", QByteArray::fromStdString(PackageBytes(parts)));
        TTestDialogs dialogs;
        {
            const auto window = CreateWindow(dialogs, {source});
            QVERIFY(!window->cbDocumentFonts->isChecked());
            window->cbDocumentFonts->click();
            window->bbConvert->click();
            QVERIFY(folder.Read("f_1_1.qlt").contains("Font.Name=\"Liberation Mono\" Font.Style=\"1\""));
        }
        QVERIFY(CreateWindow(dialogs)->cbDocumentFonts->isChecked());
        QVERIFY(dialogs.ErrorTexts.isEmpty());
    }

    // An office package, and a printout with its content in canvases, point
    // the user to the check box that converts them: in the error box, or in
    // a line after the log's own.
    void TheDefaultModeGuidesToNestedContent() {
        const TStoreCleanup cleanup;
        TTestFolder folder;
        std::vector<TPart> office = OneDocument({PageWith("<Canvas/>")});
        for (const size_t entry : {kSequenceEntry, kDocumentEntry})
            office[entry].Content.erase(0, office[entry].Content.find("?>") + 2);
        const std::string canvas = PackageBytes(OneDocument({PageWith("<Canvas><Path Data=\"M 0,0 L 1,1\"/></Canvas>")}));
        const QString officeFile = folder.Write("office.xps", QByteArray::fromStdString(PackageBytes(office)));
        const QString canvasFile = folder.Write("canvas.xps", QByteArray::fromStdString(canvas));
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs, {officeFile});
        const QString checkBox = "\"" + window->cbNestedContent->text() + "\"";
        window->bbConvert->click();
        QCOMPARE(dialogs.ErrorTexts.size(), 1);
        QVERIFY(dialogs.ErrorTexts[0].startsWith("Invalid file format.\n\n"));
        QVERIFY(dialogs.ErrorTexts[0].contains(checkBox));
        QVERIFY(!MemoLines(*window).join("").contains(checkBox));

        dialogs.Answers = QStringList{canvasFile};
        window->bbOpenXPS->click();
        window->bbConvert->click();
        QCOMPARE(MemoLines(*window).mid(0, 4), QStringList({"Zip archive open", "Doc1 - Ok", "Page1 - Ok", "Zip archive close"}));
        QVERIFY(MemoLines(*window).value(4).contains(checkBox));
        window->cbNestedContent->click();
        window->bbConvert->click();
        QCOMPARE(MemoLines(*window).size(), 4);
        QCOMPARE(dialogs.ErrorTexts.size(), 1);
    }

    // The check box joins the runs of a line into one text object, and the
    // store keeps it; it stands inside the panel, clear of the font box.
    void TextLinesIsAnOptionTheStoreKeeps() {
        const TStoreCleanup cleanup;
        TTestFolder folder;
        const std::string run = "<Glyphs OriginY=\"20\" FontRenderingEmSize=\"10\" Indices=\",50;,50\" UnicodeString=";
        const std::string page = PageWith(run + "\"ab\" OriginX=\"0\"/>" + run + "\"cd\" OriginX=\"12.5\"/>");
        const QString source = folder.Write("t.xps", QByteArray::fromStdString(PackageBytes(OneDocument({page}))));
        TTestDialogs dialogs;
        {
            const auto window = CreateWindow(dialogs, {source});
            QVERIFY(window->Panel1->rect().contains(window->cbTextLines->geometry()));
            QVERIFY(!window->cbTextLines->geometry().intersects(window->qlxFontComboBox->geometry()));
            QVERIFY(!window->cbTextLines->isChecked());
            window->cbTextLines->click();
            window->bbConvert->click();
            QVERIFY(folder.Read("t_1_1.qlt").contains("Text=\"ab cd\""));
        }
        QVERIFY(CreateWindow(dialogs)->cbTextLines->isChecked());
        QVERIFY(dialogs.ErrorTexts.isEmpty());
    }

    // The preview lists the pages the run wrote and draws the one chosen;
    // a template gone since shows its error instead.
    void PreviewShowsThePagesOfTheRun() {
        TTestFolder folder;
        const std::string text = "<Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"9\" UnicodeString=\"a\"/>";
        const std::string line = "<Path Stroke=\"#FF000000\" Data=\"F1 M 1,2 L 3,4\"/>";
        const std::string bytes =
            PackageBytes(OneDocument({PageWith(text + line), PageWith(text + text), "<FixedPage Width=\"?\"/>"}));
        const QString source = folder.Write("p.xps", QByteArray::fromStdString(bytes));
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs, {source});
        QVERIFY(!window->bbPreview->isEnabled());
        window->bbConvert->click();
        QVERIFY(window->bbPreview->isEnabled());
        // A double click on a page's log line opens the preview at that page, when it wrote one.
        for (const auto& [line, row] : {std::pair{"Page3 - Ok", -1}, std::pair{"Page2 - Ok", 1}}) {
            const QTextCursor cursor(window->Memo->document()->find(line).block());
            QTest::mouseDClick(window->Memo->viewport(), Qt::LeftButton, {}, window->Memo->cursorRect(cursor).center());
            const auto* preview = window->findChild<TfmTemplatePreview*>();
            QCOMPARE(preview == nullptr ? -1 : preview->lbPages->currentRow(), row);
        }
        window->bbPreview->click();
        const auto* preview = window->findChild<TfmTemplatePreview*>();
        QVERIFY(preview != nullptr && preview->isVisible());
        QCOMPARE(preview->lbPages->count(), 2);
        QCOMPARE(preview->lbPages->item(1)->text(), QString("Document 1, page 2"));
        QCOMPARE(preview->lbCounts->text(), QString("1 text object, 1 line object"));
        QCOMPARE(preview->Picture()->viewBoxF(), QRectF(0, 0, 816, 1056));

        preview->rbActualSize->click();
        QCOMPARE(preview->PictureView()->size(), preview->Picture()->defaultSize() + QSize(16, 16));
        preview->lbPages->setCurrentRow(1);
        QCOMPARE(preview->lbCounts->text(), QString("2 text objects, 0 line objects"));
        QFile::remove(folder.Path("p_1_1.qlt"));
        preview->lbPages->setCurrentRow(0);
        QCOMPARE(preview->Picture(), nullptr);
        QVERIFY(preview->lbCounts->text().startsWith("Cannot open file"));

        // Another file forgets the run, and its preview closes.
        dialogs.Answers << folder.Write("empty.xps", "not a package");
        window->bbOpenXPS->click();
        QVERIFY(!window->bbPreview->isEnabled());
        QCOMPARE(window->findChild<TfmTemplatePreview*>(), nullptr);
    }

    void ConvertWithoutFileClearsLog() {
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs);
        window->Memo->setPlainText("Zip archive open\nZip archive close");
        window->bbConvert->click();
        QVERIFY(MemoLines(*window).isEmpty());
        QVERIFY(dialogs.ErrorTexts.isEmpty());
    }

    void ArchiveThatDoesNotOpen() {
        TTestFolder folder;
        const QString source = folder.Write("broken.xps", "This is not a ZIP archive at all.");
        TTestDialogs dialogs;
        const auto window = CreateWindow(dialogs, {source});
        window->bbConvert->click();
        QCOMPARE(dialogs.ErrorTitles, QStringList("XPS to QLT converter"));
        QCOMPARE(dialogs.ErrorTexts, QStringList("Invalid archive file. - Native error: 00035."));
        QVERIFY(MemoLines(*window).isEmpty());
        QCOMPARE(window->Edit1->text(), source);
        QVERIFY(window->SourceStream() != nullptr);
    }
};

int RunWindowConvertTests(int argc, char** argv) {
    TWindowConvertTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowConvertTest.moc"
