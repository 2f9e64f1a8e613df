#include "xml/qlxXMLReader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Conversions.h"

namespace {

// Removes the swap marker ` ld="0"` (letter case aside) and reports whether it
// was there. A marker that opens the text has lost its space to the split
// between name and attributes, so it counts too.
bool RemoveSwapMarker(std::u16string& attrText) {
    static constexpr std::u16string_view kMarker = u" ld=\"0\"";
    const size_t at = (u" " + AsciiLowerCase(attrText)).find(kMarker);
    if (at == std::u16string::npos) return false;
    if (at == 0)
        attrText.erase(0, kMarker.size() - 1);
    else
        attrText.erase(at - 1, kMarker.size());
    return true;
}

bool IsBlankByte(char byte) { return IsXmlBlank(static_cast<unsigned char>(byte)); }

bool IsEndTagOf(const std::u16string& endTagName, const std::u16string& name) {
    return endTagName.size() == name.size() + 1 && endTagName[0] == u'/' &&
           std::u16string_view(endTagName).substr(1) == name;
}

}  // namespace

TqlxXMLReader::TqlxXMLReader(TStream& stream)
    : stream_(stream), size_(stream.Size()), bufferStart_(stream.Position()) {
    tag_.reserve(kBlockSize);
}

TqlxXMLReader::~TqlxXMLReader() { stream_.SetPosition(Position()); }

void TqlxXMLReader::SeekTo(int64_t position) {
    bufferStart_ = position;
    readPos_ = fill_ = 0;
    stream_.SetPosition(position);
}

void TqlxXMLReader::ParseDeclaration() {
    std::u16string name, attrText;
    NextTag(name, attrText);
    if (!name.starts_with(u"?xml")) throw TqlxInvalidXMLException();
    // The version's three characters start two after the equals sign, whatever
    // stands in between.
    std::u16string_view version;
    if (const size_t at = attrText.find(u"version="); at != std::u16string::npos && at + 9 <= attrText.size())
        version = std::u16string_view(attrText).substr(at + 9, 3);
    LegacyEncoding = version == u"1.0" && attrText.find(u"standalone=") == std::u16string::npos;
}

void TqlxXMLReader::ParseTree(TqlxXMLItem* item, bool noSwap) {
    // Open elements are kept on a list instead of the call stack; each is
    // attached to its parent only once its end tag has been read, so a failure
    // discards it together with everything read into it.
    struct TOpenElement {
        TqlxXMLItem* element;
        std::unique_ptr<TqlxXMLItem> owned;  // empty for item itself
        int64_t start;
    };
    std::vector<TOpenElement> open;
    int64_t elements = 1;
    int64_t start = Position();
    if (ReadElementTag(*item) != TTagKind::Open) return;
    open.push_back({item, nullptr, start});
    while (!open.empty()) {
        auto child = std::make_unique<TqlxXMLItem>();
        start = Position();
        const TTagKind kind = ReadElementTag(*child);
        if (kind == TTagKind::EndTag) {
            TOpenElement closed = std::move(open.back());
            open.pop_back();
            CloseElement(*closed.element, child->Name, closed.start, noSwap);
            if (closed.owned) open.back().element->AttachChild(closed.owned.release());
            continue;
        }
        if (open.size() >= kMaxNestingDepth)
            throw TqlxInvalidXMLException(u"elements nested deeper than " + IntToStr(kMaxNestingDepth));
        if (MaxElements > 0 && ++elements > MaxElements) throw TqlxXMLElementLimitException(MaxElements);
        if (kind == TTagKind::Complete) {
            open.back().element->AttachChild(child.release());
        } else {
            TqlxXMLItem* element = child.get();
            open.push_back({element, std::move(child), start});
        }
    }
}

void TqlxXMLReader::NextTag(std::u16string& name, std::u16string& attrText) {
    std::string_view nameBytes, attrBytes;
    SplitNextTag(nameBytes, attrBytes);
    name = AnsiToUtf16(nameBytes);
    attrText = LegacyEncoding ? AnsiToUtf16(attrBytes) : Utf8ToUtf16(attrBytes);
}

TqlxXMLReader::TTagKind TqlxXMLReader::NextRawTag(std::string_view& name, std::string_view& attrBytes) {
    SplitNextTag(name, attrBytes);
    if (name.empty() || name[0] == '/') return TTagKind::EndTag;
    if (name.back() == '/') {
        name.remove_suffix(1);
        return TTagKind::Complete;
    }
    if (!attrBytes.empty() && attrBytes.back() == '/') {
        attrBytes.remove_suffix(1);
        return TTagKind::Complete;
    }
    return TTagKind::Open;
}

void TqlxXMLReader::SplitNextTag(std::string_view& name, std::string_view& attrBytes) {
    ScanTag();
    std::string_view tag(tag_);
    if (!tag.empty() && IsBlankByte(tag.back())) tag.remove_suffix(1);
    const auto blank = static_cast<size_t>(std::find_if(tag.begin(), tag.end(), IsBlankByte) - tag.begin());
    name = tag.substr(0, blank);
    attrBytes = blank == tag.size() ? std::string_view() : tag.substr(blank + 1);
}

bool TqlxXMLReader::RefillBuffer() {
    bufferStart_ += fill_;
    readPos_ = fill_ = 0;
    const int64_t wanted = std::min<int64_t>(kBlockSize, size_ - bufferStart_);
    if (wanted <= 0) return false;
    fill_ = static_cast<int32_t>(std::max<int64_t>(stream_.Read(buffer_, wanted), 0));
    // A stream that delivers less than its size promised has ended there.
    if (fill_ == 0) size_ = bufferStart_;
    return fill_ > 0;
}

void TqlxXMLReader::ScanTag() {
    TScanState state = TScanState::Outside;
    int dashes = 0;
    tag_.clear();
    while (state != TScanState::Done && (readPos_ < fill_ || RefillBuffer())) {
        switch (state) {
            case TScanState::Outside: state = SkipText(); break;
            case TScanState::Inside: state = CollectTag(); break;
            case TScanState::Comment: state = SkipComment(dashes); break;
            case TScanState::Done: break;
        }
    }
    if (state == TScanState::Done) return;
    if (state == TScanState::Inside) throw TqlxInvalidXMLException();
    tag_.clear();
}

TqlxXMLReader::TScanState TqlxXMLReader::SkipText() {
    const void* less = std::memchr(buffer_ + readPos_, '<', static_cast<size_t>(fill_ - readPos_));
    if (less == nullptr) {
        readPos_ = fill_;
        return TScanState::Outside;
    }
    readPos_ = static_cast<int32_t>(static_cast<const unsigned char*>(less) - buffer_) + 1;
    tag_.clear();
    return TScanState::Inside;
}

TqlxXMLReader::TScanState TqlxXMLReader::CollectTag() {
    // The first three bytes go one by one: they may open a comment.
    while (tag_.size() < 3 && readPos_ < fill_) {
        const char byte = static_cast<char>(buffer_[readPos_++]);
        if (byte == '>') return TScanState::Done;
        if (byte == '<') throw TqlxInvalidXMLException();
        tag_.push_back(byte);
        if (tag_ == "!--") {
            tag_.clear();
            return TScanState::Comment;
        }
    }
    const unsigned char* begin = buffer_ + readPos_;
    const auto count = static_cast<size_t>(fill_ - readPos_);
    const auto* greater = static_cast<const unsigned char*>(std::memchr(begin, '>', count));
    const unsigned char* stop = greater != nullptr ? greater : begin + count;
    if (std::memchr(begin, '<', static_cast<size_t>(stop - begin)) != nullptr) throw TqlxInvalidXMLException();
    tag_.append(reinterpret_cast<const char*>(begin), static_cast<size_t>(stop - begin));
    readPos_ = static_cast<int32_t>(stop - buffer_);
    if (greater == nullptr) return TScanState::Inside;
    ++readPos_;
    return TScanState::Done;
}

// A comment ends at the first ">" that follows exactly two dashes: a third
// dash starts the count again.
TqlxXMLReader::TScanState TqlxXMLReader::SkipComment(int& dashes) {
    while (readPos_ < fill_) {
        const unsigned char byte = buffer_[readPos_++];
        if (dashes < 2)
            dashes = byte == '-' ? dashes + 1 : 0;
        else if (byte == '>')
            return TScanState::Outside;
        else
            dashes = 0;
    }
    return TScanState::Comment;
}

TqlxXMLReader::TTagKind TqlxXMLReader::ReadElementTag(TqlxXMLItem& element) {
    std::string_view name, attrBytes;
    const TTagKind kind = NextRawTag(name, attrBytes);
    element.Name = AnsiToUtf16(name);
    element.AttrText = LegacyEncoding ? AnsiToUtf16(attrBytes) : Utf8ToUtf16(attrBytes);
    return kind;
}

// An empty end tag name means the input ended, which closes any element.
void TqlxXMLReader::CloseElement(TqlxXMLItem& element, const std::u16string& endTagName, int64_t start, bool noSwap) {
    if (!endTagName.empty() && !IsEndTagOf(endTagName, element.Name)) throw TqlxInvalidXMLException();
    if (!RemoveSwapMarker(element.AttrText) || noSwap) return;
    element.ClearChildren();
    element.SwapOffset = static_cast<uint64_t>(start);
    element.Swappable = true;
    element.ChildrenLoaded = false;
}
