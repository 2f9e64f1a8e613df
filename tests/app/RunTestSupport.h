#pragma once

// Packages for end-to-end tests of the conversion run and the command line,
// and what the tests read back from the templates written.

#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestXpsPackage.h"

struct TPart {
    std::string Name;
    std::string Content;
};

// A part with the XML declaration the reader needs in front of sequences and documents.
std::string XmlPart(const std::string& body);
// A fixed page with one text run at (10, 20).
std::string TextPage(const std::string& text);
std::string PageWith(const std::string& content);
// A path whose fill holds image brushes of these sources.
std::string ImageBrushPath(const std::vector<std::string>& imageSources);

// The sequence at the root, one document "/Documents/1/FixedDocument.fdoc"
// and the pages as "Documents/1/Pages/<n>.fpage", numbered from 1.
std::vector<TPart> OneDocument(const std::vector<std::string>& pages);

std::string StoredPackage(const std::vector<TPart>& parts);
void WriteFileBytes(const std::u16string& fileName, const std::string& bytes);
std::string FileBytes(const std::u16string& fileName);

// The text objects of a template: "Left,Top:Text" each, in order.
std::vector<std::u16string> TemplateTexts(const std::u16string& fileName);
size_t TemplateLineCount(const std::u16string& fileName);
// The template's bytes without the attributes that hold the time it was made.
std::string TemplateWithoutTimes(const std::u16string& fileName);
