#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Streams.h"
#include "xml/qlxXML.h"

// Reads the tags of XML text from a stream into elements; everything between
// tags is skipped. Lives for one operation and never owns its stream.
class TqlxXMLReader {
public:
    // Deeper nesting is refused as malformed: no real document comes near it.
    static constexpr size_t kMaxNestingDepth = 1024;

    bool LegacyEncoding = false;  // attribute texts are 8-bit code page text, not UTF-8
    int64_t MaxElements = 0;      // what ParseTree takes at most, item included; 0 for no limit

    explicit TqlxXMLReader(TStream& stream);
    // Leaves the stream just after the last byte consumed.
    ~TqlxXMLReader();
    TqlxXMLReader(const TqlxXMLReader&) = delete;
    TqlxXMLReader& operator=(const TqlxXMLReader&) = delete;

    void SeekTo(int64_t position);
    // Reads the first tag, which must be a declaration, and sets LegacyEncoding.
    void ParseDeclaration();
    // Reads one element with its subtree into item. With noSwap false, an
    // element carrying the swap marker keeps only its position, not its children.
    void ParseTree(TqlxXMLItem* item, bool noSwap);
    // The next tag split into name and attribute text; both are empty at the end of the input.
    void NextTag(std::u16string& name, std::u16string& attrText);

    enum class TTagKind { EndTag, Complete, Open };
    // The next tag as it stands in the text, for readers that take each tag
    // once: its name and attribute text undecoded (UTF-8, or the 8-bit code
    // page with LegacyEncoding), valid until the next read. The "/" of a
    // complete element is taken off; an end tag keeps its "/", and the end
    // of the input gives an end tag with an empty name.
    TTagKind NextRawTag(std::string_view& name, std::string_view& attrBytes);

private:
    enum class TScanState { Outside, Inside, Comment, Done };

    int64_t Position() const { return bufferStart_ + readPos_; }
    bool RefillBuffer();
    // Collects the bytes between the next "<" and ">" into tag_, empty at the end of the input.
    void ScanTag();
    TScanState SkipText();
    TScanState CollectTag();
    TScanState SkipComment(int& dashes);
    // Scans the next tag and splits its bytes at the first blank.
    void SplitNextTag(std::string_view& name, std::string_view& attrBytes);
    TTagKind ReadElementTag(TqlxXMLItem& element);
    void CloseElement(TqlxXMLItem& element, const std::u16string& endTagName, int64_t start, bool noSwap);

    static constexpr int32_t kBlockSize = 4096;

    TStream& stream_;
    int64_t size_;
    int64_t bufferStart_;  // stream position of buffer_[0]
    int32_t readPos_ = 0;
    int32_t fill_ = 0;
    std::string tag_;
    unsigned char buffer_[kBlockSize];
};
