#pragma once

// XPS packages laid out as printer drivers write them: absolute part names,
// content types, package relationships, a sequence and its documents, and
// pages with top-level text runs and stroked outlines. The sample package of
// examples/ and the benchmark package are made here; tests build theirs from
// the parts, or as lists of parts a test can spoil one by one.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tests/support/TestZipWriter.h"

constexpr std::string_view kXpsSequencePart = "FixedDocumentSequence.fdseq";
constexpr std::string_view kXpsFontPart = "Resources/Fonts/LiberationSans.ttf";
constexpr std::string_view kDefaultFontFile = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

std::string ContentTypesPart();
std::string PackageRelsPart();
// References go in as given: "/Documents/1/FixedDocument.fdoc" or a relative one.
std::string SequencePart(const std::vector<std::string>& documentSources);
std::string DocumentPart(const std::vector<std::string>& pageSources);
// The fonts and images a page needs, as absolute part names.
std::string PageRelsPart(const std::vector<std::string>& resources);
std::string FixedPage(double width, double height, std::string_view content);

// Markup is escaped here; text is UTF-8.
std::string EscapeXml(std::string_view text);

// A PNG image of width x height pixels in two colours, a diagonal band on a plain ground.
std::string SamplePng(uint32_t width, uint32_t height);

// The TrueType font a package embeds as the resource its Glyphs name. Text
// maps to the font's own glyph indices, so XPS readers that draw from the
// indices show the same characters as the Unicode text says.
class TEmbeddedFont {
public:
    // Raises std::runtime_error when the file is missing or is no font.
    explicit TEmbeddedFont(const std::string& fileName);

    const std::string& Bytes() const { return bytes_; }
    // "43;72;79;79;82": one index per character, 0 for characters the font lacks.
    std::string Indices(std::string_view utf8Text) const;

private:
    std::string bytes_;
    std::unordered_map<char32_t, uint32_t> glyphIndices_;
};

// A top-level text run of the embedded font, black, UTF-8 text.
std::string GlyphsElement(const TEmbeddedFont& font, double x, double y, double emSize, std::string_view text);
// A stroked outline: "F1 M x,y L x,y ... [z]".
std::string StrokedPathElement(std::string_view data, std::string_view stroke = "#ff000000");

// Two invoice pages: text with non-ASCII letters, table rules and a box, and a logo as an image brush.
TTestZipArchive InvoicePackage(const TEmbeddedFont& font);

struct TBenchPackageOptions {
    int32_t Pages = 1000;
    int32_t GlyphsPerPage = 300;
    int32_t PathsPerPage = 100;
};

// One document of many equal-sized pages, every part deflated.
TTestZipArchive BenchPackage(const TEmbeddedFont& font, const TBenchPackageOptions& options);

// A part of a package to be: its entry name and its bytes.
struct TPart {
    std::string Name;
    std::string Content;
};

// A part with the XML declaration the reader needs in front of sequences and documents.
std::string XmlPart(const std::string& body);
// A fixed page of 816 x 1056 holding content.
std::string PageWith(const std::string& content);
// A fixed page with one text run at (10, 20).
std::string TextPage(const std::string& text);
// A path whose fill holds image brushes of these sources.
std::string ImageBrushPath(const std::vector<std::string>& imageSources);

// Where OneDocument puts its parts.
enum : size_t { kContentTypesEntry, kRelsEntry, kSequenceEntry, kDocumentEntry, kFirstPageEntry };

// Content types, relationships, the sequence at the root referring to
// "/Documents/1/FixedDocument.fdoc", the document and the pages as
// "Documents/1/Pages/<n>.fpage", numbered from 1 and referred to relatively.
std::vector<TPart> OneDocument(const std::vector<std::string>& pages);

// The parts, those named stored in n pieces each ("NAME/[0].piece", ...,
// "NAME/[n-1].last.piece") as spool files store them: the other parts first,
// then the pieces of all named parts in turns, the last turn first, so that no
// piece stands after the one before it.
std::vector<TPart> StoredAsPieces(const std::vector<TPart>& parts, const std::vector<std::string>& names, size_t n);

// The parts as entries stored (method 0) or deflated (8), in their order.
TTestZipArchive PackageArchive(const std::vector<TPart>& parts, uint16_t method = 0);
std::string PackageBytes(const std::vector<TPart>& parts, uint16_t method = 0);
