#pragma once

// The packages the hostile tests and the fuzz seeds start from: one document
// of the given pages, every entry at a known position so that a test can spoil it.

#include <string>
#include <vector>

#include "tests/support/TestXpsPackage.h"

enum : size_t { kContentTypesEntry, kRelsEntry, kSequenceEntry, kDocumentEntry, kFirstPageEntry };

inline std::string XpsPage(const std::string& content) { return FixedPage(816, 1056, content); }

inline TTestZipEntry XpsEntry(std::string name, std::string content, uint16_t method) {
    TTestZipEntry entry;
    entry.Name = std::move(name);
    entry.Content = std::move(content);
    entry.Method = method;
    return entry;
}

// Method 0 stores the parts, 8 deflates them.
inline TTestZipArchive XpsArchive(const std::vector<std::string>& pages, uint16_t method = 8) {
    std::vector<std::string> sources;
    for (size_t i = 1; i <= pages.size(); ++i) sources.push_back("Pages/" + std::to_string(i) + ".fpage");
    TTestZipArchive archive;
    archive.Entries.push_back(XpsEntry("[Content_Types].xml", ContentTypesPart(), method));
    archive.Entries.push_back(XpsEntry("_rels/.rels", PackageRelsPart(), method));
    archive.Entries.push_back(XpsEntry(std::string(kXpsSequencePart), SequencePart({"/Documents/1/FixedDocument.fdoc"}), method));
    archive.Entries.push_back(XpsEntry("Documents/1/FixedDocument.fdoc", DocumentPart(sources), method));
    for (size_t i = 0; i < pages.size(); ++i) archive.Entries.push_back(XpsEntry("Documents/1/" + sources[i], pages[i], method));
    return archive;
}

inline std::string XpsPackage(const std::vector<std::string>& pages, uint16_t method = 8) {
    return TestZipBytes(XpsArchive(pages, method));
}
