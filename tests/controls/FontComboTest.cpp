#include <QAbstractItemView>
#include <QApplication>
#include <QCollator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QtTest>

#include "ControlsTestSupport.h"
#include "platform/Registry.h"
#include "controls/qlxCtrls.h"

namespace {

constexpr int TT = TqlxFontComboBox::TrueTypeFontType;

// A font combo box whose installed families the test decides.
class TFakeFontComboBox : public TqlxFontComboBox {
public:
    explicit TFakeFontComboBox(QWidget* parent = nullptr) : TqlxFontComboBox(parent) {
        setPalette(TestPalette());
        setGeometry(0, 0, 225, 19);
        SetItemHeight(13);
    }

    QList<TqlxFontFamily> families = {{"Delta", TT}, {"Alpha", TT}, {"Echo", 1}, {"Charlie", TT},
                                      {"Bravo", 2},  {"Golf", TT},  {"Foxtrot", TT}, {"Hotel", TT}};

protected:
    QList<TqlxFontFamily> EnumFontFamilies() const override { return families; }
};

QStringList Names(const QComboBox& combo) {
    QStringList names;
    for (int i = 0; i < combo.count(); ++i) names << combo.itemText(i);
    return names;
}

// The five slots of the store as "name:type".
QStringList StoredSlots() {
    TRegistry registry;
    if (!registry.OpenKey(u"\\Software\\Quill Reports\\MRUFont", false)) return {"no key"};
    QStringList values;
    for (int slot = 0; slot < 5; ++slot) {
        const std::u16string digit(1, char16_t(u'0' + slot));
        values << QString::fromStdU16String(registry.ReadString(u"Font" + digit)) + ":" +
                      QString::number(registry.ReadInteger(u"FontType" + digit));
    }
    return values;
}

// Opens the list, highlights row and presses Enter, as a user picks a family.
void Choose(TqlxFontComboBox& combo, int row) {
    combo.showPopup();
    combo.view()->setCurrentIndex(combo.model()->index(row, 0));
    QTest::keyClick(combo.view(), Qt::Key_Return);
    QCoreApplication::processEvents();
}

void Choose(TqlxFontComboBox& combo, const QString& name) { Choose(combo, Names(combo).indexOf(name)); }

QString LoadError(TqlxFontComboBox& combo) {
    try {
        combo.Loaded();
    } catch (const Exception& error) {
        return QString::fromStdU16String(error.Message());
    }
    return "nothing raised";
}

// Rows 13 pixels high, drawn as the open list draws them.
QImage DrawRows(TqlxFontComboBox& combo, int rows, int selectedRow) {
    QImage image(combo.width(), rows * 13, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int row = 0; row < rows; ++row) {
        QStyleOptionViewItem option;
        option.rect = QRect(0, row * 13, combo.width(), 13);
        option.state = row == selectedRow ? QStyle::State_Selected : QStyle::State_None;
        combo.view()->itemDelegate()->paint(&painter, option, combo.model()->index(row, 0));
    }
    return image;
}

// The first column of the row at top with a pixel in none of the blank colours.
int FirstInkedColumn(const QImage& image, int top, const QList<QColor>& blank) {
    for (int x = 0; x < image.width(); ++x) {
        for (int y = top; y < top + 13; ++y) {
            if (!blank.contains(PixelAt(image, x, y))) return x;
        }
    }
    return -1;
}

const QColor Grey("#808080");
const QColor Black("#000000");

}  // namespace

class TFontComboTest : public QObject {
    Q_OBJECT

private slots:
    void ListIsSortedByLocaleWithoutRepeats() {
        TTempConfigHome home;
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        TFakeFontComboBox combo;
        combo.SetShowMRU(false);
        combo.families = {{"Zeta", TT}, {"alpha", 1}, {"Alpha", TT}, {"@Mincho", TT},
                          {"beta", 2},  {QString::fromUtf8("Éclair"), TT}, {"ALPHA", 2}};
        combo.Loaded();
        QLocale::setDefault(previous);
        QCOMPARE(Names(combo), (QStringList{"@Mincho", "alpha", "beta", QString::fromUtf8("Éclair"), "Zeta"}));
        QCOMPARE(combo.ItemTag(1), 1);  // the first report of a name wins
        QCOMPARE(combo.Text(), QString("@Mincho"));
        QVERIFY(!QFile::exists(home.StoreFile()));  // ShowMRU off: the store is left alone
    }

    void InstalledFamiliesComeFromFontconfig() {
        TTempConfigHome home;
        TqlxFontComboBox combo;
        combo.SetShowMRU(false);
        combo.Loaded();
        const int dejaVu = Names(combo).indexOf("DejaVu Sans");
        QVERIFY2(dejaVu >= 0, "scripts/setup-deps.sh installs fonts-dejavu-core");
        QCOMPARE(combo.ItemTag(dejaVu), TT);
        QVERIFY(Names(combo).contains("Liberation Sans"));
        QCollator collation;
        collation.setCaseSensitivity(Qt::CaseInsensitive);
        for (int i = 1; i < combo.count(); ++i) QVERIFY(collation.compare(combo.itemText(i - 1), combo.itemText(i)) < 0);
    }

    void ChoicesFormTheRecentBlock() {
        TTempConfigHome home;
        TFakeFontComboBox combo;
        QSignalSpy clicks(&combo, &TqlxFontComboBox::OnClick);
        combo.SetText("Arial");
        combo.Loaded();
        // First run: five empty slots, no block, the first family.
        QCOMPARE(StoredSlots(), QStringList(5, ":0"));
        QCOMPARE(combo.RecentCount(), 0);
        QCOMPARE(combo.Text(), QString("Alpha"));
        QVERIFY(combo.lineEdit()->isReadOnly());

        for (const char* name : {"Echo", "Bravo", "Delta"}) Choose(combo, name);
        QCOMPARE(clicks.count(), 3);
        QCOMPARE(Names(combo).mid(0, 4), (QStringList{"Delta", "Bravo", "Echo", "Alpha"}));
        QCOMPARE(combo.Text(), QString("Delta"));
        QCOMPARE(StoredSlots(), (QStringList{"Delta:4", "Bravo:2", "Echo:1", ":0", ":0"}));

        // A family already in the block moves up, whichever of its entries is chosen.
        Choose(combo, "Echo");
        Choose(combo, Names(combo).indexOf("Bravo", combo.RecentCount()));
        QCOMPARE(combo.RecentCount(), 3);
        QCOMPARE(StoredSlots(), (QStringList{"Bravo:2", "Echo:1", "Delta:4", ":0", ":0"}));

        // A sixth family drops the oldest.
        for (const char* name : {"Golf", "Hotel", "Alpha"}) Choose(combo, name);
        QCOMPARE(StoredSlots(), (QStringList{"Alpha:4", "Hotel:4", "Golf:4", "Bravo:2", "Echo:1"}));
        QCOMPARE(combo.count(), 13);

        // The top entry, or the keyboard with the list closed, writes nothing...
        QFile::remove(home.StoreFile());
        Choose(combo, 0);
        QTest::keyClick(&combo, Qt::Key_Down);
        QCOMPARE(combo.ItemIndex(), 1);
        QVERIFY(!QFile::exists(home.StoreFile()));
        // ...until the list closes again.
        combo.showPopup();
        QCOMPARE(combo.view()->currentIndex().row(), 0);
        QTest::keyClick(combo.view(), Qt::Key_Escape);
        QCoreApplication::processEvents();
        QCOMPARE(StoredSlots(), (QStringList{"Hotel:4", "Alpha:4", "Golf:4", "Bravo:2", "Echo:1"}));

        TFakeFontComboBox next;
        next.Loaded();
        QCOMPARE(Names(next).mid(0, 6), (QStringList{"Hotel", "Alpha", "Golf", "Bravo", "Echo", "Alpha"}));
        QCOMPARE(next.Text(), QString("Hotel"));
    }

    void UninstalledFamilyIsDropped() {
        TTempConfigHome home;
        WriteTextFile(home.StoreFile(), "[Software\\Quill Reports\\MRUFont]\n"
                                        "\"Font0\"=\"Gone\"\n\"FontType0\"=dword:00000004\n"
                                        "\"Font1\"=\"golf\"\n\"FontType1\"=dword:00000004\n"
                                        "\"Font3\"=\"Bravo\"\n\"FontType3\"=dword:00000002\n");
        TFakeFontComboBox combo;
        combo.Loaded();
        QCOMPARE(Names(combo).mid(0, 3), (QStringList{"golf", "Bravo", "Alpha"}));
        // The slots keep their numbers until a choice rewrites all five.
        QCOMPARE(StoredSlots(), (QStringList{":0", "golf:4", ":0", "Bravo:2", ":0"}));

        // Fonts installed or removed while running: a rebuild, and the top entry again.
        combo.families.removeIf([](const TqlxFontFamily& family) { return family.name == "Golf"; });
        combo.families.append({"India", TT});
        combo.SetItemIndex(6);
        emit qGuiApp->fontDatabaseChanged();
        QCOMPARE(Names(combo).mid(0, 2), (QStringList{"Bravo", "Alpha"}));
        QVERIFY(Names(combo).contains("India") && !Names(combo).contains("Golf"));
        QCOMPARE(combo.Text(), QString("Bravo"));
        QCOMPARE(StoredSlots(), (QStringList{":0", ":0", ":0", "Bravo:2", ":0"}));
    }

    void StoreIsSavedOncePerChange() {
        TTempConfigHome home;
        TSaveCounter saves((home.Path() + "/QuillReports").toStdString());
        TFakeFontComboBox combo;
        combo.Loaded();  // a first run fills the five slots
        QCOMPARE(saves.Count(), 1);
        Choose(combo, "Echo");
        QCOMPARE(saves.Count(), 2);
        TFakeFontComboBox next;
        next.Loaded();  // every slot usable: nothing to clear
        Choose(next, "Golf");
        QCOMPARE(saves.Count(), 3);
        QCOMPARE(StoredSlots(), (QStringList{"Golf:4", "Echo:1", ":0", ":0", ":0"}));
    }

    void ShowMRUOffNeverTouchesTheStore() {
        TTempConfigHome home;
        WriteTextFile(home.StoreFile(), "[Software\\Quill Reports\\MRUFont]\n\"Font0\"=\"Golf\"\n\"FontType0\"=dword:4\n");
        const QByteArray before = ReadTextFile(home.StoreFile());
        TFakeFontComboBox combo;
        combo.SetShowMRU(false);
        combo.Loaded();
        QCOMPARE(combo.Text(), QString("Alpha"));
        Choose(combo, "Golf");
        QCOMPARE(combo.itemText(0), QString("Alpha"));
        QCOMPARE(combo.Text(), QString("Golf"));
        QCOMPARE(ReadTextFile(home.StoreFile()), before);
    }

    void DamagedOrUnwritableStoreLeavesAListWithoutRecentBlock() {
        TTempConfigHome home;
        WriteTextFile(home.StoreFile(), "[Software\\Quill Reports\\MRUFont]\n"
                                        "\"Font0\"=\"Golf\"\n\"FontType0\"=\"4\"\n"
                                        "\"Font1\"=\"Hotel\"\n\"FontType1\"=dword:00000004\n");
        TFakeFontComboBox damaged;
        QCOMPARE(LoadError(damaged), "Invalid data type for 'FontType0'");
        QCOMPARE(damaged.RecentCount(), 0);
        QCOMPARE(Names(damaged).mid(0, 2), (QStringList{"Alpha", "Bravo"}));
        QCOMPARE(damaged.Text(), QString("Alpha"));
        QVERIFY(!damaged.UpdatingList());

        WriteTextFile(home.StoreFile(), "[Software\\Quill Reports\\MRUFont]\n\"Font0\"=\"Golf\"\n");
        TFakeFontComboBox missingType;
        QCOMPARE(LoadError(missingType), "Failed to get data for 'FontType0'");
        Choose(missingType, "Golf");  // a choice repairs the store
        QCOMPARE(StoredSlots(), (QStringList{"Golf:4", ":0", ":0", ":0", ":0"}));

        WriteTextFile(home.Path() + "/file", "x");
        qputenv("XDG_CONFIG_HOME", (home.Path() + "/file").toLocal8Bit());
        TFakeFontComboBox unwritable;
        QCOMPARE(LoadError(unwritable), "Failed to set data for 'Font4'");
        QCOMPARE(unwritable.count(), 8);
        // A failed recording comes after the list was reordered; the signal carries it.
        QStringList errors;
        connect(&unwritable, &TqlxCustomComboBox::OnException, this,
                [&errors](const TErrorDescription& error) { errors << QString::fromStdU16String(error.Message); });
        Choose(unwritable, "Echo");
        QCOMPARE(errors, QStringList{"Failed to set data for 'Font0'"});
        QCOMPARE(unwritable.Text(), QString("Echo"));
        QCOMPARE(unwritable.RecentCount(), 1);
    }

    void ItemsAndImageAreaDrawGlyphs() {
        TTempConfigHome home;
        TFakeFontComboBox combo;
        combo.Loaded();
        Choose(combo, "Echo");
        Choose(combo, "Bravo");
        // Rows: Bravo (device), Echo (raster) | Alpha (TrueType, selected), Bravo.
        const QImage image = DrawRows(combo, 4, 2);
        const QColor window = SystemColor(TestPalette(), TSystemColor::Window);
        const QColor shadow = SystemColor(TestPalette(), TSystemColor::BtnShadow);
        const QColor highlight = SystemColor(TestPalette(), TSystemColor::Highlight);

        // Glyphs one pixel in and centred, the aqua pixels showing the background.
        QCOMPARE(PixelAt(image, 5, 0), Black);  // the printer's top
        QCOMPARE(PixelAt(image, 1, 27), Grey);  // the grey T's second row
        QCOMPARE(PixelAt(image, 2, 27), highlight);
        QCOMPARE(PixelAt(image, 6, 29), Black);
        QCOMPARE(PixelAt(image, 0, 27), highlight);
        // Names 17 pixels in, with a glyph or without.
        const int echoInk = FirstInkedColumn(image, 13, {window, shadow});
        QVERIFY2(echoInk == 17 || echoInk == 18, qPrintable(QString::number(echoInk)));
        QCOMPARE(FirstInkedColumn(image, 39, {window}), 2);  // the printer's left edge
        const int bravoInk = FirstInkedColumn(image.copy(16, 0, 225 - 16, 52), 39, {window});
        QVERIFY2(bravoInk == 1 || bravoInk == 2, qPrintable(QString::number(bravoInk)));
        // The double line: bottom - 2 of the last recent row, the top of the first sorted one.
        for (const int x : {0, 100, 224}) {
            QCOMPARE(PixelAt(image, x, 24), shadow);
            QCOMPARE(PixelAt(image, x, 25), window);
            QCOMPARE(PixelAt(image, x, 26), shadow);
        }
        QCOMPARE(PixelAt(image, 224, 11), window);
        // A row drawn selected names itself in the preview.
        QCOMPARE(combo.Preview()->Panel()->text(), QString("Alpha"));
        QCOMPARE(combo.Preview()->Panel()->font().family(), QString("Alpha"));
        QCOMPARE(combo.Preview()->Panel()->font().pointSize(), 18);

        // The image area: the chosen family's glyph at (3, 3); blank for no family.
        QCOMPARE(PixelAt(combo.grab().toImage(), 7, 3), Black);
        combo.SetItemIndex(2);
        QImage area = combo.grab().toImage();
        QCOMPARE(PixelAt(area, 3, 3), Grey);
        QCOMPARE(PixelAt(area, 8, 6), Black);
        QCOMPARE(PixelAt(area, 17, 3), window);
        combo.SetText("Nothing like it");
        area = combo.grab().toImage();
        for (int x = 3; x < 19; ++x) QCOMPARE(PixelAt(area, x, 6), window);
    }

    void ItemHeightFollowsTheFont() {
        TqlxFontComboBox combo;
        QCOMPARE(combo.TrueTypeGlyph().size(), QSize(15, 12));  // the resources are linked in
        QCOMPARE(combo.DeviceGlyph().size(), QSize(15, 12));
        QFont font = combo.font();
        font.setPixelSize(8);
        combo.setFont(font);
        QCOMPARE(combo.ItemHeight(), 13);
        font.setPixelSize(24);
        combo.setFont(font);
        QCOMPARE(combo.ItemHeight(), TqlxCustomComboBox::TextHeight(font));
    }

    void PreviewStandsBesideTheList() {
        TTempConfigHome home;
        QWidget window;
        TFakeFontComboBox combo(&window);
        combo.move(10, 10);
        window.setGeometry(100, 100, 300, 60);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        combo.Loaded();
        TqlxFontPreview* preview = combo.Preview();

        combo.SetItemIndex(6);
        combo.showPopup();
        const QPoint origin = combo.mapToGlobal(QPoint(0, 0));
        QVERIFY(preview->isVisible());
        QCOMPARE(preview->geometry(), QRect(origin.x() + 226, origin.y() + 19, 200, 50));
        QCOMPARE(combo.view()->currentIndex().row(), 6);
        combo.hidePopup();
        QCoreApplication::processEvents();
        QVERIFY(preview->isHidden());

        // Near the screen's right and bottom edges it goes left and up.
        const QRect screen = combo.screen()->geometry();
        window.move(screen.right() - 300, screen.bottom() - 80);
        QTRY_COMPARE(window.pos(), QPoint(screen.right() - 300, screen.bottom() - 80));
        combo.showPopup();
        const QPoint moved = combo.mapToGlobal(QPoint(0, 0));
        QVERIFY(combo.OpensUpward());
        QCOMPARE(preview->geometry(), QRect(moved.x() - 201, moved.y() - 50, 200, 50));
        combo.hidePopup();
        QCoreApplication::processEvents();
    }
};

int RunFontComboTests(int argc, char** argv) {
    TFontComboTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FontComboTest.moc"
