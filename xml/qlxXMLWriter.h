#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Streams.h"
#include "xml/qlxXML.h"

// Writes elements as XML text: each element is one start tag built from its
// name and raw attribute text; nothing is escaped. Lives for one operation
// and never owns its stream.
class TqlxXMLWriter {
public:
    bool Indented = false;
    // Swapped-out elements are read back from here while they are written.
    TStream* SwapStream = nullptr;
    bool SwapStreamLegacy = false;  // how SwapStream's attribute texts are encoded

    // Writing starts at the stream's current position.
    explicit TqlxXMLWriter(TStream& stream);
    TqlxXMLWriter(const TqlxXMLWriter&) = delete;
    TqlxXMLWriter& operator=(const TqlxXMLWriter&) = delete;

    void EmitDeclaration();
    // Writes item with its subtree and then everything still buffered.
    void EmitTree(TqlxXMLItem* item);

private:
    bool ReadBackIfSwapped(TqlxXMLItem& element);
    void EmitStartTag(const TqlxXMLItem& element, int32_t indent);
    void EmitEndTag(const TqlxXMLItem& element, int32_t indent);
    void AppendIndent(int32_t indent);
    void EndLine();
    void FlushBuffer();

    static constexpr size_t kFlushThreshold = 4096;

    TStream& stream_;
    int64_t outputPosition_;
    bool streamMoved_ = false;  // a read-back moved the output stream's position
    std::string buffer_;
};
