#pragma once

#include <QColor>
#include <QComboBox>
#include <QImage>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

#include "platform/Exceptions.h"

class QLabel;
class QPainter;
class QPalette;
class QStyleOptionViewItem;

// The Windows system colours the flat look is drawn in, taken from a palette's
// active group: window is its base, window text its text, button face its
// button, button shadow its dark, grey text its disabled text, and caption
// text, which a palette lacks, its window text.
enum class TSystemColor {
    BtnFace,
    BtnShadow,
    BtnText,
    CaptionText,
    GrayText,
    Highlight,
    HighlightText,
    Window,
    WindowText,
};
QColor SystemColor(const QPalette& palette, TSystemColor color);

// p percent of c1 and the rest of c2, each channel rounded half up; from
// p 100 on, p counts per mille.
QColor MixColors(const QColor& c1, const QColor& c2, int p);

// A drop-down combo box with an edit field and a flat look: a two-pixel frame
// and a narrow arrow button painted over the native control, lit while the
// pointer is over it or its edit field has the focus, and an optional image
// area left of the edit field that descendants paint.
class TqlxCustomComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TqlxCustomComboBox(QWidget* parent = nullptr);

    int ArrowButtonWidth() const { return arrowButtonWidth_; }
    int ImageAreaWidth() const { return imageAreaWidth_; }
    // Rows the open list shows.
    int DropDownCount() const { return dropDownCount_; }
    void SetDropDownCount(int value) { dropDownCount_ = value; }
    // Height of one list row; a font change resets it.
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int value);
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index) { setCurrentIndex(index); }
    QString Text() const { return currentText(); }
    void SetText(const QString& text) { setEditText(text); }

    bool PointerInside() const { return pointerInside_; }
    bool DroppedDown() const;
    // Whether the last opening of the list went upwards because it did not fit below.
    bool OpensUpward() const { return opensUpward_; }
    // The open list's height: a row per entry up to DropDownCount, and its border.
    int ListHeight() const;

    // The parts, in the control's coordinates.
    QRect EditRect() const;
    QRect ImageAreaRect() const;
    QRect ButtonRect() const;

    // A font's cell height on the screen.
    static int TextHeight(const QFont& font);

    void showPopup() override;

signals:
    // An error ended one of the control's reactions to the window system
    // (an event or a broadcast), where it cannot travel on to a caller.
    void OnException(const TErrorDescription& error);

protected:
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    // Width of the open list; 0 means the control's width.
    int ListWidth() const { return listWidth_; }
    void SetListWidth(int value) { listWidth_ = value; }
    void SetImageAreaWidth(int value);

    // Paints the image area on every paint of an enabled control.
    virtual void PaintEditImage(QPainter& canvas, int index, const QRect& rect);
    // Draws one list row; canvas comes with the row's background as brush,
    // its text colour as pen and the control's font.
    virtual void DrawItem(QPainter& canvas, int index, const QRect& rect, bool selected);
    // The list has been placed and is open.
    virtual void DropDown() {}
    // The list closed; the choice it made, if any, is the current item.
    virtual void CloseUp() {}
    // The control's font changed.
    virtual void AdjustItemHeight();

    // Runs action and hands what it raises to OnException.
    void ReportExceptions(const std::function<void()>& action);

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TItemDelegate;
    class TStyle;

    QWidget* ListWindow() const;
    bool IsLit() const;
    void PaintDisabled(QPainter& canvas);
    void DrawFrame(QPainter& canvas, bool lit);
    void DrawButton(QPainter& canvas, int state);
    void DrawArrow(QPainter& canvas, const QColor& color);
    void PlaceList();
    void KeepFirstRows();
    void PaintListItem(QPainter& canvas, int index, const QStyleOptionViewItem& option);

    int arrowButtonWidth_ = 11;
    int imageAreaWidth_ = 0;
    bool readOnly_ = false;
    int listWidth_ = 0;
    int dropDownCount_ = 8;
    int itemHeight_ = 0;
    bool pointerInside_ = false;
    bool opensUpward_ = false;
};

// The plain flat combo box.
class TqlxComboBox : public TqlxCustomComboBox {
    Q_OBJECT

public:
    using TqlxCustomComboBox::TqlxCustomComboBox;
    using TqlxCustomComboBox::ListWidth;
    using TqlxCustomComboBox::ReadOnly;
    using TqlxCustomComboBox::SetListWidth;
    using TqlxCustomComboBox::SetReadOnly;
};

// The window beside the open font list that shows the highlighted family's
// name written in that family.
class TqlxFontPreview : public QWidget {
    Q_OBJECT

public:
    explicit TqlxFontPreview(QWidget* owner);

    QLabel* Panel() const { return panel_; }
    // The panel's caption and face name.
    void SetFontName(const QString& name);

private:
    QLabel* panel_;
};

// A family as the font enumeration reports it, tagged with its font-type bits.
struct TqlxFontFamily {
    QString name;
    int fontType;
};

// A font picker whose list holds every installed family in sorted order,
// headed by the most recently chosen ones, which the current user's registry
// keeps. The edit field is read-only: Text is always a listed family (or empty
// when nothing is installed).
class TqlxFontComboBox : public TqlxCustomComboBox {
    Q_OBJECT

public:
    static constexpr int TrueTypeFontType = 4;
    static constexpr int DeviceFontType = 2;
    static constexpr int RasterFontType = 1;
    static constexpr int MaxRecentCount = 5;
    // The key the recent families are kept under unless another is set.
    static const QString DefaultMRURegKey;

    explicit TqlxFontComboBox(QWidget* parent = nullptr);

    bool ShowMRU() const { return showMRU_; }
    void SetShowMRU(bool value) { showMRU_ = value; }
    // The registry key of the recent families; an empty string stores the default.
    const QString& MRURegKey() const { return mruRegKey_; }
    void SetMRURegKey(const QString& value);
    int RecentCount() const { return recentCount_; }
    bool UpdatingList() const { return updatingList_; }
    int ItemTag(int index) const;
    const QImage& TrueTypeGlyph() const { return trueTypeGlyph_; }
    const QImage& DeviceGlyph() const { return deviceGlyph_; }
    TqlxFontPreview* Preview() const { return preview_; }

    // Call once the properties are set: builds the list and selects its first
    // item. A registry error is raised after that, the list then having no
    // recent block.
    void Loaded();
    // Fills the list from scratch and, with ShowMRU, reads the recent block.
    virtual void RebuildFontList();

signals:
    // The user changed the selection.
    void OnClick(QObject* sender);

protected:
    // The installed families, in the order the platform reports them.
    virtual QList<TqlxFontFamily> EnumFontFamilies() const;

    void PaintEditImage(QPainter& canvas, int index, const QRect& rect) override;
    void DrawItem(QPainter& canvas, int index, const QRect& rect, bool selected) override;
    void DropDown() override;
    void CloseUp() override;
    void AdjustItemHeight() override;

private:
    void ReloadFontList();
    void ReadRecentFonts();
    void WriteRecentFonts();
    void RecordChoice();
    void DropRecentBlock();
    void PlacePreview();
    int IndexOfName(const QString& name) const;
    const QImage* GlyphOf(int fontType) const;

    bool showMRU_ = true;
    QString mruRegKey_;
    int recentCount_ = 0;
    bool updatingList_ = false;
    QImage trueTypeGlyph_;
    QImage deviceGlyph_;
    TqlxFontPreview* preview_;
};
