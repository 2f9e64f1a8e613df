#pragma once

// The report library's text layout engine, as far as measuring the width of
// a text needs it. Word wrapping, inline style tags, rotation and drawing are
// not built: every input line is laid out as one line, whatever WordWrap and
// AllowHTMLTags say.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Graphics.h"
#include "template/qlxGraphicUtilsSurface.h"

// Tag bits of a laid-out line.
constexpr int32_t kFirstLineOfParagraph = 1;
constexpr int32_t kLastLineOfParagraph = 2;

// A list of UTF-16 lines, each with a 32-bit tag.
class TqlxWideStrings {
public:
    int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
    // Raises EListError outside 0..Count-1.
    const std::u16string& Strings(int32_t index) const;
    // 0 outside the list.
    int32_t Tags(int32_t index) const;
    // Does nothing outside the list.
    void SetTag(int32_t index, int32_t tag);
    void Add(std::u16string line, int32_t tag = 0);
    void Clear() { entries_.clear(); }

    // The line splitter. A line ends at CR, LF, U+2028 or the end of the text
    // (a NUL ends the text); after a line at most one CR, then at most one LF,
    // then at most one U+2028 are skipped. So CR LF is one break, LF CR two,
    // and a break at the very end adds no empty line.
    void SetText(std::u16string_view text);

private:
    struct TEntry {
        std::u16string Text;
        int32_t Tag = 0;
    };
    std::vector<TEntry> entries_;
};

struct TqlxDrawOptions {
    bool WordWrap = false;
    bool AllowHTMLTags = true;
    bool RTLReading = false;
    bool WordBreak = false;
    bool Clipped = false;
    bool Wysiwyg = true;
    int32_t Rotation = 0;  // degrees, the remainder modulo 360 with the sign of the given value
};

// Spacing in 96-per-inch pixels.
struct TqlxDrawSpacing {
    long double ParagraphGap = 0;  // added to the first line of each paragraph
    long double CharSpacing = 0;   // added per character
    long double LineSpacing = 0;
};

struct TqlxDrawBounds {
    TRect LayoutRect;
    TRect OutputRect;
    long double ScaleX = 0;
    long double ScaleY = 0;
    long double PrintScale = 0;
};

// Settings persist from one use to the next: every user of the shared
// instance sets all of them again while it holds the shared lock.
class TqlxDrawText {
public:
    TqlxDrawText() = default;
    TqlxDrawText(const TqlxDrawText&) = delete;
    TqlxDrawText& operator=(const TqlxDrawText&) = delete;

    // Enter and leave SharedDrawTextLock.
    void LockShared();
    void UnlockShared();

    // Sets the surface font to the font's size in whole points, realised at
    // LayoutResolution; beyond the largest size a face can be realised at, at
    // that size, and the widths measured are scaled to the size asked for.
    void ApplyFont(const TFont& font);
    void ApplyOptions(bool WordWrap, bool AllowHTMLTags, bool RTLReading, bool WordBreak, bool Clipped, bool Wysiwyg,
                      int32_t Rotation);
    void ApplySpacing(long double ParagraphGap, long double CharSpacing, long double LineSpacing);
    void ApplyBounds(const TRect& layoutRect, const TRect& outputRect, long double scaleX, long double scaleY,
                     long double printScale);
    // Lays out the input lines: an empty line becomes a single space, and each
    // line is one paragraph of its own.
    void LoadLines(const TqlxWideStrings& input);
    // The width of the widest laid-out line in 96-per-inch pixels; 0 without lines.
    long double MeasureWidestLine();

    int32_t LayoutResolution() const { return 600; }
    int32_t ReferenceResolution() const { return 96; }
    const TqlxWideStrings& Lines() const { return lines_; }
    const TFont& SurfaceFont() const { return surface_.Font(); }
    const TqlxDrawOptions& Options() const { return options_; }
    const TqlxDrawSpacing& Spacing() const { return spacing_; }
    const TqlxDrawBounds& Bounds() const { return bounds_; }

private:
    TqlxMeasuringSurface surface_;
    long double sizeScale_ = 1;  // the font's size over the surface font's
    TqlxWideStrings lines_;
    TqlxDrawOptions options_;
    TqlxDrawSpacing spacing_;
    TqlxDrawBounds bounds_;
};

// The process-wide engine and the re-entrant lock that serialises its users.
// Both are made on first use and destroyed at the program's exit, the engine
// first; the lock is always taken before the surface's own.
TqlxDrawText& SharedDrawText();
std::recursive_mutex& SharedDrawTextLock();

// The width of the widest line of a text laid out in the font (in the face
// it holds in memory, if it holds one), in whole pixels at 96 per inch; 0 for
// an empty text. Font errors propagate.
long double MeasureTextWidth(std::u16string_view text, const TFont& font);
// The same for UTF-8 text.
long double MeasureTextWidth(std::string_view text, const TFont& font);

// What the text engine has done in this process so far: tests bound its work
// by counting it.
struct TTextEngineWork {
    int64_t FacesOpened = 0;    // faces read from files or from memory, those for missing characters included
    int64_t FallbackSorts = 0;  // fontconfig's sorts of the faces for missing characters
};
TTextEngineWork TextEngineWork();

// What a face of a font file says of itself.
struct TFontFaceInfo {
    std::u16string Family;
    TFontStyles Style = 0;  // fsBold and fsItalic
};

// The index-th face of a font file held in memory; nullopt when FreeType
// cannot open it or it names no family. Needs no lock: it uses a FreeType
// library of its own.
std::optional<TFontFaceInfo> ReadFontFace(const std::string& data, int32_t index);
