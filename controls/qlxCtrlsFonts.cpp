#include <fontconfig/fontconfig.h>

#include <QAbstractItemView>
#include <QCollator>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <exception>
#include <memory>

#include "platform/Registry.h"
#include "controls/qlxCtrls.h"
#include "platform/Conversions.h"

namespace {

std::u16string NameValue(int slot) { return u"Font" + IntToStr(slot); }
std::u16string TypeValue(int slot) { return u"FontType" + IntToStr(slot); }

// A glyph with the colour of its bottom-left pixel made transparent.
QImage LoadGlyph(const QString& resource) {
    QImage glyph = QImage(resource).convertToFormat(QImage::Format_ARGB32);
    if (glyph.isNull()) return glyph;
    const QRgb transparent = glyph.pixel(0, glyph.height() - 1);
    for (int y = 0; y < glyph.height(); ++y) {
        for (int x = 0; x < glyph.width(); ++x) {
            if (glyph.pixel(x, y) == transparent) glyph.setPixel(x, y, qRgba(0, 0, 0, 0));
        }
    }
    return glyph;
}

// The top at which something of the given height sits centred in rect.
int CentredTop(const QRect& rect, int height) { return (rect.top() + rect.top() + rect.height() - height) / 2; }

class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~TFlagScope() { flag_ = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
};

class TRedrawSuspension {
public:
    explicit TRedrawSuspension(QWidget* widget) : widget_(widget), enabled_(widget->updatesEnabled()) {
        widget_->setUpdatesEnabled(false);
    }
    ~TRedrawSuspension() { widget_->setUpdatesEnabled(enabled_); }
    TRedrawSuspension(const TRedrawSuspension&) = delete;
    TRedrawSuspension& operator=(const TRedrawSuspension&) = delete;

private:
    QWidget* widget_;
    bool enabled_;
};

template <typename T, void (*Free)(T*)>
struct TFcDeleter {
    void operator()(T* object) const { Free(object); }
};
using TFcPattern = std::unique_ptr<FcPattern, TFcDeleter<FcPattern, FcPatternDestroy>>;
using TFcObjectSet = std::unique_ptr<FcObjectSet, TFcDeleter<FcObjectSet, FcObjectSetDestroy>>;
using TFcFontSet = std::unique_ptr<FcFontSet, TFcDeleter<FcFontSet, FcFontSetDestroy>>;

}  // namespace

TqlxFontPreview::TqlxFontPreview(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                         Qt::X11BypassWindowManagerHint),
      panel_(new QLabel(this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(200, 50);
    panel_->setGeometry(rect());
    panel_->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel_->setLineWidth(1);
    panel_->setAlignment(Qt::AlignCenter);
    panel_->setTextFormat(Qt::PlainText);
    panel_->setAutoFillBackground(true);
    QPalette colors = panel_->palette();
    colors.setColor(QPalette::Window, SystemColor(colors, TSystemColor::Window));
    colors.setColor(QPalette::WindowText, SystemColor(colors, TSystemColor::WindowText));
    panel_->setPalette(colors);
    QFont font = panel_->font();
    font.setPointSize(18);
    panel_->setFont(font);
}

void TqlxFontPreview::SetFontName(const QString& name) {
    panel_->setText(name);
    QFont font = panel_->font();
    font.setFamily(name);
    panel_->setFont(font);
}

const QString TqlxFontComboBox::DefaultMRURegKey = QStringLiteral("\\Software\\Quill Reports\\MRUFont");

TqlxFontComboBox::TqlxFontComboBox(QWidget* parent)
    : TqlxCustomComboBox(parent), mruRegKey_(DefaultMRURegKey), preview_(new TqlxFontPreview(this)) {
    [[maybe_unused]] static const bool resourcesRegistered = [] {
        Q_INIT_RESOURCE(qlxCtrls);
        return true;
    }();
    trueTypeGlyph_ = LoadGlyph(QStringLiteral(":/QLXTRUETYPE_FNT"));
    deviceGlyph_ = LoadGlyph(QStringLiteral(":/QLXDEVICE_FNT"));
    resize(150, height());
    SetImageAreaWidth(16);
    SetReadOnly(true);
    SetDropDownCount(12);
    connect(this, &QComboBox::activated, this, [this] {
        if (!updatingList_) emit OnClick(this);
    });
    connect(qGuiApp, &QGuiApplication::fontDatabaseChanged, this,
            [this] { ReportExceptions([this] { ReloadFontList(); }); });
}

void TqlxFontComboBox::SetMRURegKey(const QString& value) { mruRegKey_ = value.isEmpty() ? DefaultMRURegKey : value; }

int TqlxFontComboBox::ItemTag(int index) const { return itemData(index).toInt(); }

void TqlxFontComboBox::Loaded() { ReloadFontList(); }

void TqlxFontComboBox::RebuildFontList() {
    const TRedrawSuspension suspension(this);
    QCollator collation;
    collation.setCaseSensitivity(Qt::CaseInsensitive);
    QList<TqlxFontFamily> families = EnumFontFamilies();
    // Stable, so that of equal names the one reported first stays.
    std::stable_sort(families.begin(), families.end(), [&collation](const TqlxFontFamily& a, const TqlxFontFamily& b) {
        return collation.compare(a.name, b.name) < 0;
    });
    clear();
    recentCount_ = 0;
    const TqlxFontFamily* previous = nullptr;
    for (const TqlxFontFamily& family : families) {
        if (previous == nullptr || collation.compare(previous->name, family.name) != 0) {
            addItem(family.name, family.fontType);
        }
        previous = &family;
    }
    if (showMRU_) ReadRecentFonts();
}

QList<TqlxFontFamily> TqlxFontComboBox::EnumFontFamilies() const {
    QList<TqlxFontFamily> families;
    const TFcPattern pattern(FcPatternCreate());
    const TFcObjectSet objects(FcObjectSetBuild(FC_FAMILY, FC_OUTLINE, static_cast<const char*>(nullptr)));
    if (!pattern || !objects) return families;
    const TFcFontSet fonts(FcFontList(nullptr, pattern.get(), objects.get()));
    if (!fonts) return families;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcBool outline = FcFalse;
        FcPatternGetBool(fonts->fonts[i], FC_OUTLINE, 0, &outline);
        const int fontType = outline ? TrueTypeFontType : RasterFontType;
        // A face may answer to several family names; fontconfig resolves each.
        FcChar8* name = nullptr;
        for (int n = 0; FcPatternGetString(fonts->fonts[i], FC_FAMILY, n, &name) == FcResultMatch; ++n) {
            families.append(TqlxFontFamily{QString::fromUtf8(reinterpret_cast<const char*>(name)), fontType});
        }
    }
    return families;
}

void TqlxFontComboBox::PaintEditImage(QPainter& canvas, int, const QRect& rect) {
    canvas.fillRect(rect, SystemColor(palette(), TSystemColor::Window));
    const int index = IndexOfName(Text());
    const QImage* glyph = index >= 0 ? GlyphOf(ItemTag(index)) : nullptr;
    if (glyph != nullptr) canvas.drawImage(rect.left(), CentredTop(rect, glyph->height()), *glyph);
}

void TqlxFontComboBox::DrawItem(QPainter& canvas, int index, const QRect& rect, bool selected) {
    const QString name = itemText(index);
    if (selected) preview_->SetFontName(name);
    canvas.fillRect(rect, canvas.brush());
    const QImage* glyph = GlyphOf(ItemTag(index));
    if (glyph != nullptr) canvas.drawImage(rect.left() + 1, CentredTop(rect, glyph->height()), *glyph);
    const int glyphWidth = glyph != nullptr ? glyph->width() : trueTypeGlyph_.width();
    const Qt::Alignment side = layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    canvas.drawText(rect.adjusted(glyphWidth + 2, 0, 0, 0), side | Qt::AlignVCenter | Qt::TextSingleLine, name);
    // A double line parts the recent block from the sorted families.
    const QColor shadow = SystemColor(palette(), TSystemColor::BtnShadow);
    if (index == recentCount_ - 1) canvas.fillRect(QRect(0, rect.top() + rect.height() - 2, width(), 1), shadow);
    if (index == recentCount_ && recentCount_ > 0) canvas.fillRect(QRect(0, rect.top(), width(), 1), shadow);
}

void TqlxFontComboBox::DropDown() {
    if (ItemIndex() < MaxRecentCount) view()->setCurrentIndex(model()->index(0, modelColumn(), rootModelIndex()));
    PlacePreview();
    preview_->show();
}

void TqlxFontComboBox::CloseUp() {
    preview_->hide();
    ReportExceptions([this] { RecordChoice(); });
}

void TqlxFontComboBox::AdjustItemHeight() {
    const int textHeight = TextHeight(font());
    SetItemHeight(textHeight > trueTypeGlyph_.height() ? textHeight : trueTypeGlyph_.height() + 1);
}

void TqlxFontComboBox::ReloadFontList() {
    std::exception_ptr error;
    {
        const TFlagScope updating(updatingList_);
        try {
            RebuildFontList();
        } catch (...) {
            error = std::current_exception();
        }
        SetItemIndex(0);
    }
    if (error) std::rethrow_exception(error);
}

// Slots are read from the oldest up, each inserted at the top, so the most
// recent ends first; a slot naming no listed family is cleared. The store is
// saved at most once, and only when a slot had to be cleared.
void TqlxFontComboBox::ReadRecentFonts() {
    TRegistry registry;
    registry.OpenKey(mruRegKey_.toStdU16String(), true);
    try {
        const TRegistryBatch batch(registry);
        for (int slot = MaxRecentCount - 1; slot >= 0; --slot) {
            const QString name = QString::fromStdU16String(registry.ReadString(NameValue(slot)));
            if (!name.isEmpty() && IndexOfName(name) >= 0) {
                insertItem(0, name, registry.ReadInteger(TypeValue(slot)));
                ++recentCount_;
            } else {
                registry.WriteString(NameValue(slot), std::u16string());
                registry.WriteInteger(TypeValue(slot), 0);
            }
        }
    } catch (...) {
        // The list stays usable without a recent block it cannot trust.
        DropRecentBlock();
        throw;
    }
}

void TqlxFontComboBox::WriteRecentFonts() {
    TRegistry registry;
    registry.OpenKey(mruRegKey_.toStdU16String(), true);
    const TRegistryBatch batch(registry);
    for (int slot = 0; slot < MaxRecentCount; ++slot) {
        const bool used = slot < recentCount_;
        registry.WriteString(NameValue(slot), used ? itemText(slot).toStdU16String() : std::u16string());
        registry.WriteInteger(TypeValue(slot), used ? ItemTag(slot) : 0);
    }
}

// The family chosen in the list goes to the top of the recent block, which
// keeps at most five; choosing the top entry changes nothing.
void TqlxFontComboBox::RecordChoice() {
    const int chosen = ItemIndex();
    if (chosen <= 0 || !showMRU_) return;
    {
        const TRedrawSuspension suspension(this);
        const int first = IndexOfName(itemText(chosen));
        if (first < recentCount_) {
            const QString name = itemText(first);
            const int fontType = ItemTag(first);
            removeItem(first);
            insertItem(0, name, fontType);
        } else {
            insertItem(0, itemText(chosen), ItemTag(chosen));
            if (recentCount_ == MaxRecentCount) removeItem(MaxRecentCount);
            else ++recentCount_;
        }
        SetItemIndex(0);
    }
    WriteRecentFonts();
}

void TqlxFontComboBox::DropRecentBlock() {
    for (; recentCount_ > 0; --recentCount_) removeItem(0);
}

// Beside the list: right of the control, or left of it where the screen ends,
// and level with the list's far edge.
void TqlxFontComboBox::PlacePreview() {
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    const QRect screenArea = screen()->geometry();
    int left = origin.x() + width() + 1;
    if (left + preview_->width() > screenArea.x() + screenArea.width()) left = origin.x() - preview_->width() - 1;
    const int top = OpensUpward() ? origin.y() - preview_->height() : origin.y() + height();
    preview_->move(left, top);
}

int TqlxFontComboBox::IndexOfName(const QString& name) const { return findText(name, Qt::MatchFixedString); }

const QImage* TqlxFontComboBox::GlyphOf(int fontType) const {
    if (fontType & TrueTypeFontType) return &trueTypeGlyph_;
    if (fontType & DeviceFontType) return &deviceGlyph_;
    return nullptr;
}
