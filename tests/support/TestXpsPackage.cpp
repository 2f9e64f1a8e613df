#include "tests/support/TestXpsPackage.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
constexpr std::string_view kXpsNamespace = "http://schemas.microsoft.com/xps/2005/06";
constexpr std::string_view kRelsNamespace = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view kLogoPart = "/Resources/Images/logo.png";
constexpr double kA4Width = 793.76;
constexpr double kA4Height = 1122.56;

std::string Number(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Be32(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

std::string PngChunk(std::string_view type, std::string_view data) {
    const std::string typed = std::string(type) + std::string(data);
    return Be32(static_cast<uint32_t>(data.size())) + typed + Be32(Crc32Of(typed));
}

std::string ReadFileBytes(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read font file " + fileName);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Decodes well-formed UTF-8, which is all this file's own text is.
std::vector<char32_t> CodePoints(std::string_view utf8) {
    std::vector<char32_t> points;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t point = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
            point = (point << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        points.push_back(point);
        i += length;
    }
    return points;
}

std::string RelationshipsPart(const std::vector<std::pair<std::string, std::string>>& targetsAndTypes) {
    std::string part = std::string(kDeclaration) + "<Relationships xmlns=\"" + std::string(kRelsNamespace) + "\">";
    for (size_t i = 0; i < targetsAndTypes.size(); ++i)
        part += "<Relationship Target=\"" + targetsAndTypes[i].first + "\" Id=\"R" + std::to_string(i) +
                "\" Type=\"" + targetsAndTypes[i].second + "\" />";
    return part + "</Relationships>";
}

std::string ReferencesPart(std::string_view root, std::string_view element, const std::vector<std::string>& sources) {
    std::string part(kDeclaration);
    part.append("<").append(root).append(" xmlns=\"").append(kXpsNamespace).append("\">");
    for (const std::string& source : sources) part.append("<").append(element).append(" Source=\"" + source + "\" />");
    return part.append("</").append(root).append(">");
}

std::string AbsoluteName(std::string_view partName) { return std::string("/").append(partName); }

// Package-wide parts in the order printer drivers write them last.
void AddPackageParts(TTestZipArchive& archive, const std::string& document) {
    archive.Entries.push_back(DeflatedEntry("Documents/1/FixedDocument.fdoc", document));
    archive.Entries.push_back(DeflatedEntry(std::string(kXpsSequencePart), SequencePart({"/Documents/1/FixedDocument.fdoc"})));
    archive.Entries.push_back(DeflatedEntry("_rels/.rels", PackageRelsPart()));
    archive.Entries.push_back(DeflatedEntry("[Content_Types].xml", ContentTypesPart()));
}

void AddPage(TTestZipArchive& archive, int32_t number, const std::string& page, const std::vector<std::string>& resources) {
    const std::string name = "Documents/1/Pages/" + std::to_string(number) + ".fpage";
    archive.Entries.push_back(DeflatedEntry(name, page));
    archive.Entries.push_back(
        DeflatedEntry("Documents/1/Pages/_rels/" + std::to_string(number) + ".fpage.rels", PageRelsPart(resources)));
}

std::string PageSource(int32_t number) { return "/Documents/1/Pages/" + std::to_string(number) + ".fpage"; }

std::string FontResource() { return AbsoluteName(kXpsFontPart); }

struct TInvoiceLine {
    const char* Position;
    const char* Description;
    const char* Quantity;
    const char* UnitPrice;
    const char* Amount;
};

constexpr TInvoiceLine kInvoiceLines[] = {
    {"1", "Espresso machine \xE2\x80\x9C" "Barista Pro\xE2\x80\x9D", "1", "1.299,00 \xE2\x82\xAC", "1.299,00 \xE2\x82\xAC"},
    {"2", "Milchk\xC3\xA4nnchen, Edelstahl 0,6 l", "4", "18,50 \xE2\x82\xAC", "74,00 \xE2\x82\xAC"},
    {"3", "Kaffeebohnen \xC2\xBB" "Caf\xC3\xA9 Ol\xC3\xA9\xC2\xAB 1 kg", "12", "21,90 \xE2\x82\xAC", "262,80 \xE2\x82\xAC"},
    {"4", "Wartung & Entkalkung (Pauschale)", "1", "89,00 \xE2\x82\xAC", "89,00 \xE2\x82\xAC"},
};

std::string InvoiceFirstPage(const TEmbeddedFont& font) {
    std::string content;
    const auto text = [&](double x, double y, double size, std::string_view line) {
        content += GlyphsElement(font, x, y, size, line);
    };
    text(72, 96, 20, "M\xC3\xBCller & S\xC3\xB6hne GmbH");
    text(72, 116, 10, "Hauptstra\xC3\x9F" "e 12 \xC2\xB7 80331 M\xC3\xBCnchen \xC2\xB7 Deutschland");
    content += "<Path Data=\"M 624,64 L 720,64 720,112 624,112 Z\"><Path.Fill><ImageBrush ImageSource=\"" +
               std::string(kLogoPart) +
               "\" Viewbox=\"0,0,32,16\" ViewboxUnits=\"Absolute\" Viewport=\"624,64,96,48\" "
               "ViewportUnits=\"Absolute\" TileMode=\"None\" /></Path.Fill></Path>";
    text(72, 200, 10, "Rechnung an / Bill to:");
    text(72, 216, 10, "Caf\xC3\xA9 Zo\xC3\xAB S.A.R.L.");
    text(72, 230, 10, "17, rue de la Paix \xC2\xB7 75002 Paris");
    text(480, 200, 16, "Rechnung / Invoice");
    text(480, 222, 10, "Nr. 2024-0117 \xE2\x80\x94 14.03.2024");
    const double columns[] = {72, 108, 470, 540, 650};
    const char* headings[] = {"Pos.", "Beschreibung", "Menge", "Einzelpreis", "Betrag"};
    for (size_t c = 0; c < 5; ++c) text(columns[c], 300, 10, headings[c]);
    content += StrokedPathElement("F1 M 72,306 L 722,306");
    double y = 324;
    for (const TInvoiceLine& line : kInvoiceLines) {
        const char* cells[] = {line.Position, line.Description, line.Quantity, line.UnitPrice, line.Amount};
        for (size_t c = 0; c < 5; ++c) text(columns[c], y, 10, cells[c]);
        content += StrokedPathElement("F1 M 72," + Number(y + 6) + " L 722," + Number(y + 6), "#ffc0c0c0");
        y += 20;
    }
    content += StrokedPathElement("F1 M 470,420 L 722,420 722,470 470,470 z");
    text(480, 438, 10, "Netto / Net");
    text(650, 438, 10, "1.724,80 \xE2\x82\xAC");
    text(480, 460, 11, "Gesamt / Total (19 % MwSt.)");
    text(650, 460, 11, "2.052,51 \xE2\x82\xAC");
    text(372.8, 1060, 9, "Seite 1 von 2");
    return FixedPage(kA4Width, kA4Height, content);
}

std::string InvoiceSecondPage(const TEmbeddedFont& font) {
    std::string content;
    const auto text = [&](double x, double y, double size, std::string_view line) {
        content += GlyphsElement(font, x, y, size, line);
    };
    text(72, 96, 14, "Zahlungsbedingungen / Terms of payment");
    content += StrokedPathElement("F1 M 72,104 L 722,104");
    text(72, 130, 10, "Zahlbar innerhalb von 30 Tagen ohne Abzug \xE2\x80\x94 payable within 30 days.");
    text(72, 146, 10, "IBAN DE02 1203 0000 0000 2020 51 \xC2\xB7 BIC BYLADEM1001");
    text(72, 162, 10, "\xD0\xA1\xD1\x87\xD1\x91\xD1\x82-\xD1\x84\xD0\xB0\xD0\xBA\xD1\x82\xD1\x83\xD1\x80\xD0\xB0 "
                      "\xE2\x84\x96 2024-0117 \xC2\xB7 \xCE\xA4\xCE\xB9\xCE\xBC\xCE\xBF\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xB9\xCE\xBF");
    text(72, 200, 10, "Vielen Dank f\xC3\xBCr Ihren Auftrag! \xE2\x80\x94 Merci beaucoup, \xC3\xA0 bient\xC3\xB4t !");
    content += StrokedPathElement("F1 M 72,1040 L 722,1040");
    text(372.8, 1060, 9, "Seite 2 von 2");
    return FixedPage(kA4Width, kA4Height, content);
}

// Words a printed list is made of, so that no two runs of a page are alike.
constexpr std::string_view kBenchWords[] = {
    "Artikel", "Menge", "Gr\xC3\xB6\xC3\x9F" "e", "Preis", "Lieferung", "Rechnung", "item", "quantity",
    "caf\xC3\xA9", "total", "12,50 \xE2\x82\xAC", "Stra\xC3\x9F" "e", "order", "2024-03-14", "ref.", "N\xC2\xBA",
};

std::string BenchText(uint32_t& seed) {
    std::string text;
    const int32_t words = 2 + static_cast<int32_t>(seed % 4);
    for (int32_t w = 0; w < words; ++w) {
        seed = seed * 1103515245u + 12345u;
        if (w > 0) text += ' ';
        text += kBenchWords[(seed >> 16) % std::size(kBenchWords)];
    }
    return text + " " + std::to_string(seed % 10000);
}

// Text runs in four columns of rows, the rows ruled and some cells boxed.
std::string BenchPage(const TEmbeddedFont& font, const TBenchPackageOptions& options, int32_t page) {
    constexpr double kColumns[] = {48, 240, 432, 624};
    const int32_t rows = (options.GlyphsPerPage + 3) / 4;
    const double rowHeight = 1000.0 / std::max(rows, 1);
    uint32_t seed = static_cast<uint32_t>(page) * 2654435761u;
    std::string content;
    for (int32_t i = 0; i < options.GlyphsPerPage; ++i) {
        const double y = 40 + rowHeight * (i / 4 + 1);
        content += GlyphsElement(font, kColumns[i % 4], y, 9.5, BenchText(seed));
    }
    for (int32_t i = 0; i < options.PathsPerPage; ++i) {
        const double y = 44 + rowHeight * (i % std::max(rows, 1) + 1);
        if (i % 4 == 3) {
            const double x = kColumns[(i / 4) % 4] - 4;
            content += StrokedPathElement("F1 M " + Number(x) + "," + Number(y - rowHeight) + " L " + Number(x + 180) +
                                          "," + Number(y - rowHeight) + " " + Number(x + 180) + "," + Number(y) + " " +
                                          Number(x) + "," + Number(y) + " z");
        } else {
            content += StrokedPathElement("F1 M 44," + Number(y) + " L 772," + Number(y));
        }
    }
    return FixedPage(816, 1056, content);
}

}  // namespace

std::string ContentTypesPart() {
    return std::string(kDeclaration) +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\" />"
           "<Default Extension=\"fdseq\" ContentType=\"application/vnd.ms-package.xps-fixeddocumentsequence+xml\" />"
           "<Default Extension=\"fdoc\" ContentType=\"application/vnd.ms-package.xps-fixeddocument+xml\" />"
           "<Default Extension=\"fpage\" ContentType=\"application/vnd.ms-package.xps-fixedpage+xml\" />"
           "<Default Extension=\"ttf\" ContentType=\"application/vnd.ms-opentype\" />"
           "<Default Extension=\"png\" ContentType=\"image/png\" />"
           "</Types>";
}

std::string PackageRelsPart() {
    return RelationshipsPart(
        {{AbsoluteName(kXpsSequencePart), "http://schemas.microsoft.com/xps/2005/06/fixedrepresentation"}});
}

std::string SequencePart(const std::vector<std::string>& documentSources) {
    return ReferencesPart("FixedDocumentSequence", "DocumentReference", documentSources);
}

std::string DocumentPart(const std::vector<std::string>& pageSources) {
    return ReferencesPart("FixedDocument", "PageContent", pageSources);
}

std::string PageRelsPart(const std::vector<std::string>& resources) {
    std::vector<std::pair<std::string, std::string>> targets;
    for (const std::string& resource : resources)
        targets.emplace_back(resource, "http://schemas.microsoft.com/xps/2005/06/required-resource");
    return RelationshipsPart(targets);
}

std::string FixedPage(double width, double height, std::string_view content) {
    return "<FixedPage Width=\"" + Number(width) + "\" Height=\"" + Number(height) + "\" xmlns=\"" +
           std::string(kXpsNamespace) + "\" xml:lang=\"und\">" + std::string(content) + "</FixedPage>";
}

std::string EscapeXml(std::string_view text) {
    std::string escaped;
    for (const char ch : text) {
        switch (ch) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            default: escaped += ch;
        }
    }
    return escaped;
}

std::string SamplePng(uint32_t width, uint32_t height) {
    std::string rows;
    for (uint32_t y = 0; y < height; ++y) {
        rows += '\0';
        for (uint32_t x = 0; x < width; ++x) {
            const bool band = (x + width - y * width / height) % width < width / 3;
            rows += band ? std::string("\x1F\x4E\x79", 3) : std::string("\xE8\xEE\xF4", 3);
        }
    }
    const std::string zlibData = std::string("\x78\x9C", 2) + DeflateRaw(rows) + Be32(Adler32Of(rows));
    const std::string header = Be32(width) + Be32(height) + std::string("\x08\x02\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1A\n", 8) + PngChunk("IHDR", header) + PngChunk("IDAT", zlibData) +
           PngChunk("IEND", "");
}

TEmbeddedFont::TEmbeddedFont(const std::string& fileName) : bytes_(ReadFileBytes(fileName)) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) throw std::runtime_error("FreeType does not start");
    const std::unique_ptr<FT_LibraryRec_, decltype(&FT_Done_FreeType)> libraryGuard(library, FT_Done_FreeType);
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes_.data()), static_cast<FT_Long>(bytes_.size()),
                           0, &face) != 0)
        throw std::runtime_error(fileName + " is no font");
    const std::unique_ptr<FT_FaceRec_, decltype(&FT_Done_Face)> faceGuard(face, FT_Done_Face);
    FT_UInt index = 0;
    for (FT_ULong ch = FT_Get_First_Char(face, &index); index != 0; ch = FT_Get_Next_Char(face, ch, &index))
        glyphIndices_[static_cast<char32_t>(ch)] = index;
}

std::string TEmbeddedFont::Indices(std::string_view utf8Text) const {
    std::string indices;
    for (const char32_t point : CodePoints(utf8Text)) {
        if (!indices.empty()) indices += ';';
        const auto found = glyphIndices_.find(point);
        indices += std::to_string(found == glyphIndices_.end() ? 0 : found->second);
    }
    return indices;
}

std::string GlyphsElement(const TEmbeddedFont& font, double x, double y, double emSize, std::string_view text) {
    return "<Glyphs Fill=\"#ff000000\" FontUri=\"" + FontResource() + "\" FontRenderingEmSize=\"" + Number(emSize) +
           "\" StyleSimulations=\"None\" OriginX=\"" + Number(x) + "\" OriginY=\"" + Number(y) + "\" Indices=\"" +
           font.Indices(text) + "\" UnicodeString=\"" + EscapeXml(text) + "\" />";
}

std::string StrokedPathElement(std::string_view data, std::string_view stroke) {
    return "<Path Stroke=\"" + std::string(stroke) + "\" StrokeThickness=\"0.96\" StrokeLineJoin=\"Miter\" Data=\"" +
           std::string(data) + "\" />";
}

TTestZipArchive InvoicePackage(const TEmbeddedFont& font) {
    TTestZipArchive archive;
    AddPage(archive, 1, InvoiceFirstPage(font), {FontResource(), std::string(kLogoPart)});
    AddPage(archive, 2, InvoiceSecondPage(font), {FontResource()});
    archive.Entries.push_back(DeflatedEntry(std::string(kXpsFontPart), font.Bytes()));
    archive.Entries.push_back(DeflatedEntry(std::string(kLogoPart.substr(1)), SamplePng(32, 16)));
    AddPackageParts(archive, DocumentPart({PageSource(1), PageSource(2)}));
    return archive;
}

TTestZipArchive BenchPackage(const TEmbeddedFont& font, const TBenchPackageOptions& options) {
    TTestZipArchive archive;
    std::vector<std::string> pages;
    for (int32_t page = 1; page <= options.Pages; ++page) {
        AddPage(archive, page, BenchPage(font, options, page), {FontResource()});
        pages.push_back(PageSource(page));
    }
    archive.Entries.push_back(DeflatedEntry(std::string(kXpsFontPart), font.Bytes()));
    AddPackageParts(archive, DocumentPart(pages));
    return archive;
}

std::string XmlPart(const std::string& body) { return std::string(kDeclaration) + body; }

std::string PageWith(const std::string& content) { return FixedPage(816, 1056, content); }

std::string TextPage(const std::string& text) {
    return PageWith("<Glyphs OriginX=\"10\" OriginY=\"20\" FontRenderingEmSize=\"12\" UnicodeString=\"" + text + "\"/>");
}

std::string ImageBrushPath(const std::vector<std::string>& imageSources) {
    std::string path = "<Path Data=\"M 0,0 L 10,0 10,10 Z\"><Path.Fill>";
    for (const std::string& source : imageSources) path += "<ImageBrush ImageSource=\"" + source + "\"/>";
    return path + "</Path.Fill></Path>";
}

std::vector<TPart> OneDocument(const std::vector<std::string>& pages) {
    std::vector<std::string> sources;
    for (size_t i = 1; i <= pages.size(); ++i) sources.push_back("Pages/" + std::to_string(i) + ".fpage");
    std::vector<TPart> parts = {
        {"[Content_Types].xml", ContentTypesPart()},
        {"_rels/.rels", PackageRelsPart()},
        {std::string(kXpsSequencePart), SequencePart({"/Documents/1/FixedDocument.fdoc"})},
        {"Documents/1/FixedDocument.fdoc", DocumentPart(sources)},
    };
    for (size_t i = 0; i < pages.size(); ++i) parts.push_back({"Documents/1/" + sources[i], pages[i]});
    return parts;
}

std::vector<TPart> StoredAsPieces(const std::vector<TPart>& parts, const std::vector<std::string>& names, size_t n) {
    std::vector<TPart> result, pieced;
    for (const TPart& part : parts)
        (std::find(names.begin(), names.end(), part.Name) == names.end() ? result : pieced).push_back(part);
    for (size_t i = n; i-- > 0;) {
        for (const TPart& part : pieced) {
            const size_t size = (part.Content.size() + n - 1) / n;
            result.push_back({part.Name + "/[" + std::to_string(i) + (i + 1 == n ? "].last.piece" : "].piece"),
                              part.Content.substr(std::min(i * size, part.Content.size()), size)});
        }
    }
    return result;
}

TTestZipArchive PackageArchive(const std::vector<TPart>& parts, uint16_t method) {
    TTestZipArchive archive;
    for (const TPart& part : parts) {
        archive.Entries.push_back(StoredEntry(part.Name, part.Content));
        archive.Entries.back().Method = method;
    }
    return archive;
}

std::string PackageBytes(const std::vector<TPart>& parts, uint16_t method) {
    return TestZipBytes(PackageArchive(parts, method));
}
