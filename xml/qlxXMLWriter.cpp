#include "xml/qlxXMLWriter.h"

#include <vector>

#include "platform/CodePages.h"
#include "xml/qlxXMLReader.h"

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>";
constexpr std::string_view kSwapMarker = "ld=\"0\"";

void AppendAnsi(std::string& out, std::u16string_view text) {
    for (const char16_t ch : text) out.push_back(static_cast<char>(CharToAnsiByte(ch)));
}

}  // namespace

TqlxXMLWriter::TqlxXMLWriter(TStream& stream) : stream_(stream), outputPosition_(stream.Position()) {
    buffer_.reserve(2 * kFlushThreshold);
}

void TqlxXMLWriter::EmitDeclaration() {
    buffer_ += kDeclaration;
    EndLine();
}

void TqlxXMLWriter::EmitTree(TqlxXMLItem* item) {
    // Open elements are kept on a list instead of the call stack, so a tree
    // of any depth can be written.
    struct TOpenElement {
        TqlxXMLItem* element;
        int32_t nextChild;
        int32_t indent;
        bool readBack;
    };
    std::vector<TOpenElement> open;
    const auto emitElement = [&](TqlxXMLItem* element, int32_t indent) {
        const bool readBack = ReadBackIfSwapped(*element);
        EmitStartTag(*element, indent);
        if (element->ChildCount() > 0)
            open.push_back({element, 0, indent, readBack});
        else if (readBack)
            element->ClearChildren();
    };
    emitElement(item, 0);
    while (!open.empty()) {
        TOpenElement& top = open.back();
        if (top.nextChild < top.element->ChildCount()) {
            emitElement(top.element->Child(top.nextChild++), Indented ? top.indent + 2 : 0);
            continue;
        }
        EmitEndTag(*top.element, top.indent);
        // A swapped-out element was read back only to be written: it goes out again.
        if (top.readBack) top.element->ClearChildren();
        open.pop_back();
    }
    FlushBuffer();
}

bool TqlxXMLWriter::ReadBackIfSwapped(TqlxXMLItem& element) {
    if (SwapStream == nullptr || !element.Swappable || element.ChildrenLoaded) return false;
    {
        TqlxXMLReader reader(*SwapStream);
        reader.LegacyEncoding = SwapStreamLegacy;
        reader.SeekTo(static_cast<int64_t>(element.SwapOffset));
        reader.ParseTree(&element, true);
    }
    if (SwapStream == &stream_) streamMoved_ = true;
    return true;
}

void TqlxXMLWriter::EmitStartTag(const TqlxXMLItem& element, int32_t indent) {
    AppendIndent(indent);
    buffer_ += '<';
    AppendAnsi(buffer_, element.Name);
    if (!element.AttrText.empty() || element.Swappable) {
        if (element.AttrText.empty() || element.AttrText[0] != u' ') buffer_ += ' ';
        AppendUtf8(buffer_, element.AttrText);
        if (element.Swappable) {
            if (buffer_.back() != ' ') buffer_ += ' ';
            buffer_ += kSwapMarker;
        }
    }
    if (element.ChildCount() > 0) {
        buffer_ += '>';
    } else if (!element.Content.empty()) {
        buffer_ += '>';
        AppendUtf8(buffer_, element.Content);
        buffer_ += "</";
        AppendAnsi(buffer_, element.Name);
        buffer_ += '>';
    } else {
        buffer_ += "/>";
    }
    EndLine();
}

void TqlxXMLWriter::EmitEndTag(const TqlxXMLItem& element, int32_t indent) {
    AppendIndent(indent);
    buffer_ += "</";
    AppendAnsi(buffer_, element.Name);
    buffer_ += '>';
    EndLine();
}

void TqlxXMLWriter::AppendIndent(int32_t indent) {
    if (Indented) buffer_.append(static_cast<size_t>(indent), ' ');
}

void TqlxXMLWriter::EndLine() {
    if (Indented) buffer_ += "\r\n";
    if (buffer_.size() > kFlushThreshold) FlushBuffer();
}

void TqlxXMLWriter::FlushBuffer() {
    if (buffer_.empty()) return;
    // Reading back from the output stream itself moved its position away from the end of the output.
    if (streamMoved_) stream_.SetPosition(outputPosition_);
    streamMoved_ = false;
    stream_.WriteBuffer(buffer_.data(), static_cast<int64_t>(buffer_.size()));
    outputPosition_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
}
