#include "xml/qlxXML.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/CodePages.h"
#include "platform/Conversions.h"

TqlxInvalidXMLException::TqlxInvalidXMLException()
    : Exception(u"TqlxInvalidXMLException", u"Invalid file format") {}

TqlxInvalidXMLException::TqlxInvalidXMLException(std::u16string_view detail)
    : Exception(u"TqlxInvalidXMLException", u"Invalid file format: " + std::u16string(detail)) {}

TqlxXMLElementLimitException::TqlxXMLElementLimitException(int64_t limit)
    : Exception(u"TqlxXMLElementLimitException", u"The text holds more than " + IntToStr(limit) + u" elements") {}

namespace {

constexpr size_t kNotFound = std::u16string_view::npos;

// The next blank at or after from. Lookups pass every blank of an element's
// attribute text, so four units are tested at once: a unit below 0x21 borrows
// into its top bit when 0x21 is taken from it, a unit from 0x8000 up is kept
// out by its own top bit, and only the flagged units are looked at.
size_t FindBlank(std::u16string_view text, size_t from) {
    constexpr uint64_t kSpaces = 0x0021002100210021ull;
    constexpr uint64_t kTopBits = 0x8000800080008000ull;
    size_t i = from;
    for (; i + 4 <= text.size(); i += 4) {
        uint64_t units;
        std::memcpy(&units, text.data() + i, sizeof units);
        for (uint64_t flagged = (units - kSpaces) & ~units & kTopBits; flagged != 0; flagged &= flagged - 1) {
            const size_t at = i + static_cast<size_t>(__builtin_ctzll(flagged)) / 16;
            if (IsXmlBlank(text[at])) return at;
        }
    }
    for (; i < text.size(); ++i)
        if (IsXmlBlank(text[i])) return i;
    return kNotFound;
}

// Where the attribute called name begins in attrText, or kNotFound. The name
// must follow a blank (or open the text) and be followed directly by ="; letter
// case does not count.
size_t FindAttr(std::u16string_view attrText, std::u16string_view name) {
    const size_t keyLength = name.size() + 2;
    size_t start = 0;
    while (start + keyLength <= attrText.size()) {
        size_t k = 0;
        while (k < name.size() && UpperChar(attrText[start + k]) == UpperChar(name[k])) ++k;
        if (k == name.size() && attrText[start + k] == u'=' && attrText[start + k + 1] == u'"') return start;
        const size_t blank = FindBlank(attrText, start);
        if (blank == kNotFound) break;
        start = blank + 1;
    }
    return kNotFound;
}

// The end of the value that begins at valueStart: its closing quotation mark,
// or the end of the text when there is none.
size_t FindValueEnd(std::u16string_view attrText, size_t valueStart) {
    const size_t quote = attrText.find(u'"', valueStart);
    return quote == kNotFound ? attrText.size() : quote;
}

// The written form of the character at text[i], empty when it stays as it
// is; length receives how many characters it replaces: six for an already
// escaped quotation mark, else one.
std::u16string_view ReferenceAt(std::u16string_view text, size_t i, size_t& length) {
    length = 1;
    switch (text[i]) {
        case u'&':
            if (text.substr(i, 6) != u"&quot;") return u"&#38;";
            length = 6;
            return u"&#34;";
        case u'"': return u"&#34;";
        case u'<': return u"&#60;";
        case u'>': return u"&#62;";
        case u'\r': return u"&#13;";
        case u'\n': return u"&#10;";
        default: return {};
    }
}

// Short texts are escaped where they stand, from the last character back.
std::u16string EscapeInPlace(std::u16string_view text) {
    std::u16string result(text);
    for (size_t i = result.size(); i-- > 0;) {
        size_t length;
        const std::u16string_view reference = ReferenceAt(result, i, length);
        if (!reference.empty()) result.replace(i, length, reference);
    }
    return result;
}

std::u16string EscapeBuffered(std::u16string_view text) {
    constexpr size_t kLongestReference = 6;
    constexpr size_t kGrowth = 256;
    std::u16string out(text.size(), u'\0');
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (out.size() - length < kLongestReference) out.resize(out.size() + kGrowth);
        size_t replaced;
        const std::u16string_view reference = ReferenceAt(text, i, replaced);
        if (reference.empty()) {
            out[length++] = text[i];
            continue;
        }
        i += replaced - 1;
        length += reference.copy(out.data() + length, reference.size());
    }
    out.resize(length);
    return out;
}

// The character of the named entity at text[i] (an ampersand) and the entity's length, or 0.
size_t MatchEntity(std::u16string_view text, size_t i, char16_t& ch) {
    static constexpr struct {
        std::u16string_view name;
        char16_t ch;
    } kEntities[] = {{u"&quot;", u'"'}, {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}};
    for (const auto& entity : kEntities) {
        if (text.substr(i, entity.name.size()) == entity.name) {
            ch = entity.ch;
            return entity.name.size();
        }
    }
    return 0;
}

// What a character reference stands for, appended to out: a character beyond
// U+FFFF as its surrogate pair; a surrogate, a negative number or one beyond
// U+10FFFF, which name no character, as U+FFFD.
void AppendReferencedChar(std::u16string& out, int32_t code) {
    const bool named = code >= 0 && code <= 0x10FFFF && !IsSurrogate(static_cast<char32_t>(code));
    AppendCharacter(out, named ? static_cast<char32_t>(code) : U'\uFFFD');
}

// The ends (the semicolons) of the character references of a text, asked for
// from left to right. A search that starts between the last start and what it
// found finds the same: without that, a text of many "&#" and no ";" would
// be scanned to its end once for each of them.
class TReferenceEnds {
public:
    explicit TReferenceEnds(std::u16string_view text) : text_(text) {}

    // The end of the reference whose ampersand is at text[i], or kNotFound.
    // At least one character stands between "#" and ";".
    size_t At(size_t i) {
        if (text_.size() - i < 4 || text_[i + 1] != u'#') return kNotFound;
        const size_t from = i + 3;
        if (!searched_ || from < from_ || (found_ != kNotFound && from > found_)) {
            from_ = from;
            found_ = text_.find(u';', from);
            searched_ = true;
        }
        return found_;
    }

private:
    std::u16string_view text_;
    bool searched_ = false;
    size_t from_ = 0;
    size_t found_ = kNotFound;
};

}  // namespace

std::u16string XMLEscape(std::u16string_view text) {
    constexpr size_t kShortText = 32;
    return text.size() < kShortText ? EscapeInPlace(text) : EscapeBuffered(text);
}

std::u16string ReplaceNonXmlChars(std::u16string_view text) {
    std::u16string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        if (StartsSurrogatePair(out, i)) ++i;
        else if (!IsXmlUnit(out[i])) out[i] = u'\uFFFD';
    }
    return out;
}

std::u16string XMLUnescape(std::u16string_view text) {
    const size_t firstAmpersand = text.find(u'&');
    if (firstAmpersand == kNotFound) return std::u16string(text);
    std::u16string out(text.substr(0, firstAmpersand));
    out.reserve(text.size());
    // The last character never starts a reference; what a reference produces
    // is not looked at again.
    TReferenceEnds referenceEnds(text);
    for (size_t i = firstAmpersand; i < text.size(); ++i) {
        if (text[i] != u'&' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        char16_t ch;
        if (const size_t end = referenceEnds.At(i); end != kNotFound) {
            AppendReferencedChar(out, StrToInt(text.substr(i + 2, end - i - 2)));
            i = end;
        } else if (const size_t length = MatchEntity(text, i, ch); length != 0) {
            out.push_back(ch);
            i += length - 1;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

TqlxXMLItem::TqlxXMLItem() = default;

TqlxXMLItem::~TqlxXMLItem() {
    ClearChildren();
    if (parent_ != nullptr) parent_->DetachChild(this).release();
}

TqlxXMLItem* TqlxXMLItem::Child(int32_t index) const {
    if (index < 0 || index >= ChildCount()) throw EListError(index);
    return children_[static_cast<size_t>(index)].get();
}

TqlxXMLItem* TqlxXMLItem::AddChild() {
    auto* item = new TqlxXMLItem();
    AttachChild(item);
    return item;
}

void TqlxXMLItem::AttachChild(TqlxXMLItem* item) {
    std::unique_ptr<TqlxXMLItem> owned = item->parent_ != nullptr ? item->parent_->DetachChild(item)
                                                                   : std::unique_ptr<TqlxXMLItem>(item);
    children_.push_back(std::move(owned));
    item->parent_ = this;
}

void TqlxXMLItem::InsertChild(int32_t index, TqlxXMLItem* item) {
    if (index < 0 || index > ChildCount()) throw EListError(index);
    AttachChild(item);
    const auto target = children_.begin() + std::min<ptrdiff_t>(index, ChildCount() - 1);
    std::rotate(target, children_.end() - 1, children_.end());
}

int32_t TqlxXMLItem::IndexOfName(std::u16string_view name) const {
    for (size_t i = 0; i < children_.size(); ++i)
        if (children_[i]->Name == name) return static_cast<int32_t>(i);
    return -1;
}

TqlxXMLItem* TqlxXMLItem::FindOrAddChild(std::u16string_view name) {
    const int32_t index = IndexOfName(name);
    if (index >= 0) return Child(index);
    TqlxXMLItem* item = AddChild();
    item->Name = name;
    return item;
}

int32_t TqlxXMLItem::IndexOfChild(const TqlxXMLItem* item) const {
    for (size_t i = 0; i < children_.size(); ++i)
        if (children_[i].get() == item) return static_cast<int32_t>(i);
    return -1;
}

void TqlxXMLItem::ClearChildren() {
    // The subtree is taken apart level by level into one list, so destroying a
    // deep tree needs no deep recursion.
    std::vector<std::unique_ptr<TqlxXMLItem>> doomed;
    doomed.swap(children_);
    for (size_t i = 0; i < doomed.size(); ++i) {
        TqlxXMLItem& item = *doomed[i];
        item.parent_ = nullptr;
        std::move(item.children_.begin(), item.children_.end(), std::back_inserter(doomed));
        item.children_.clear();
    }
    doomed.clear();
    if (Swappable) ChildrenLoaded = false;
}

std::unique_ptr<TqlxXMLItem> TqlxXMLItem::DetachChild(TqlxXMLItem* item) {
    const auto it = std::find_if(children_.begin(), children_.end(), [item](const auto& child) { return child.get() == item; });
    std::unique_ptr<TqlxXMLItem> owned = std::move(*it);
    children_.erase(it);
    item->parent_ = nullptr;
    return owned;
}

std::u16string TqlxXMLItem::GetAttr(std::u16string_view name) const { return XMLUnescape(GetRawAttr(name)); }

std::u16string_view TqlxXMLItem::GetRawAttr(std::u16string_view name) const {
    const size_t start = FindAttr(AttrText, name);
    if (start == kNotFound) return {};
    const size_t valueStart = start + name.size() + 2;
    const size_t valueEnd = FindValueEnd(AttrText, valueStart);
    if (valueEnd == AttrText.size()) return {};
    return std::u16string_view(AttrText).substr(valueStart, valueEnd - valueStart);
}

bool TqlxXMLItem::HasAttr(std::u16string_view name) const { return FindAttr(AttrText, name) != kNotFound; }

void TqlxXMLItem::SetAttr(std::u16string_view name, std::u16string_view value) {
    size_t insertAt = FindAttr(AttrText, name);
    if (insertAt == kNotFound) {
        insertAt = AttrText.size();
    } else {
        const size_t valueEnd = FindValueEnd(AttrText, insertAt + name.size() + 2);
        AttrText.erase(insertAt, std::min(valueEnd + 1, AttrText.size()) - insertAt);
    }
    std::u16string entry;
    if (insertAt > 0 && AttrText[insertAt - 1] != u' ') entry.push_back(u' ');
    entry.append(name).append(u"=\"").append(XMLEscape(value)).push_back(u'"');
    AttrText.insert(insertAt, entry);
}
