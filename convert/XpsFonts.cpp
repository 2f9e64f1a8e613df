#include "convert/XpsFonts.h"

#include <algorithm>
#include <array>
#include <memory>

#include "convert/XpsPackage.h"
#include "convert/XpsValues.h"
#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Streams.h"
#include "template/qlxGraphicUtils.h"

namespace {

using TObfuscationKey = std::array<uint8_t, 16>;

constexpr std::u16string_view kObfuscatedExtension = u".odttf";
constexpr size_t kObfuscatedBytes = 32;
// What the font parts of one run may keep in memory: a package naming many
// large parts would otherwise hold gigabytes while its pages convert.
constexpr int64_t kHeldFontBytes = int64_t(64) << 20;
// The faces one run tells apart: a package naming ever new ones would
// otherwise fill memory with what the run remembers of them. The runs of any
// face beyond them fall back, and their parts are not listed.
constexpr size_t kMaxFaces = 4096;
const std::optional<TXpsDocumentFont> kNoFace;
// FreeType keeps the bits above 16 of a face index for the instances of a variable face.
constexpr int32_t kMaxFaceIndex = 0xFFFF;

bool IsObfuscated(std::u16string_view partName) {
    return partName.size() >= kObfuscatedExtension.size() &&
           AsciiLowerCase(partName.substr(partName.size() - kObfuscatedExtension.size())) == kObfuscatedExtension;
}

// The GUID of the file name, its hyphens and braces aside, read as 16 bytes
// from the last pair of digits to the first.
std::optional<TObfuscationKey> ObfuscationKey(std::u16string_view partName) {
    std::u16string_view stem = partName.substr(partName.rfind(u'/') + 1);
    stem = stem.substr(0, stem.rfind(u'.'));
    std::array<int, 32> digits{};
    size_t count = 0;
    for (const char16_t ch : stem) {
        if (ch == u'-' || ch == u'{' || ch == u'}') continue;
        const int value = HexDigitValue(ch);
        if (value < 0 || count == digits.size()) return std::nullopt;
        digits[count++] = value;
    }
    if (count != digits.size()) return std::nullopt;
    TObfuscationKey key;
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(digits[30 - 2 * i] << 4 | digits[31 - 2 * i]);
    return key;
}

void Deobfuscate(std::string& bytes, const TObfuscationKey& key) {
    for (size_t i = 0; i < std::min(bytes.size(), kObfuscatedBytes); ++i) bytes[i] ^= static_cast<char>(key[i % key.size()]);
}

// The face a fragment names: decimal digits, or -1 when it is no face index.
int32_t FaceIndexOf(std::u16string_view fragment) {
    if (fragment.empty()) return -1;
    int32_t index = 0;
    for (const char16_t ch : fragment) {
        if (ch < u'0' || ch > u'9') return -1;
        index = index * 10 + (ch - u'0');
        if (index > kMaxFaceIndex) return -1;
    }
    return index;
}

}  // namespace

TFontStyles SimulatedStyles(std::u16string_view styleSimulations) {
    if (styleSimulations == u"BoldSimulation") return fsBold;
    if (styleSimulations == u"ItalicSimulation") return fsItalic;
    if (styleSimulations == u"BoldItalicSimulation") return fsBold | fsItalic;
    return 0;
}

void TakeFace(TFont& font, const TXpsDocumentFont& face) {
    font.Name = face.Family;
    font.Style = face.Style;
    font.FaceData = face.Data;
    font.FaceIndex = face.FaceIndex;
}

TXpsFontParts::TXpsFontParts(TTakePart takePart) : takePart_(std::move(takePart)) {}

void TXpsFontParts::Clear() {
    faces_.clear();
    parts_.clear();
    failedParts_.clear();
    heldBytes_ = 0;
    lastFace_ = nullptr;
}

const TXpsDocumentFont* TXpsFontParts::Find(std::u16string_view fontUri, std::u16string_view pageName) {
    if (lastFace_ == nullptr || fontUri != lastUri_ || pageName != lastPage_) {
        lastFace_ = &FindFace(fontUri, pageName);
        lastUri_ = fontUri;
        lastPage_ = pageName;
    }
    return lastFace_->has_value() ? &**lastFace_ : nullptr;
}

const TXpsDocumentFont* TXpsFontParts::FindOfRun(const TqlxXMLItem& glyphs, std::u16string_view pageName) {
    const std::u16string fontUri = RawXpsText(glyphs, u"FontUri", true);
    return fontUri.empty() ? nullptr : Find(fontUri, pageName);
}

const std::optional<TXpsDocumentFont>& TXpsFontParts::FindFace(std::u16string_view fontUri,
                                                               std::u16string_view pageName) {
    const size_t hash = fontUri.find(u'#');
    const std::u16string name = PartNameFromSource(fontUri.substr(0, hash), pageName);
    const int32_t index = hash == std::u16string_view::npos ? 0 : FaceIndexOf(fontUri.substr(hash + 1));
    if (const auto known = faces_.find({name, index}); known != faces_.end()) return known->second;
    if (faces_.size() >= kMaxFaces) return kNoFace;
    std::optional<TXpsDocumentFont>& face = faces_[{name, index}];
    TPart& part = PartNamed(name);
    if (part.Data && index >= 0) {
        if (auto info = ReadFontFace(*part.Data, index))
            face = TXpsDocumentFont{std::move(info->Family), info->Style, part.Data, index, name};
    }
    if (!face) MarkFailed(part, name);
    return face;
}

void TXpsFontParts::FellBack(const TXpsDocumentFont& face) { MarkFailed(parts_[face.PartName], face.PartName); }

void TXpsFontParts::MarkFailed(TPart& part, const std::u16string& name) {
    if (part.Failed) return;
    part.Failed = true;
    failedParts_.push_back(name);
}

TXpsFontParts::TPart& TXpsFontParts::PartNamed(const std::u16string& name) {
    auto [part, added] = parts_.try_emplace(name);
    if (added) part->second.Data = TakePart(name);
    return part->second;
}

// The package's failures make the part fail, and so do a part beyond the
// room for fonts and one without a key in its name.
TFontData TXpsFontParts::TakePart(const std::u16string& name) {
    std::optional<TObfuscationKey> key;
    if (IsObfuscated(name) && !(key = ObfuscationKey(name))) return nullptr;
    TMemoryStream buffer;
    if (!ReadOptionalPart([&] { takePart_(name, buffer); })) return nullptr;
    if (buffer.Size() == 0 || buffer.Size() > kHeldFontBytes - heldBytes_) return nullptr;
    heldBytes_ += buffer.Size();
    auto bytes = std::make_shared<std::string>(reinterpret_cast<const char*>(buffer.Memory()),
                                               static_cast<size_t>(buffer.Size()));
    if (key) Deobfuscate(*bytes, *key);
    return bytes;
}
