#pragma once

// Files for end-to-end tests of the conversion run and the command line, and
// what the tests read back from the templates written.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/TestXpsPackage.h"

class TqlxXMLDocument;

void WriteFileBytes(const std::u16string& fileName, const std::string& bytes);
std::string FileBytes(const std::u16string& fileName);

// Empty when bytes are XML 1.0 as a strict parser (libxml2) reads them, else
// its first complaint. Templates must be, for any reader: LoadTemplate and the
// helpers below load one only then (std::runtime_error otherwise).
std::string XmlWellFormednessError(std::string_view bytes);
void LoadTemplate(TqlxXMLDocument& document, const std::u16string& fileName);
// The text objects of a template: "Left,Top:Text" each, in order.
std::vector<std::u16string> TemplateTexts(const std::u16string& fileName);
size_t TemplateLineCount(const std::u16string& fileName);
// The template's bytes without the attributes that hold the time it was made.
std::string TemplateWithoutTimes(const std::u16string& fileName);
