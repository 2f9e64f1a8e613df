#include "controls/qlxCtrls.h"

#include <QAbstractItemDelegate>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QPolygon>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOptionViewItem>

#include <algorithm>

#include "platform/CodePages.h"

QColor SystemColor(const QPalette& palette, TSystemColor color) {
    switch (color) {
        case TSystemColor::BtnFace: return palette.color(QPalette::Active, QPalette::Button);
        case TSystemColor::BtnShadow: return palette.color(QPalette::Active, QPalette::Dark);
        case TSystemColor::BtnText: return palette.color(QPalette::Active, QPalette::ButtonText);
        case TSystemColor::CaptionText: return palette.color(QPalette::Active, QPalette::WindowText);
        case TSystemColor::GrayText: return palette.color(QPalette::Disabled, QPalette::Text);
        case TSystemColor::Highlight: return palette.color(QPalette::Active, QPalette::Highlight);
        case TSystemColor::HighlightText: return palette.color(QPalette::Active, QPalette::HighlightedText);
        case TSystemColor::Window: return palette.color(QPalette::Active, QPalette::Base);
        case TSystemColor::WindowText: return palette.color(QPalette::Active, QPalette::Text);
    }
    return QColor();
}

QColor MixColors(const QColor& c1, const QColor& c2, int p) {
    const int s = p < 100 ? 100 : 1000;
    const auto mix = [p, s](int a, int b) { return (a * p + b * (s - p) + s / 2) / s; };
    return QColor(mix(c1.red(), c2.red()), mix(c1.green(), c2.green()), mix(c1.blue(), c2.blue()));
}

namespace {

// Rectangles below are given as the window system gives them: right and
// bottom lie just outside.
QRect WinRect(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

void FrameRect(QPainter& canvas, const QRect& r, const QColor& color) {
    if (r.width() <= 0 || r.height() <= 0) return;
    canvas.fillRect(QRect(r.left(), r.top(), r.width(), 1), color);
    canvas.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), color);
    canvas.fillRect(QRect(r.left(), r.top(), 1, r.height()), color);
    canvas.fillRect(QRect(r.right(), r.top(), 1, r.height()), color);
}

// Every other pixel of the rectangle's edge, in the pen's colour.
void DrawFocusRect(QPainter& canvas, const QRect& r) {
    QPolygon dots;
    for (int x = r.left(); x <= r.right(); x += 2) dots << QPoint(x, r.top()) << QPoint(x, r.bottom());
    for (int y = r.top(); y <= r.bottom(); y += 2) dots << QPoint(r.left(), y) << QPoint(r.right(), y);
    canvas.drawPoints(dots);
}

}  // namespace

// Lays the native parts out the way the flat look needs them: the edit field
// inside the painted frame, the arrow button's hit area on the painted button,
// and a plain one-pixel border round the open list.
class TqlxCustomComboBox::TStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        if (const auto* combo = qobject_cast<const TqlxCustomComboBox*>(widget); combo && control == CC_ComboBox) {
            switch (part) {
                case SC_ComboBoxEditField: return combo->EditRect();
                case SC_ComboBoxArrow: return combo->ButtonRect();
                case SC_ComboBoxFrame: return combo->rect();
                default: break;
            }
        }
        return QProxyStyle::subControlRect(control, option, part, widget);
    }

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (qobject_cast<const TqlxCustomComboBox*>(widget) != nullptr) {
            switch (hint) {
                case SH_ComboBox_Popup: return 0;
                case SH_ComboBox_PopupFrameStyle: return QFrame::Box | QFrame::Plain;
                case SH_ComboBox_ListMouseTracking: return 1;
                default: break;
            }
        }
        return QProxyStyle::styleHint(hint, option, widget, data);
    }

    // One instance serves every control and lives as long as the application.
    static TStyle* Shared() {
        static QPointer<TStyle> shared;
        if (shared.isNull()) {
            shared = new TStyle;
            shared->setParent(QCoreApplication::instance());
        }
        return shared;
    }
};

// Hands the drawing of list rows to the control, at the control's row height.
class TqlxCustomComboBox::TItemDelegate : public QAbstractItemDelegate {
public:
    explicit TItemDelegate(TqlxCustomComboBox* combo) : QAbstractItemDelegate(combo), combo_(combo) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        combo_->PaintListItem(*painter, index.row(), option);
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(0, combo_->ItemHeight());
    }

private:
    TqlxCustomComboBox* combo_;
};

TqlxCustomComboBox::TqlxCustomComboBox(QWidget* parent) : QComboBox(parent) {
    setStyle(TStyle::Shared());
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setItemDelegate(new TItemDelegate(this));
    if (auto* list = qobject_cast<QListView*>(view())) list->setUniformItemSizes(true);
    ListWindow()->installEventFilter(this);
    connect(this, &QComboBox::editTextChanged, this, [this] { update(); });
    itemHeight_ = TextHeight(font());
    resize(100, itemHeight_ + 6);
}

void TqlxCustomComboBox::SetItemHeight(int value) {
    itemHeight_ = value;
    view()->doItemsLayout();
}

bool TqlxCustomComboBox::DroppedDown() const { return ListWindow()->isVisible(); }

int TqlxCustomComboBox::ListHeight() const {
    const int rows = count();
    if (dropDownCount_ > 0 && rows > 0) return itemHeight_ * std::min(dropDownCount_, rows) + 2;
    return itemHeight_ + 2;
}

QRect TqlxCustomComboBox::EditRect() const {
    return QRect(imageAreaWidth_ + 3, 3, width() - arrowButtonWidth_ - imageAreaWidth_ - 8, height() - 6);
}

QRect TqlxCustomComboBox::ImageAreaRect() const { return WinRect(3, 3, imageAreaWidth_ + 3, height() - 3); }

QRect TqlxCustomComboBox::ButtonRect() const {
    return WinRect(width() - arrowButtonWidth_ - 3, 1, width() - 1, height() - 1);
}

int TqlxCustomComboBox::TextHeight(const QFont& font) { return QFontMetrics(font).height(); }

void TqlxCustomComboBox::showPopup() {
    QComboBox::showPopup();
    if (!DroppedDown()) return;
    PlaceList();
    KeepFirstRows();
    update();
    DropDown();
}

void TqlxCustomComboBox::SetReadOnly(bool value) {
    readOnly_ = value;
    lineEdit()->setReadOnly(value);
}

void TqlxCustomComboBox::SetImageAreaWidth(int value) {
    imageAreaWidth_ = value;
    lineEdit()->setGeometry(EditRect());
    update();
}

void TqlxCustomComboBox::PaintEditImage(QPainter& canvas, int, const QRect& rect) {
    if (imageAreaWidth_ > 0) canvas.fillRect(rect, SystemColor(palette(), TSystemColor::Window));
}

void TqlxCustomComboBox::DrawItem(QPainter& canvas, int index, const QRect& rect, bool) {
    canvas.fillRect(rect, canvas.brush());
    if (index >= 0) canvas.drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, itemText(index));
}

void TqlxCustomComboBox::AdjustItemHeight() { SetItemHeight(TextHeight(font())); }

void TqlxCustomComboBox::ReportExceptions(const std::function<void()>& action) {
    try {
        action();
    } catch (...) {
        emit OnException(DescribeCurrentError());
    }
}

void TqlxCustomComboBox::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    if (!isEnabled()) {
        PaintDisabled(canvas);
        return;
    }
    PaintEditImage(canvas, ItemIndex(), ImageAreaRect());
    const bool lit = IsLit();
    DrawFrame(canvas, lit);
    DrawButton(canvas, !lit ? 0 : DroppedDown() ? 2 : 1);
}

void TqlxCustomComboBox::enterEvent(QEnterEvent* event) {
    pointerInside_ = true;
    update();
    QComboBox::enterEvent(event);
}

void TqlxCustomComboBox::leaveEvent(QEvent* event) {
    pointerInside_ = false;
    update();
    QComboBox::leaveEvent(event);
}

void TqlxCustomComboBox::focusInEvent(QFocusEvent* event) {
    QComboBox::focusInEvent(event);
    update();
}

void TqlxCustomComboBox::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    update();
}

void TqlxCustomComboBox::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) AdjustItemHeight();
    if (event->type() == QEvent::EnabledChange) update();
}

bool TqlxCustomComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide && watched == ListWindow()) {
        update();
        // The list is hidden before the choice made in it becomes the current
        // item, so the choice is read once the events at hand are handled.
        QMetaObject::invokeMethod(this, [this] { CloseUp(); }, Qt::QueuedConnection);
    }
    return QComboBox::eventFilter(watched, event);
}

QWidget* TqlxCustomComboBox::ListWindow() const { return view()->parentWidget(); }

bool TqlxCustomComboBox::IsLit() const {
    return DroppedDown() || hasFocus() || lineEdit()->hasFocus() || pointerInside_;
}

void TqlxCustomComboBox::PaintDisabled(QPainter& canvas) {
    canvas.fillRect(rect(), SystemColor(palette(), TSystemColor::BtnFace));
    FrameRect(canvas, rect(), SystemColor(palette(), TSystemColor::BtnShadow));
    DrawArrow(canvas, SystemColor(palette(), TSystemColor::GrayText));
}

void TqlxCustomComboBox::DrawFrame(QPainter& canvas, bool lit) {
    const QPalette& colors = palette();
    QRect r = rect();
    FrameRect(canvas, r, SystemColor(colors, lit ? TSystemColor::Highlight : TSystemColor::BtnFace));
    r.adjust(1, 1, -1, -1);
    FrameRect(canvas, r, SystemColor(colors, TSystemColor::Window));
    r.adjust(1, 1, -1 - (arrowButtonWidth_ + 2), -1);
    FrameRect(canvas, r, SystemColor(colors, TSystemColor::Window));
}

void TqlxCustomComboBox::DrawButton(QPainter& canvas, int state) {
    const QPalette& colors = palette();
    const QColor window = SystemColor(colors, TSystemColor::Window);
    const QColor highlight = SystemColor(colors, TSystemColor::Highlight);
    const QRect button = ButtonRect();
    if (state == 0) {
        canvas.fillRect(button, SystemColor(colors, TSystemColor::BtnFace));
        FrameRect(canvas, button, window);
    } else {
        canvas.fillRect(button, MixColors(highlight, window, state == 1 ? 30 : 50));
    }
    canvas.fillRect(QRect(width() - arrowButtonWidth_ - 4, 1, 1, height() - 2), state == 0 ? window : highlight);
    DrawArrow(canvas, SystemColor(colors, state == 2 ? TSystemColor::CaptionText : TSystemColor::BtnText));
}

// A small triangle pointing down: runs of five, three and one pixels.
void TqlxCustomComboBox::DrawArrow(QPainter& canvas, const QColor& color) {
    const int x = arrowButtonWidth_ / 2 + width() - arrowButtonWidth_ - 4;
    const int y = (height() - 4) / 2 + 1;
    canvas.fillRect(QRect(x, y, 5, 1), color);
    canvas.fillRect(QRect(x + 1, y + 1, 3, 1), color);
    canvas.fillRect(QRect(x + 2, y + 2, 1, 1), color);
}

// The list takes ListWidth and its row-count height, below the control or,
// when the screen ends too soon, above it.
void TqlxCustomComboBox::PlaceList() {
    const int listHeight = ListHeight();
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    const QRect screenArea = screen()->geometry();
    opensUpward_ = screenArea.y() + screenArea.height() < origin.y() + TextHeight(font()) + listHeight + 6;
    const int top = opensUpward_ ? origin.y() - listHeight : origin.y() + height();
    ListWindow()->setGeometry(origin.x(), top, listWidth_ > 0 ? listWidth_ : width(), listHeight);
}

// A list opened on one of its first rows shows its first row at the top;
// otherwise the current row heads it.
void TqlxCustomComboBox::KeepFirstRows() {
    if (ItemIndex() <= dropDownCount_) {
        view()->scrollToTop();
    } else {
        view()->scrollTo(model()->index(ItemIndex(), modelColumn(), rootModelIndex()), QAbstractItemView::PositionAtTop);
    }
}

void TqlxCustomComboBox::PaintListItem(QPainter& canvas, int index, const QStyleOptionViewItem& option) {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette& colors = palette();
    canvas.save();
    canvas.setBrush(SystemColor(colors, selected ? TSystemColor::Highlight : TSystemColor::Window));
    canvas.setPen(SystemColor(colors, selected ? TSystemColor::HighlightText : TSystemColor::WindowText));
    canvas.setFont(font());
    canvas.setLayoutDirection(layoutDirection());
    DrawItem(canvas, index, option.rect, selected);
    if (option.state.testFlag(QStyle::State_HasFocus)) DrawFocusRect(canvas, option.rect);
    canvas.restore();
}
