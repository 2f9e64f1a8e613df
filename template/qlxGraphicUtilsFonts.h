#pragma once

// The engine's font backend: fonts are matched by fontconfig and measured
// with FreeType. Only the measuring surface includes this header.

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Exceptions.h"

// A font that cannot be matched, opened or sized, or a glyph that cannot be loaded.
class EFontError : public Exception {
public:
    explicit EFontError(std::u16string message);
};

// What a surface font is realised from.
struct TFontRequest {
    std::u16string Name;  // at most 31 characters; empty for the default face
    int32_t Height = 0;   // negative: em height in pixels; positive: cell height; 0: kDefaultEmPixels
    bool Bold = false;
    bool Italic = false;
    uint8_t Charset = 1;

    bool operator==(const TFontRequest&) const = default;
};

// A height of 0 realises the face at 12 points of a 96-per-inch screen.
constexpr int32_t kDefaultEmPixels = 16;

struct TFaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using TFacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, TFaceDeleter>;

struct TPatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using TPatternPtr = std::unique_ptr<FcPattern, TPatternDeleter>;

struct TConfigDeleter {
    void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};
using TConfigPtr = std::unique_ptr<FcConfig, TConfigDeleter>;

struct TFontSetDeleter {
    void operator()(FcFontSet* set) const { FcFontSetDestroy(set); }
};
using TFontSetPtr = std::unique_ptr<FcFontSet, TFontSetDeleter>;

// One face at one size, with the advance width of every character measured
// so far: a run of text in this font costs one table look-up per character.
class TRealisedFont {
public:
    TRealisedFont(FT_Library library, FcConfig* config, const TFontRequest& request);

    const TFontRequest& Request() const { return request_; }

    // The sum of the integer hinted advance widths, without kerning. A
    // surrogate pair is one character; a character the face lacks is measured
    // in the face fontconfig offers for it, else as the face's missing glyph.
    int64_t TextWidth(std::u16string_view text);

private:
    using TWidthPage = std::array<int32_t, 256>;  // -1: not measured yet

    int32_t CharWidth(char32_t ch);
    int32_t MeasureChar(char32_t ch);
    int32_t MeasureInFallback(char32_t ch);
    FT_Face OpenSizedFace(const FcPattern* font);

    FT_Library library_;
    FcConfig* config_;
    TFontRequest request_;
    TPatternPtr pattern_;  // the request after fontconfig's substitutions
    TFacePtr face_;
    std::array<std::unique_ptr<TWidthPage>, 256> bmpWidths_;
    std::unordered_map<char32_t, int32_t> otherWidths_;
    TFontSetPtr fallbacks_;                                    // sorted on the first missing character
    std::map<std::pair<std::string, int>, TFacePtr> fallbackFaces_;  // by file and face index
};

// Owns FreeType, a fontconfig configuration of its own (so that nothing of
// the process-wide one is touched) and the recently realised fonts.
class TFontRealiser {
public:
    TFontRealiser();
    ~TFontRealiser();
    TFontRealiser(const TFontRealiser&) = delete;
    TFontRealiser& operator=(const TFontRealiser&) = delete;

    TRealisedFont& Realise(const TFontRequest& request);

private:
    static constexpr size_t kCachedFonts = 16;

    FT_Library library_ = nullptr;
    TConfigPtr config_;
    std::vector<std::unique_ptr<TRealisedFont>> fonts_;  // the most recently used last
};
