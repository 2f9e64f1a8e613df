#pragma once

// The engine's font backend: fonts are matched by fontconfig, or made from
// font files held in memory, and measured with FreeType. Only the measuring
// surface includes this header.

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H
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
#include "platform/Graphics.h"

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
    // A face made from bytes in memory instead of the one fontconfig matches;
    // the name and styles then only choose the faces for missing characters.
    TFontData Data;
    int32_t FaceIndex = 0;

    // Whether both ask for the same face, whatever their heights.
    bool SameFace(const TFontRequest& other) const;
};

// A height of 0 realises the face at 12 points of a 96-per-inch screen.
constexpr int32_t kDefaultEmPixels = 16;

struct TFaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using TFacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, TFaceDeleter>;

struct TSizeDeleter {
    void operator()(FT_Size size) const { FT_Done_Size(size); }
};
using TSizePtr = std::unique_ptr<std::remove_pointer_t<FT_Size>, TSizeDeleter>;

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

class TFontFace;

// A face at one size, with the advance width of every character measured so
// far: a run of text in this font costs one table look-up per character. The
// size is a FreeType size object of the face's own, so realising another
// height neither opens nor reads the face again.
class TRealisedFont {
public:
    // Raises EFontError when the face cannot take the height.
    TRealisedFont(TFontFace& face, int32_t height);

    const TFontFace& Face() const { return face_; }
    int32_t Height() const { return height_; }

    // The sum of the integer hinted advance widths, without kerning. A
    // surrogate pair is one character; a character the face lacks is measured
    // in the face fontconfig offers for it, else as the face's missing glyph.
    int64_t TextWidth(std::u16string_view text);

private:
    using TWidthPage = std::array<int32_t, 256>;  // -1: not measured yet

    int32_t CharWidth(char32_t ch);
    int32_t MeasureChar(char32_t ch);
    int32_t MeasureInFallback(char32_t ch);
    // Makes face measure at this font's height; false when it cannot take it.
    bool ActivateSize(FT_Face face);

    TFontFace& face_;
    int32_t height_;
    std::map<FT_Face, TSizePtr> sizes_;  // of the face and the fallback faces used; null: cannot take the height
    std::array<std::unique_ptr<TWidthPage>, 256> bmpWidths_;
    std::unordered_map<char32_t, int32_t> otherWidths_;
};

// One face as fontconfig matches a request whatever its height, or as the
// request's bytes in memory hold it, opened once, with the faces fontconfig
// offers for characters it lacks. A face can be made from any FreeType face
// and the pattern its fallbacks are sorted on; its sizes (TRealisedFont) must
// go before it.
class TFontFace {
public:
    // Null when the request matches no face that can be opened.
    static std::unique_ptr<TFontFace> Open(FT_Library library, FcConfig* config, const TFontRequest& request);
    TFontFace(FT_Library library, FcConfig* config, const TFontRequest& request, TPatternPtr pattern, TFacePtr face);
    TFontFace(const TFontFace&) = delete;
    TFontFace& operator=(const TFontFace&) = delete;

    const TFontRequest& Request() const { return request_; }
    FT_Face Face() const { return face_.get(); }

    // The faces to measure a missing character in, in fontconfig's order of
    // preference: FallbackFace(i, ch) is null when the i-th does not cover ch
    // or cannot be opened. The list is sorted on the first call.
    int FallbackCount();
    FT_Face FallbackFace(int index, char32_t ch);

private:
    FT_Library library_;
    FcConfig* config_;
    // The height of the request that opened it means nothing. Declared before
    // the face: FreeType reads a face from memory in place, so the bytes the
    // request holds must outlive it.
    TFontRequest request_;
    TPatternPtr pattern_;  // the request after fontconfig's substitutions
    TFacePtr face_;
    TFontSetPtr fallbacks_;
    std::map<std::pair<std::string, int>, TFacePtr> fallbackFaces_;  // by file and face index
};

// Owns FreeType, a fontconfig configuration of its own (so that nothing of
// the process-wide one is touched), the recently used faces and, apart from
// them, the recently used sizes: text that cycles through many sizes of one
// face realises each size once, and a size that was dropped is made again
// from the open face.
class TFontRealiser {
public:
    TFontRealiser();
    ~TFontRealiser();
    TFontRealiser(const TFontRealiser&) = delete;
    TFontRealiser& operator=(const TFontRealiser&) = delete;

    TRealisedFont& Realise(const TFontRequest& request);

private:
    static constexpr size_t kCachedFaces = 16;
    static constexpr size_t kCachedSizes = 64;

    TFontFace& FaceFor(const TFontRequest& request);
    void DropFace(std::vector<std::unique_ptr<TFontFace>>::iterator face);

    FT_Library library_ = nullptr;
    TConfigPtr config_;
    std::vector<std::unique_ptr<TFontFace>> faces_;      // the most recently used last
    std::vector<std::unique_ptr<TRealisedFont>> sizes_;  // the most recently used last; destroyed first
};
