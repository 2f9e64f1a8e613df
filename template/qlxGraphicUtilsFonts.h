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
#include <tuple>
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

// Shared: the faces of one family share fontconfig's sort of their fallbacks.
using TFontSetPtr = std::shared_ptr<const FcFontSet>;

class TFontFace;

// fontconfig's sorts of the faces for characters a face lacks, kept apart
// from the faces by what a sort depends on (family, weight, slant and
// character set): a sort costs far more than measuring a run, and every face
// of a family (the same font embedded in many packages, or more faces than
// are kept open) shares one.
class TFallbackSorts {
public:
    explicit TFallbackSorts(FcConfig* config) : config_(config) {}
    TFallbackSorts(const TFallbackSorts&) = delete;
    TFallbackSorts& operator=(const TFallbackSorts&) = delete;

    // The sort for the request, whose pattern after fontconfig's substitutions
    // is given; never null.
    TFontSetPtr SortFor(const TFontRequest& request, FcPattern* pattern);

private:
    static constexpr size_t kCachedSorts = 64;
    using TKey = std::tuple<std::u16string, bool, bool, uint8_t>;

    FcConfig* config_;
    std::map<TKey, TFontSetPtr> sorts_;
};

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
// go before it, and the sorts it takes its fallbacks from must outlive it.
class TFontFace {
public:
    // Null when the request matches no face that can be opened.
    static std::unique_ptr<TFontFace> Open(FT_Library library, FcConfig* config, TFallbackSorts& sorts,
                                           const TFontRequest& request);
    TFontFace(FT_Library library, TFallbackSorts& sorts, const TFontRequest& request, TPatternPtr pattern,
              TFacePtr face);
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
    TFallbackSorts& sorts_;
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
// them, the recently used sizes: text that cycles through many faces and
// sizes opens each face and realises each size once, and a size that was
// dropped is made again from the open face. What it keeps is bounded: in
// faces, in sizes, and in the bytes of the faces held in memory, which
// would otherwise outlive the runs that read them.
class TFontRealiser {
public:
    TFontRealiser();
    ~TFontRealiser();
    TFontRealiser(const TFontRealiser&) = delete;
    TFontRealiser& operator=(const TFontRealiser&) = delete;

    TRealisedFont& Realise(const TFontRequest& request);

private:
    static constexpr size_t kCachedFaces = 128;
    static constexpr size_t kCachedSizes = 1024;
    static constexpr int64_t kCachedFaceBytes = int64_t(64) << 20;

    TFontFace& FaceFor(const TFontRequest& request);
    // Makes room for a face of that many bytes in memory.
    void DropFacesFor(int64_t bytes);
    // The bytes data adds to those of the faces held: 0 when they hold it already.
    int64_t NewDataBytes(const TFontData& data) const;
    void DropFace(std::vector<std::unique_ptr<TFontFace>>::iterator face);

    FT_Library library_ = nullptr;
    TConfigPtr config_;
    std::unique_ptr<TFallbackSorts> sorts_;              // outlives the faces
    int64_t faceBytes_ = 0;                              // of the faces held in memory, each file once
    std::vector<std::unique_ptr<TFontFace>> faces_;      // the most recently used last
    std::vector<std::unique_ptr<TRealisedFont>> sizes_;  // the most recently used last; destroyed first
};
