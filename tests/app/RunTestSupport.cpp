#include "RunTestSupport.h"

#include <fstream>
#include <iterator>
#include <regex>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "xml/qlxXML.h"

namespace {

// The report page's title band holds the objects.
const TqlxXMLItem& TemplateBand(const TqlxXMLDocument& document) { return *document.Root()->Child(1)->Child(0); }

}  // namespace

std::string XmlPart(const std::string& body) { return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + body; }

std::string TextPage(const std::string& text) {
    return PageWith("<Glyphs OriginX=\"10\" OriginY=\"20\" FontRenderingEmSize=\"12\" UnicodeString=\"" + text + "\"/>");
}

std::string PageWith(const std::string& content) { return FixedPage(816, 1056, content); }

std::string ImageBrushPath(const std::vector<std::string>& imageSources) {
    std::string path = "<Path Data=\"M 0,0 L 10,0 10,10 Z\"><Path.Fill>";
    for (const std::string& source : imageSources) path += "<ImageBrush ImageSource=\"" + source + "\"/>";
    return path + "</Path.Fill></Path>";
}

std::vector<TPart> OneDocument(const std::vector<std::string>& pages) {
    std::vector<std::string> sources;
    std::vector<TPart> parts;
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string name = "Documents/1/Pages/" + std::to_string(i + 1) + ".fpage";
        sources.push_back("/" + name);
        parts.push_back({name, pages[i]});
    }
    parts.push_back({"Documents/1/FixedDocument.fdoc", DocumentPart(sources)});
    parts.push_back({std::string(kXpsSequencePart), SequencePart({"/Documents/1/FixedDocument.fdoc"})});
    return parts;
}

std::string StoredPackage(const std::vector<TPart>& parts) {
    TTestZipArchive archive;
    for (const TPart& part : parts) {
        TTestZipEntry entry;
        entry.Name = part.Name;
        entry.Content = part.Content;
        archive.Entries.push_back(entry);
    }
    return TestZipBytes(archive);
}

void WriteFileBytes(const std::u16string& fileName, const std::string& bytes) {
    std::ofstream file(NativePath(fileName), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string FileBytes(const std::u16string& fileName) {
    std::ifstream file(NativePath(fileName), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::u16string> TemplateTexts(const std::u16string& fileName) {
    TqlxXMLDocument document;
    document.LoadFromFile(fileName);
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
    document.LoadFromFile(fileName);
    const TqlxXMLItem& band = TemplateBand(document);
    size_t count = 0;
    for (int32_t i = 0; i < band.ChildCount(); ++i) count += band.Child(i)->Name == u"TqlxLineView" ? 1 : 0;
    return count;
}

std::string TemplateWithoutTimes(const std::u16string& fileName) {
    static const std::regex times("ReportOptions\\.(CreateDate|LastChange)=\"[^\"]*\"");
    return std::regex_replace(FileBytes(fileName), times, "");
}
