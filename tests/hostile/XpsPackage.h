#pragma once

// XPS packages for tests and fuzz seeds: a sequence, its documents and their
// pages, as printer drivers lay them out, written with the test ZIP writer.

#include <string>
#include <vector>

#include "tests/support/TestZipWriter.h"

inline const std::string kXpsDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
inline const std::string kXpsNamespace = " xmlns=\"http://schemas.microsoft.com/xps/2005/06\"";

inline std::string XpsPage(const std::string& content, const std::string& size = "Width=\"816\" Height=\"1056\"") {
    return "<FixedPage " + size + kXpsNamespace + " xml:lang=\"en-us\">" + content + "</FixedPage>";
}

inline std::string XpsSequence(const std::vector<std::string>& documentSources) {
    std::string text = kXpsDeclaration + "<FixedDocumentSequence" + kXpsNamespace + ">";
    for (const std::string& source : documentSources) text += "<DocumentReference Source=\"" + source + "\"/>";
    return text + "</FixedDocumentSequence>";
}

inline std::string XpsDocument(const std::vector<std::string>& pageSources) {
    std::string text = kXpsDeclaration + "<FixedDocument" + kXpsNamespace + ">";
    for (const std::string& source : pageSources) text += "<PageContent Source=\"" + source + "\"/>";
    return text + "</FixedDocument>";
}

inline TTestZipEntry XpsEntry(std::string name, std::string content, uint16_t method) {
    TTestZipEntry entry;
    entry.Name = std::move(name);
    entry.Content = std::move(content);
    entry.Method = method;
    return entry;
}

// One document of the given pages; method 0 stores the parts, 8 deflates them.
// The parts nobody reads (content types, relationships) are there too.
inline TTestZipArchive XpsArchive(const std::vector<std::string>& pages, uint16_t method = 8) {
    std::vector<std::string> sources;
    for (size_t i = 1; i <= pages.size(); ++i) sources.push_back("Pages/" + std::to_string(i) + ".fpage");
    TTestZipArchive archive;
    archive.Entries.push_back(XpsEntry("[Content_Types].xml",
        kXpsDeclaration + "<Types><Default Extension=\"fpage\" ContentType=\"application/vnd.ms-package.xps-fixedpage+xml\"/></Types>", method));
    archive.Entries.push_back(XpsEntry("_rels/.rels",
        kXpsDeclaration + "<Relationships><Relationship Target=\"/FixedDocumentSequence.fdseq\" Id=\"R0\"/></Relationships>", method));
    archive.Entries.push_back(XpsEntry("FixedDocumentSequence.fdseq", XpsSequence({"/Documents/1/FixedDocument.fdoc"}), method));
    archive.Entries.push_back(XpsEntry("Documents/1/FixedDocument.fdoc", XpsDocument(sources), method));
    for (size_t i = 0; i < pages.size(); ++i)
        archive.Entries.push_back(XpsEntry("Documents/1/" + sources[i], pages[i], method));
    return archive;
}

inline std::string XpsPackage(const std::vector<std::string>& pages, uint16_t method = 8) {
    return TestZipBytes(XpsArchive(pages, method));
}
