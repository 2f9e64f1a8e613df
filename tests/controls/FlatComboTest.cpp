#include <QAbstractItemView>
#include <QApplication>
#include <QEnterEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QtTest>

#include "ControlsTestSupport.h"
#include "controls/qlxCtrls.h"

namespace {

// The main window's font combo box in size, with an image area a test can see.
class TImageAreaComboBox : public TqlxComboBox {
public:
    explicit TImageAreaComboBox(QWidget* parent = nullptr) : TqlxComboBox(parent) {
        SetImageAreaWidth(16);
        setPalette(TestPalette());
        setGeometry(0, 0, 225, 19);
        SetItemHeight(13);
        SetDropDownCount(12);
    }

protected:
    void PaintEditImage(QPainter& canvas, int, const QRect& rect) override { canvas.fillRect(rect, Qt::red); }
};

QColor Sys(TSystemColor color) { return SystemColor(TestPalette(), color); }

void AddItems(QComboBox& combo, int count) {
    for (int i = 0; i < count; ++i) combo.addItem(QString("Item %1").arg(i));
}

void SendPointer(QWidget& widget, bool inside) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, inside ? static_cast<QEvent*>(&enter) : &leave);
}

// Outer frame, button frame or fill, separator, arrow: the pixels that tell the button state.
void ExpectState(QWidget& combo, const QColor& frame, const QColor& buttonEdge, const QColor& fill,
                 const QColor& separator, const QColor& arrow) {
    const QImage image = combo.grab().toImage();
    QCOMPARE(PixelAt(image, 0, 0), frame);
    QCOMPARE(PixelAt(image, 224, 18), frame);
    QCOMPARE(PixelAt(image, 211, 1), buttonEdge);
    QCOMPARE(PixelAt(image, 212, 2), fill);
    QCOMPARE(PixelAt(image, 210, 5), separator);
    QCOMPARE(PixelAt(image, 217, 10), arrow);
}

}  // namespace

class TFlatComboTest : public QObject {
    Q_OBJECT

private slots:
    void MixColorsRoundsHalfUp() {
        const QColor highlight(51, 153, 255);
        const QColor white(255, 255, 255);
        QCOMPARE(MixColors(highlight, white, 30), QColor(194, 224, 255));
        QCOMPARE(MixColors(highlight, white, 50), QColor(153, 204, 255));
        QCOMPARE(MixColors(QColor(1, 3, 0), QColor(0, 0, 0), 50), QColor(1, 2, 0));
        QCOMPARE(MixColors(QColor(255, 0, 10), QColor(0, 255, 20), 0), QColor(0, 255, 20));
        // From 100 on the weight counts per mille.
        QCOMPARE(MixColors(QColor(200, 0, 0), QColor(0, 200, 0), 100), QColor(20, 180, 0));
    }

    void GeometryOfTheMainWindowsBox() {
        TImageAreaComboBox combo;
        QPalette editColors = combo.lineEdit()->palette();
        editColors.setColor(QPalette::Base, Qt::yellow);
        combo.lineEdit()->setPalette(editColors);
        const QImage image = combo.grab().toImage();
        QCOMPARE(combo.lineEdit()->geometry(), QRect(19, 3, 190, 13));
        for (const QPoint p : {QPoint(19, 3), QPoint(208, 3), QPoint(19, 15), QPoint(208, 15)}) {
            QCOMPARE(PixelAt(image, p.x(), p.y()), QColor(Qt::yellow));
        }
        for (const QPoint p : {QPoint(3, 3), QPoint(18, 3), QPoint(3, 15), QPoint(18, 15)}) {
            QCOMPARE(PixelAt(image, p.x(), p.y()), QColor(Qt::red));
        }
        // The window-coloured ring round image area and edit field.
        for (const QPoint p : {QPoint(2, 2), QPoint(2, 16), QPoint(18, 16), QPoint(209, 2), QPoint(209, 9), QPoint(209, 16)}) {
            QCOMPARE(PixelAt(image, p.x(), p.y()), Sys(TSystemColor::Window));
        }
        const QColor arrow = Sys(TSystemColor::BtnText);
        for (int x = 214; x <= 220; ++x) QCOMPARE(PixelAt(image, x, 8) == arrow, x >= 215 && x <= 219);
        for (int x = 215; x <= 219; ++x) QCOMPARE(PixelAt(image, x, 9) == arrow, x >= 216 && x <= 218);
        for (int x = 215; x <= 219; ++x) QCOMPARE(PixelAt(image, x, 10) == arrow, x == 217);
        QVERIFY(PixelAt(image, 217, 11) != arrow && PixelAt(image, 217, 7) != arrow);
    }

    void ButtonStates() {
        QWidget window;
        QLineEdit other(&window);
        TImageAreaComboBox combo(&window);
        combo.move(0, 30);
        AddItems(combo, 3);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        other.setFocus();
        const QColor face = Sys(TSystemColor::BtnFace);
        const QColor windowColor = Sys(TSystemColor::Window);
        const QColor highlight = Sys(TSystemColor::Highlight);
        const QColor lit = MixColors(highlight, windowColor, 30);

        ExpectState(combo, face, windowColor, face, windowColor, Sys(TSystemColor::BtnText));
        SendPointer(combo, true);
        QVERIFY(combo.PointerInside());
        ExpectState(combo, highlight, lit, lit, highlight, Sys(TSystemColor::BtnText));
        SendPointer(combo, false);
        ExpectState(combo, face, windowColor, face, windowColor, Sys(TSystemColor::BtnText));
        combo.setFocus();
        QTRY_VERIFY(combo.hasFocus() || combo.lineEdit()->hasFocus());
        ExpectState(combo, highlight, lit, lit, highlight, Sys(TSystemColor::BtnText));

        combo.showPopup();
        QVERIFY(combo.DroppedDown());
        const QColor open = MixColors(highlight, windowColor, 50);
        ExpectState(combo, highlight, open, open, highlight, Sys(TSystemColor::CaptionText));
        // The pointer changes nothing while the list is open.
        SendPointer(combo, true);
        SendPointer(combo, false);
        ExpectState(combo, highlight, open, open, highlight, Sys(TSystemColor::CaptionText));
        combo.hidePopup();

        // Disabled: a shadow frame on button face, a grey arrow and no image area.
        combo.setEnabled(false);
        ExpectState(combo, Sys(TSystemColor::BtnShadow), face, face, face, Sys(TSystemColor::GrayText));
        QCOMPARE(PixelAt(combo.grab().toImage(), 5, 5), face);
    }

    void OpenListSizeDirectionAndFirstRow() {
        QWidget window;
        TImageAreaComboBox combo(&window);
        window.setGeometry(50, 50, 300, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(combo.ListHeight(), 15);  // empty: one row and the border

        AddItems(combo, 3);
        combo.showPopup();
        QWidget* list = combo.view()->parentWidget();
        QCOMPARE(list->geometry(), QRect(combo.mapToGlobal(QPoint(0, 19)), QSize(225, 13 * 3 + 2)));
        QCOMPARE(combo.view()->visualRect(combo.model()->index(2, 0)), QRect(0, 26, 223, 13));
        QVERIFY(!combo.OpensUpward());
        combo.hidePopup();

        AddItems(combo, 27);
        combo.SetListWidth(300);
        const auto topRowWhenOpenedAt = [&combo](int index) {
            combo.SetItemIndex(index);
            combo.showPopup();
            const int row = combo.view()->indexAt(QPoint(1, 1)).row();
            combo.hidePopup();
            return row;
        };
        QCOMPARE(topRowWhenOpenedAt(12), 0);
        QCOMPARE(list->size(), QSize(300, 13 * 12 + 2));
        QCOMPARE(topRowWhenOpenedAt(15), 15);
        QCOMPARE(topRowWhenOpenedAt(3), 0);

        // Too close to the screen's bottom: the list opens upwards.
        const QRect screen = combo.screen()->geometry();
        window.move(50, screen.bottom() - 100);
        QTRY_COMPARE(window.pos(), QPoint(50, screen.bottom() - 100));
        combo.showPopup();
        QVERIFY(combo.OpensUpward());
        QCOMPARE(list->geometry().bottom() + 1, combo.mapToGlobal(QPoint(0, 0)).y());
        combo.hidePopup();
    }

    void ReadOnlyAndItemHeight() {
        TqlxComboBox combo;
        QVERIFY(!combo.ReadOnly() && !combo.lineEdit()->isReadOnly());
        combo.SetReadOnly(true);
        QVERIFY(combo.lineEdit()->isReadOnly());
        QFont font = combo.font();
        font.setPixelSize(30);
        combo.setFont(font);
        QCOMPARE(combo.ItemHeight(), TqlxCustomComboBox::TextHeight(font));
        QVERIFY(combo.ItemHeight() > 30);
    }
};

int RunFlatComboTests(int argc, char** argv) {
    TFlatComboTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FlatComboTest.moc"
