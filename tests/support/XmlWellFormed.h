#pragma once

// Templates must be XML 1.0 that any reader takes, not only this project's
// own lenient reader: tests and fuzz targets check them with a strict
// parser (libxml2).

#include <string>
#include <string_view>

// Empty when bytes are a well-formed XML 1.0 document, else what the parser
// objects to first.
std::string XmlWellFormednessError(std::string_view bytes);

// Raises std::runtime_error naming the file when it is not well-formed.
void CheckWellFormedXml(const std::string& fileName, std::string_view bytes);
