#include "template/qlxGraphicUtilsFonts.h"

#include FT_DRIVER_H
#include FT_MODULE_H

#include <algorithm>
#include <atomic>

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "template/qlxGraphicUtils.h"

namespace {

std::atomic<int64_t> facesOpened{0};
std::atomic<int64_t> fallbackSorts{0};

// The language a Windows character set asks for, so that a face that is not
// installed is replaced by one covering the script.
const char* LanguageOfCharset(uint8_t charset) {
    switch (charset) {
        case 128: return "ja";
        case 129:
        case 130: return "ko";
        case 134: return "zh-cn";
        case 136: return "zh-tw";
        case 161: return "el";
        case 162: return "tr";
        case 163: return "vi";
        case 177: return "he";
        case 178: return "ar";
        case 186: return "lt";
        case 204: return "ru";
        case 222: return "th";
        case 238: return "pl";
        default: return nullptr;
    }
}

TPatternPtr RequestPattern(FcConfig* config, const TFontRequest& request) {
    TPatternPtr pattern(FcPatternCreate());
    if (!pattern) throw EFontError(u"Out of memory while matching a font");
    if (!request.Name.empty()) {
        const std::string family = Utf16ToUtf8(request.Name);
        FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    }
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, request.Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, request.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    if (const char* language = LanguageOfCharset(request.Charset))
        FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>(language));
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    return pattern;
}

bool SizeFace(FT_Face face, int32_t height) {
    if (height > 0) {
        FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_CELL, 0, FT_Long{height} * 64, 0, 0};
        return FT_Request_Size(face, &request) == 0;
    }
    const int64_t emPixels = height < 0 ? -int64_t{height} : kDefaultEmPixels;
    return emPixels <= 0xFFFF && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(emPixels)) == 0;
}

using TFontFile = std::pair<std::string, int>;  // file name and face index

bool GetFontFile(const FcPattern* font, TFontFile& location) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) return false;
    location.first = reinterpret_cast<const char*>(file);
    location.second = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &location.second);
    return true;
}

// The face in a font file; null when it cannot be had.
TFacePtr OpenFace(FT_Library library, const TFontFile& location) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, location.first.c_str(), location.second, &face) != 0) return nullptr;
    ++facesOpened;
    return TFacePtr(face);
}

TFacePtr OpenMatchedFace(FT_Library library, FcConfig* config, FcPattern* pattern) {
    FcResult result;
    const TPatternPtr match(FcFontMatch(config, pattern, &result));
    TFontFile location;
    if (!match || !GetFontFile(match.get(), location)) return nullptr;
    return OpenFace(library, location);
}

// FreeType takes a negative index as a question about the file, and keeps
// the bits above 16 for the instances of a variable face.
TFacePtr OpenMemoryFace(FT_Library library, const std::string& bytes, int32_t index) {
    FT_Face face = nullptr;
    if (index < 0 || index > 0xFFFF ||
        FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes.data()), static_cast<FT_Long>(bytes.size()),
                           index, &face) != 0)
        return nullptr;
    ++facesOpened;
    return TFacePtr(face);
}

// A size object of the face at height, made the face's active size; null when the face cannot take it.
TSizePtr NewSize(FT_Face face, int32_t height) {
    FT_Size size = nullptr;
    if (FT_New_Size(face, &size) != 0) return nullptr;
    TSizePtr owned(size);
    return FT_Activate_Size(size) == 0 && SizeFace(face, height) ? std::move(owned) : nullptr;
}

// Moves the most recently used entry that matches to the end of the list,
// the place of the most recent; false when none matches. The search starts
// there: text mostly goes back to a face or size it used a moment ago.
template <typename T, typename Matches>
bool TakeRecent(std::vector<std::unique_ptr<T>>& entries, Matches matches) {
    const auto found =
        std::find_if(entries.rbegin(), entries.rend(), [&](const std::unique_ptr<T>& entry) { return matches(*entry); });
    if (found == entries.rend()) return false;
    std::rotate(std::prev(found.base()), found.base(), entries.end());
    return true;
}

[[noreturn]] void RaiseCannotRealise(const std::u16string& name, int32_t height) {
    throw EFontError(u"Cannot realise font \"" + name + u"\" of height " + IntToStr(height));
}

int32_t HintedAdvance(FT_Face face, FT_UInt glyph) {
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) != 0)
        throw EFontError(u"Cannot load glyph " + IntToStr(glyph) + u" of font \"" +
                         Utf8ToUtf16(face->family_name ? face->family_name : "") + u"\"");
    return static_cast<int32_t>((face->glyph->advance.x + 32) >> 6);
}

}  // namespace

TTextEngineWork TextEngineWork() { return {facesOpened.load(), fallbackSorts.load()}; }

std::optional<TFontFaceInfo> ReadFontFace(const std::string& data, int32_t index) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return std::nullopt;
    const std::unique_ptr<FT_LibraryRec_, decltype(&FT_Done_FreeType)> libraryGuard(library, FT_Done_FreeType);
    const TFacePtr face = OpenMemoryFace(library, data, index);
    if (!face || face->family_name == nullptr || *face->family_name == '\0') return std::nullopt;
    TFontFaceInfo info;
    info.Family = Utf8ToUtf16(face->family_name);
    if ((face->style_flags & FT_STYLE_FLAG_BOLD) != 0) info.Style |= fsBold;
    if ((face->style_flags & FT_STYLE_FLAG_ITALIC) != 0) info.Style |= fsItalic;
    return info;
}

EFontError::EFontError(std::u16string message) : Exception(u"EFontError", std::move(message)) {}

// The faces of a document often share their name: the bytes tell them apart first.
bool TFontRequest::SameFace(const TFontRequest& other) const {
    return Data == other.Data && FaceIndex == other.FaceIndex && Bold == other.Bold && Italic == other.Italic &&
           Charset == other.Charset && Name == other.Name;
}

TRealisedFont::TRealisedFont(TFontFace& face, int32_t height) : face_(face), height_(height) {
    if (!ActivateSize(face_.Face())) RaiseCannotRealise(face_.Request().Name, height);
}

int64_t TRealisedFont::TextWidth(std::u16string_view text) {
    int64_t width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t ch = text[i];
        if (StartsSurrogatePair(text, i)) {
            ch = PairedCharacter(text[i], text[i + 1]);
            ++i;
        }
        width += CharWidth(ch);
    }
    return width;
}

int32_t TRealisedFont::CharWidth(char32_t ch) {
    if (ch <= 0xFFFF) {
        std::unique_ptr<TWidthPage>& page = bmpWidths_[ch >> 8];
        if (!page) {
            page = std::make_unique<TWidthPage>();
            page->fill(-1);
        }
        int32_t& width = (*page)[ch & 0xFF];
        if (width < 0) width = MeasureChar(ch);
        return width;
    }
    if (const auto known = otherWidths_.find(ch); known != otherWidths_.end()) return known->second;
    const int32_t width = MeasureChar(ch);
    otherWidths_.emplace(ch, width);
    return width;
}

int32_t TRealisedFont::MeasureChar(char32_t ch) {
    const FT_Face face = face_.Face();
    if (const FT_UInt glyph = FT_Get_Char_Index(face, ch); glyph != 0) {
        ActivateSize(face);
        return HintedAdvance(face, glyph);
    }
    const int32_t fallbackWidth = MeasureInFallback(ch);
    if (fallbackWidth >= 0) return fallbackWidth;
    ActivateSize(face);
    return HintedAdvance(face, 0);
}

int32_t TRealisedFont::MeasureInFallback(char32_t ch) {
    for (int i = 0; i < face_.FallbackCount(); ++i) {
        const FT_Face fallback = face_.FallbackFace(i, ch);
        if (fallback == nullptr || !ActivateSize(fallback)) continue;
        if (const FT_UInt glyph = FT_Get_Char_Index(fallback, ch); glyph != 0) return HintedAdvance(fallback, glyph);
    }
    return -1;
}

bool TRealisedFont::ActivateSize(FT_Face face) {
    auto [entry, added] = sizes_.try_emplace(face);
    if (added) entry->second = NewSize(face, height_);
    return entry->second && FT_Activate_Size(entry->second.get()) == 0;
}

TFontSetPtr TFallbackSorts::SortFor(const TFontRequest& request, FcPattern* pattern) {
    TKey key{request.Name, request.Bold, request.Italic, request.Charset};
    if (const auto known = sorts_.find(key); known != sorts_.end()) return known->second;
    FcResult result;
    FcFontSet* sorted = FcFontSort(config_, pattern, FcTrue, nullptr, &result);
    ++fallbackSorts;
    if (sorted == nullptr) sorted = FcFontSetCreate();
    if (sorted == nullptr) throw EFontError(u"Out of memory while matching a font");
    TFontSetPtr sort(sorted, FcFontSetDestroy);
    // The sorts a page needs are few: forgetting them all now and then costs little.
    if (sorts_.size() >= kCachedSorts) sorts_.clear();
    sorts_.emplace(std::move(key), sort);
    return sort;
}

std::unique_ptr<TFontFace> TFontFace::Open(FT_Library library, FcConfig* config, TFallbackSorts& sorts,
                                           const TFontRequest& request) {
    TPatternPtr pattern = RequestPattern(config, request);
    TFacePtr face = request.Data ? OpenMemoryFace(library, *request.Data, request.FaceIndex)
                                 : OpenMatchedFace(library, config, pattern.get());
    if (!face) return nullptr;
    return std::make_unique<TFontFace>(library, sorts, request, std::move(pattern), std::move(face));
}

TFontFace::TFontFace(FT_Library library, TFallbackSorts& sorts, const TFontRequest& request, TPatternPtr pattern,
                     TFacePtr face)
    : library_(library), sorts_(sorts), request_(request), pattern_(std::move(pattern)), face_(std::move(face)) {}

int TFontFace::FallbackCount() {
    if (!fallbacks_) fallbacks_ = sorts_.SortFor(request_, pattern_.get());
    return fallbacks_->nfont;
}

FT_Face TFontFace::FallbackFace(int index, char32_t ch) {
    const FcPattern* font = fallbacks_->fonts[index];
    FcCharSet* coverage = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &coverage) != FcResultMatch || !FcCharSetHasChar(coverage, ch))
        return nullptr;
    TFontFile location;
    if (!GetFontFile(font, location)) return nullptr;
    auto [entry, added] = fallbackFaces_.try_emplace(location);
    if (added) entry->second = OpenFace(library_, location);
    return entry->second.get();
}

TFontRealiser::TFontRealiser() {
    config_.reset(FcInitLoadConfigAndFonts());
    if (!config_) throw EFontError(u"Cannot load the font configuration");
    if (FT_Init_FreeType(&library_) != 0) throw EFontError(u"Cannot initialise FreeType");
    // The backward-compatible interpreter keeps the advance table's widths,
    // rounded to whole pixels, whatever FREETYPE_PROPERTIES says.
    FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
    FT_Property_Set(library_, "truetype", "interpreter-version", &interpreter);
    sorts_ = std::make_unique<TFallbackSorts>(config_.get());
}

TFontRealiser::~TFontRealiser() {
    sizes_.clear();
    faces_.clear();
    FT_Done_FreeType(library_);
}

TRealisedFont& TFontRealiser::Realise(const TFontRequest& request) {
    TFontFace& face = FaceFor(request);
    const auto sameSize = [&](const TRealisedFont& size) { return &size.Face() == &face && size.Height() == request.Height; };
    if (TakeRecent(sizes_, sameSize)) return *sizes_.back();
    auto size = std::make_unique<TRealisedFont>(face, request.Height);
    if (sizes_.size() >= kCachedSizes) sizes_.erase(sizes_.begin());
    sizes_.push_back(std::move(size));
    return *sizes_.back();
}

TFontFace& TFontRealiser::FaceFor(const TFontRequest& request) {
    if (TakeRecent(faces_, [&](const TFontFace& face) { return face.Request().SameFace(request); }))
        return *faces_.back();
    std::unique_ptr<TFontFace> face = TFontFace::Open(library_, config_.get(), *sorts_, request);
    if (!face) RaiseCannotRealise(request.Name, request.Height);
    const int64_t bytes = NewDataBytes(request.Data);
    DropFacesFor(bytes);
    faceBytes_ += NewDataBytes(request.Data);
    faces_.push_back(std::move(face));
    return *faces_.back();
}

// The faces of a collection share its bytes: they count once.
int64_t TFontRealiser::NewDataBytes(const TFontData& data) const {
    const bool held = std::any_of(faces_.begin(), faces_.end(), [&](const std::unique_ptr<TFontFace>& face) {
        return face->Request().Data == data;
    });
    return data && !held ? static_cast<int64_t>(data->size()) : 0;
}

void TFontRealiser::DropFacesFor(int64_t bytes) {
    while (!faces_.empty() && (faces_.size() >= kCachedFaces || faceBytes_ + bytes > kCachedFaceBytes))
        DropFace(faces_.begin());
}

void TFontRealiser::DropFace(std::vector<std::unique_ptr<TFontFace>>::iterator face) {
    std::erase_if(sizes_, [&](const std::unique_ptr<TRealisedFont>& size) { return &size->Face() == face->get(); });
    const TFontData data = (*face)->Request().Data;
    faces_.erase(face);
    faceBytes_ -= NewDataBytes(data);
}
