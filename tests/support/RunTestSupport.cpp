#include "tests/support/RunTestSupport.h"

#include <libxml/parser.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "tests/support/TestTemplate.h"

void WriteFileBytes(const std::u16string& fileName, const std::string& bytes) {
    std::ofstream file(NativePath(fileName), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string FileBytes(const std::u16string& fileName) {
    std::ifstream file(NativePath(fileName), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string XmlWellFormednessError(std::string_view bytes) {
    xmlResetLastError();
    constexpr int kQuietAndUnlimited = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;
    xmlDoc* document = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, kQuietAndUnlimited);
    const bool parsed = document != nullptr;
    xmlFreeDoc(document);
    const xmlError* error = xmlGetLastError();
    return parsed ? "" : error != nullptr && error->message != nullptr ? error->message : "not well-formed";
}

// Throws, so that the helpers returning what they read fail their test too.
void LoadTemplate(TqlxXMLDocument& document, const std::u16string& fileName) {
    if (const std::string error = XmlWellFormednessError(FileBytes(fileName)); !error.empty())
        throw std::runtime_error(NativePath(fileName) + " is not well-formed XML: " + error);
    document.LoadFromFile(fileName);
}

std::vector<std::u16string> TemplateTexts(const std::u16string& fileName) {
    TqlxXMLDocument document;
    LoadTemplate(document, fileName);
    const TqlxXMLItem& band = TemplateBand(document);
    std::vector<std::u16string> texts;
    for (int32_t i = 0; i < band.ChildCount(); ++i) {
        const TqlxXMLItem& object = *band.Child(i);
        if (object.Name == u"TqlxMemoView")
            texts.push_back(object.GetAttr(u"Left") + u"," + object.GetAttr(u"Top") + u":" + object.GetAttr(u"Text"));
    }
    return texts;
}

size_t TemplateLineCount(const std::u16string& fileName) {
    TqlxXMLDocument document;
    LoadTemplate(document, fileName);
    const TqlxXMLItem& band = TemplateBand(document);
    size_t count = 0;
    for (int32_t i = 0; i < band.ChildCount(); ++i) count += band.Child(i)->Name == u"TqlxLineView" ? 1 : 0;
    return count;
}

std::string TemplateWithoutTimes(const std::u16string& fileName) {
    static const std::regex times("ReportOptions\\.(CreateDate|LastChange)=\"[^\"]*\"");
    TqlxXMLDocument document;
    LoadTemplate(document, fileName);
    return std::regex_replace(FileBytes(fileName), times, "");
}
