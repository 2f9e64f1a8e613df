#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/Streams.h"
#include "xml/qlxXML.h"

inline constexpr std::string_view kLegacyDeclaration = "<?xml version=\"1.0\"?>";
inline constexpr std::string_view kUtf8Declaration = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>";

inline std::unique_ptr<TMemoryStream> StreamOf(std::string_view bytes) {
    auto stream = std::make_unique<TMemoryStream>();
    stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream->SetPosition(0);
    return stream;
}

inline std::string BytesOf(TMemoryStream& stream) {
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

// Loads text as the converter does: from a memory stream that stays the caller's.
inline TqlxXMLItem* Load(TqlxXMLDocument& doc, std::string_view text) {
    doc.LoadFromStream(*StreamOf(text), false);
    return doc.Root();
}

inline std::string Save(TqlxXMLDocument& doc) {
    TMemoryStream stream;
    doc.SaveToStream(stream);
    return BytesOf(stream);
}

inline TqlxXMLItem* AddElement(TqlxXMLItem* parent, std::u16string name, std::u16string attrText = {}) {
    TqlxXMLItem* item = parent->AddChild();
    item->Name = std::move(name);
    item->AttrText = std::move(attrText);
    return item;
}
