#include <algorithm>
#include <vector>

#include "platform/CodePages.h"
#include "zip/ZipArchiver.h"

namespace {

constexpr uint32_t kFilteredAttrs = 0x1E;

std::u16string WithBackslashes(std::u16string_view text) {
    std::u16string result(text);
    std::replace(result.begin(), result.end(), u'/', u'\\');
    return result;
}

// Where the last path component starts: after the last "\" or ":".
size_t ComponentStart(std::u16string_view path) {
    const size_t delimiter = path.find_last_of(u"\\:");
    return delimiter == std::u16string_view::npos ? 0 : delimiter + 1;
}

std::u16string_view WithoutTrailing(std::u16string_view text, std::u16string_view units) {
    if (!text.empty() && units.find(text.back()) != std::u16string_view::npos) text.remove_suffix(1);
    return text;
}

// A drive letter with ":", or the server and share of a UNC path.
size_t DriveLength(std::u16string_view mask) {
    if (mask.size() >= 2 && mask[1] == u':') return 2;
    if (mask.size() < 2 || mask[0] != u'\\' || mask[1] != u'\\') return 0;
    size_t end = 2;
    for (int delimiters = 0; end < mask.size(); ++end)
        if (mask[end] == u'\\' && ++delimiters == 2) break;
    return end;
}

std::u16string DirectoryKey(std::u16string_view path) {
    const std::u16string separated = WithBackslashes(path);
    return NameKey(std::u16string_view(separated).substr(0, ComponentStart(separated)));
}

std::u16string_view Extension(std::u16string_view name) {
    const size_t dot = name.find_last_of(u'.');
    if (dot == std::u16string_view::npos || dot < ComponentStart(name)) return {};
    return name.substr(dot);
}

// Remembers, for every "*" of the pattern and every text position, whether
// the rest matches: each pair is then tried once, which keeps masks with many
// stars from taking exponential time on long names.
class TWildMatcher {
public:
    TWildMatcher(std::u16string_view text, std::u16string_view pattern) : text_(text), pattern_(pattern) {}

    bool Match(size_t i, size_t j) {
        if (pattern_.substr(j) == u"*.*") return true;
        for (;;) {
            if (pattern_.substr(j) == u"*") return true;
            if (i == text_.size()) return j == pattern_.size();
            if (j < pattern_.size() && pattern_[j] == u'*') return MatchStar(i, j);
            if (j == pattern_.size()) return false;
            if (pattern_[j] != u'?' && AsciiLowerChar(pattern_[j]) != AsciiLowerChar(text_[i])) return false;
            ++i;
            ++j;
        }
    }

private:
    enum : uint8_t { kUnknown, kNo, kYes };

    // The rest after the star must match from one of the remaining text
    // positions. Whether it does from position k on is the same question for
    // every earlier start, so each answer is recorded for all of them.
    bool MatchStar(size_t i, size_t j) {
        if (memo_.empty()) memo_.assign((text_.size() + 1) * (pattern_.size() + 1), kUnknown);
        const auto known = [&](size_t k) -> uint8_t& { return memo_[k * (pattern_.size() + 1) + j]; };
        bool result = false;
        size_t k = i;
        for (; k < text_.size(); ++k) {
            if (known(k) != kUnknown) {
                result = known(k) == kYes;
                break;
            }
            if (Match(k, j + 1)) {
                result = true;
                ++k;
                break;
            }
        }
        for (size_t visited = i; visited < k && visited < text_.size(); ++visited)
            if (known(visited) == kUnknown) known(visited) = result ? kYes : kNo;
        return result;
    }

    std::u16string_view text_;
    std::u16string_view pattern_;
    std::vector<uint8_t> memo_;
};

}  // namespace

bool WildMatch(std::u16string_view text, std::u16string_view pattern) {
    return TWildMatcher(text, pattern).Match(0, 0);
}

bool MatchMask(std::u16string_view name, std::u16string_view mask) {
    if (mask.empty()) return false;
    std::u16string pattern(mask);
    const size_t anyName = pattern.find(u"*.*");
    if (anyName != std::u16string::npos) pattern.replace(anyName, 3, u"*");
    const bool noExtension = mask.back() == u'.';
    if (noExtension) pattern.pop_back();
    const std::u16string_view text = WithoutTrailing(name, u".");
    if (!WildMatch(text, pattern)) return false;
    if (!noExtension) return true;
    const std::u16string_view extension = Extension(name);
    return extension.empty() || extension == u".";
}

bool TZFBaseArchiver::FindFirstEntry(const std::u16string& mask, TZFArchiveItem& item, int32_t attributes,
                                     const std::u16string& excludeMask) {
    if (!isOpen_) return false;
    std::u16string normalised = mask;
    if (Options.StorePath != spFullPathWithDrive) normalised.erase(0, DriveLength(normalised));
    std::replace(normalised.begin(), normalised.end(), u'\\', u'/');

    TInternalSearchRec& search = item.Search;
    search.Mask.fill(u'\0');
    search.ExcludeMask = excludeMask;
    search.Attr = attributes;
    search.Position = 0;
    // A longer mask is refused rather than cut, which could match a wrong entry.
    if (normalised.size() >= TInternalSearchRec::kMaskCapacity) return false;
    std::copy(normalised.begin(), normalised.end(), search.Mask.begin());
    return FindEntryInDirectory(item);
}

bool TZFBaseArchiver::FindEntryInDirectory(TZFArchiveItem& item) {
    TInternalSearchRec& search = item.Search;
    const std::u16string_view mask(search.Mask.data());
    const std::u16string maskDirectory = DirectoryKey(mask);
    TZFDirArray& entries = dirManager_->Entries;
    for (int32_t i = search.Position; i < entries.Count(); ++i) {
        const TDirItem& entry = entries.EntryAt(i);
        if ((entry.ExternalAttr & kFilteredAttrs & ~static_cast<uint32_t>(search.Attr)) != 0) continue;
        if (!Options.Recurse && DirectoryKey(WithoutTrailing(entry.EntryName, u"/")) != maskDirectory) continue;
        const std::u16string_view name = WithoutTrailing(entry.EntryName, u"\\/");
        const std::u16string separated = WithBackslashes(name);
        const std::u16string_view lastComponent = std::u16string_view(separated).substr(ComponentStart(separated));
        if (!MatchMask(name, mask) && !MatchMask(lastComponent, mask)) continue;
        if (MatchMask(name, search.ExcludeMask)) continue;
        search.Position = i;
        FillItem(entry, item);
        return true;
    }
    return false;
}

void TZFBaseArchiver::FillItem(const TDirItem& entry, TZFArchiveItem& item) const {
    const std::u16string path = WithBackslashes(entry.EntryName);
    const std::u16string_view trimmed = WithoutTrailing(path, u"\\");
    const size_t nameStart = ComponentStart(trimmed);
    item.ItemName = trimmed.substr(nameStart);
    item.ItemPath = trimmed.substr(0, nameStart);
    item.ItemPacked = static_cast<int64_t>(EntryPackedSize(entry));
    item.ItemUnpacked = static_cast<int64_t>(EntryUnpackedSize(entry));
    const double ratio = item.ItemUnpacked > 0 ? (1.0 - double(item.ItemPacked) / double(item.ItemUnpacked)) * 100 : 100;
    item.ItemRatio = std::max(ratio, 0.0);
    item.ItemEncrypted = (entry.Flags & 0x0001) != 0;
    item.ItemDate = entry.DosDate;
    item.ItemTime = entry.DosTime;
    item.ItemCrc = entry.Crc;
    item.ItemAttr = entry.ExternalAttr;
    item.ItemComment = entry.EntryComment;
}
