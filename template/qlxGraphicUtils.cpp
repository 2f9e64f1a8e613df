#include "template/qlxGraphicUtils.h"

#include <algorithm>
#include <cmath>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"

namespace {

constexpr char16_t kLineSeparator = u'\u2028';

class TSurfaceLock {
public:
    explicit TSurfaceLock(TqlxMeasuringSurface& surface) : surface_(surface) { surface_.Lock(); }
    ~TSurfaceLock() { surface_.Unlock(); }
    TSurfaceLock(const TSurfaceLock&) = delete;
    TSurfaceLock& operator=(const TSurfaceLock&) = delete;

private:
    TqlxMeasuringSurface& surface_;
};

class TSharedLock {
public:
    explicit TSharedLock(TqlxDrawText& drawText) : drawText_(drawText) { drawText_.LockShared(); }
    ~TSharedLock() { drawText_.UnlockShared(); }
    TSharedLock(const TSharedLock&) = delete;
    TSharedLock& operator=(const TSharedLock&) = delete;

private:
    TqlxDrawText& drawText_;
};

// Destroyed in reverse order: the engine before its lock.
struct TSharedEngine {
    std::recursive_mutex Lock;
    TqlxDrawText DrawText;
};

TSharedEngine& SharedEngine() {
    static TSharedEngine engine;
    return engine;
}

// FreeType sizes a face to at most 16 bits of pixels per em. Advance widths
// grow in proportion to the size, so larger text is measured at this size and
// its widths scaled.
constexpr long double kLargestLayoutPixels = 0xFFFF;

// The surface font height for a size in points: negative, the em height in
// pixels, at most kLargestLayoutPixels; scale receives the factor by which the
// size asked for exceeds it, 1 when it does not.
int32_t LayoutHeight(int32_t points, int32_t layoutResolution, long double& scale) {
    const long double pixels = std::rint(static_cast<long double>(points) * layoutResolution / 72);
    const long double realised = std::clamp(pixels, -kLargestLayoutPixels, kLargestLayoutPixels);
    scale = pixels == realised ? 1 : pixels / realised;
    return -static_cast<int32_t>(realised);
}

}  // namespace

const std::u16string& TqlxWideStrings::Strings(int32_t index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return entries_[static_cast<size_t>(index)].Text;
}

int32_t TqlxWideStrings::Tags(int32_t index) const {
    return index < 0 || index >= Count() ? 0 : entries_[static_cast<size_t>(index)].Tag;
}

void TqlxWideStrings::SetTag(int32_t index, int32_t tag) {
    if (index >= 0 && index < Count()) entries_[static_cast<size_t>(index)].Tag = tag;
}

void TqlxWideStrings::Add(std::u16string line, int32_t tag) { entries_.push_back({std::move(line), tag}); }

void TqlxWideStrings::SetText(std::u16string_view text) {
    Clear();
    text = text.substr(0, text.find(u'\0'));
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = i;
        while (i < text.size() && text[i] != u'\r' && text[i] != u'\n' && text[i] != kLineSeparator) ++i;
        Add(std::u16string(text.substr(start, i - start)));
        for (const char16_t breakChar : {u'\r', u'\n', kLineSeparator})
            if (i < text.size() && text[i] == breakChar) ++i;
    }
}

void TqlxDrawText::LockShared() { SharedDrawTextLock().lock(); }

void TqlxDrawText::UnlockShared() { SharedDrawTextLock().unlock(); }

void TqlxDrawText::ApplyFont(const TFont& font) {
    const int32_t height = LayoutHeight(font.Size(), LayoutResolution(), sizeScale_);
    TSurfaceLock guard(surface_);
    surface_.AssignFont(font.Name, height, font.Style, font.Charset, font.Color, font.FaceData, font.FaceIndex);
}

void TqlxDrawText::ApplyOptions(bool WordWrap, bool AllowHTMLTags, bool RTLReading, bool WordBreak, bool Clipped,
                                bool Wysiwyg, int32_t Rotation) {
    options_ = {WordWrap, AllowHTMLTags, RTLReading, WordBreak, Clipped, Wysiwyg, Rotation % 360};
}

void TqlxDrawText::ApplySpacing(long double ParagraphGap, long double CharSpacing, long double LineSpacing) {
    spacing_ = {ParagraphGap, CharSpacing, LineSpacing};
}

void TqlxDrawText::ApplyBounds(const TRect& layoutRect, const TRect& outputRect, long double scaleX,
                               long double scaleY, long double printScale) {
    bounds_ = {layoutRect, outputRect, scaleX, scaleY, printScale};
}

void TqlxDrawText::LoadLines(const TqlxWideStrings& input) {
    TSurfaceLock guard(surface_);
    lines_.Clear();
    for (int32_t i = 0; i < input.Count(); ++i) {
        const std::u16string& line = input.Strings(i);
        lines_.Add(line.empty() ? std::u16string(u" ") : line, kFirstLineOfParagraph | kLastLineOfParagraph);
    }
}

long double TqlxDrawText::MeasureWidestLine() {
    if (lines_.Count() == 0) return 0;
    const long double ratio = static_cast<long double>(LayoutResolution()) / ReferenceResolution();
    long double widest = 0;
    TSurfaceLock guard(surface_);
    for (int32_t i = 0; i < lines_.Count(); ++i) {
        const std::u16string& line = lines_.Strings(i);
        long double extent = static_cast<long double>(surface_.TextExtent(line)) * sizeScale_;
        extent += std::rint(static_cast<long double>(line.size()) * spacing_.CharSpacing * ratio);
        if ((lines_.Tags(i) & kFirstLineOfParagraph) != 0) extent += std::rint(spacing_.ParagraphGap * ratio);
        widest = std::max(widest, extent);
    }
    return widest / ratio;
}

TqlxDrawText& SharedDrawText() { return SharedEngine().DrawText; }

std::recursive_mutex& SharedDrawTextLock() { return SharedEngine().Lock; }

long double MeasureTextWidth(std::string_view text, const TFont& font) {
    return MeasureTextWidth(Utf8ToUtf16(text), font);
}

long double MeasureTextWidth(std::u16string_view text, const TFont& font) {
    TqlxDrawText& drawText = SharedDrawText();
    TSharedLock shared(drawText);
    TqlxWideStrings lines;
    lines.SetText(text);
    drawText.ApplyFont(font);
    drawText.ApplyOptions(false, false, false, false, false, false, 0);
    drawText.ApplySpacing(0, 0, 2);
    const TRect bounds{0, 0, 10000, 10000};
    drawText.ApplyBounds(bounds, bounds, 1, 1, 1);
    drawText.LoadLines(lines);
    return std::rint(drawText.MeasureWidestLine());
}
