#include "template/TemplatePicture.h"

// A picture is drawn beside every template of a run, so it must cost little
// next to the template itself. It is plain text, written object by object as
// the template's tags are read, as bytes: each object's attribute text is
// taken apart in one pass, its numbers are read in either decimal separator,
// texts of plain ASCII go as they are and only others are decoded, and the
// picture's numbers are written to a millionth of a pixel, finer than any
// screen shows.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/CodePages.h"
#include "platform/ReplacementFile.h"
#include "platform/Streams.h"
#include "template/crtqlt.h"
#include "xml/qlxXML.h"
#include "xml/qlxXMLReader.h"

namespace {

// What the picture's size is given in: CSS pixels, 96 to the inch.
constexpr double kPicturePixelsPerMillimetre = 96 / 25.4;
constexpr double kTemplatePixelsPerMillimetre = PixelsPerMillimetre;
// The text stands 1 millimetre in from its box's left and top edges.
constexpr double kTextInset = kTemplatePixelsPerMillimetre;
// SVG places text by its baseline. A face's ascent, from the top of its
// line to the baseline, is about 0.9 em in the common families; the picture
// does not measure the face, which the viewer may not even have.
constexpr double kAscent = 0.9;
constexpr int32_t kBold = 1;
constexpr int32_t kItalic = 2;
constexpr double kUnreadable = std::numeric_limits<double>::quiet_NaN();

// The attributes a picture takes from a tag, as written: UTF-8, or the 8-bit
// code page in a file that says so.
struct TTagAttributes {
    std::string_view PaperWidth, PaperHeight;
    std::string_view Left, Top, Width, Height;
    std::string_view FontHeight, FontName, FontStyle, FontColor, Text;
    std::string_view FrameColor;
};

// Where the value of the attribute called name goes, or null. Picked by the
// name's length first: an object has sixteen attributes, each looked at once.
std::string_view* FieldOf(TTagAttributes& attributes, std::string_view name) {
    const auto pick = [name](std::string_view known, std::string_view& field) {
        return name == known ? &field : nullptr;
    };
    switch (name.size()) {
        case 3: return pick("Top", attributes.Top);
        case 4: return name[0] == 'L' ? pick("Left", attributes.Left) : pick("Text", attributes.Text);
        case 5: return pick("Width", attributes.Width);
        case 6: return pick("Height", attributes.Height);
        case 9: return pick("Font.Name", attributes.FontName);
        case 10:
            if (name[0] == 'P') return pick("PaperWidth", attributes.PaperWidth);
            return name[5] == 'S' ? pick("Font.Style", attributes.FontStyle) : pick("Font.Color", attributes.FontColor);
        case 11:
            if (name[0] == 'P') return pick("PaperHeight", attributes.PaperHeight);
            return name[1] == 'o' ? pick("Font.Height", attributes.FontHeight) : pick("Frame.Color", attributes.FrameColor);
        default: return nullptr;
    }
}

// The values of an attribute text of name="value" pairs, in one pass.
TTagAttributes ReadTagAttributes(std::string_view attrBytes) {
    TTagAttributes attributes;
    for (size_t i = 0; i < attrBytes.size();) {
        const size_t open = attrBytes.find('"', i);
        if (open == std::string_view::npos || open == i || attrBytes[open - 1] != '=') break;
        while (IsXmlBlank(static_cast<unsigned char>(attrBytes[i]))) ++i;
        const std::string_view name = attrBytes.substr(i, open - 1 - i);
        const size_t close = std::min(attrBytes.find('"', open + 1), attrBytes.size());
        if (std::string_view* field = FieldOf(attributes, name)) *field = attrBytes.substr(open + 1, close - open - 1);
        i = close + 1;
    }
    return attributes;
}

// The template's reals are written in the number format of whoever converted
// it, and the band's Top always with a comma: either separator is taken. Not
// a number when the value is missing or holds no finite number. The common
// form, a sign and at most 15 digits around the separator, is read at once:
// such a mantissa and a power of ten up to 1E22 are exact doubles, so their
// quotient is the correctly rounded value. Others go to from_chars.
double ReadReal(std::string_view text) {
    static constexpr double kPowersOfTen[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    constexpr int kExactDigits = 15;
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool separator = false;
    size_t i = negative ? 1 : 0;
    for (; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch >= '0' && ch <= '9') {
            mantissa = mantissa * 10 + static_cast<uint64_t>(ch - '0');
            ++digits;
            fractionDigits += separator ? 1 : 0;
        } else if ((ch == '.' || ch == ',') && !separator) {
            separator = true;
        } else {
            break;
        }
    }
    if (i == text.size() && digits > 0 && digits <= kExactDigits) {
        const double value = static_cast<double>(mantissa) / kPowersOfTen[fractionDigits];
        return negative ? -value : value;
    }
    std::string number(text);
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    return !number.empty() && error == std::errc() && end == number.data() + number.size() && std::isfinite(value)
               ? value
               : kUnreadable;
}

std::optional<int32_t> ReadInteger(std::string_view text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Fixed notation to a millionth of a pixel without trailing zeros, so that
// sums print as short as their terms; numbers too large for that print in
// their shortest form. Returns the end of the text written at start.
char* FormatNumber(char* start, char* end, double value) {
    constexpr int kPlaces = 6;
    constexpr int64_t kScale = 1000000;
    const double scaled = value * kScale;
    if (!(std::fabs(scaled) < 1e15)) return std::to_chars(start, end, value).ptr;
    const auto rounded = static_cast<int64_t>(scaled + (scaled < 0 ? -0.5 : 0.5));
    const uint64_t units = rounded < 0 ? -static_cast<uint64_t>(rounded) : static_cast<uint64_t>(rounded);
    char digits[24];
    char* const digitsEnd = digits + sizeof digits;
    char* first = digitsEnd;
    uint64_t fraction = units % kScale;
    if (fraction != 0) {
        int places = kPlaces;
        for (; fraction % 10 == 0; fraction /= 10) --places;
        for (; places > 0; --places, fraction /= 10) *--first = static_cast<char>('0' + fraction % 10);
        *--first = '.';
    }
    for (uint64_t whole = units / kScale;; whole /= 10) {
        *--first = static_cast<char>('0' + whole % 10);
        if (whole < 10) break;
    }
    if (rounded < 0) *--first = '-';
    return std::copy(first, digitsEnd, start);
}

void AppendNumber(std::string& out, double value) {
    char text[32];
    out.append(text, FormatNumber(text, text + sizeof text, value));
}

// The attribute as name="value", after a blank, appended at once.
void AppendAttr(std::string& out, std::string_view name, double value) {
    char text[64];
    char* end = std::copy(name.begin(), name.end(), text + 1);
    text[0] = ' ';
    *end++ = '=';
    *end++ = '"';
    end = FormatNumber(end, text + sizeof text - 1, value);
    *end++ = '"';
    out.append(text, end);
}

void AppendAttr(std::string& out, std::string_view name, std::string_view value) {
    out.append(" ").append(name).append("=\"").append(value) += '"';
}

// Text as XML holds it in content and attribute values alike. Characters no
// XML text may hold, lone surrogates among them, become U+FFFD; tabs and
// line breaks are written as references, so no reader changes them.
void AppendEscaped(std::string& out, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i];
        switch (ch) {
            case u'&': out += "&amp;"; continue;
            case u'<': out += "&lt;"; continue;
            case u'>': out += "&gt;"; continue;
            case u'"': out += "&quot;"; continue;
            case u'\t': out += "&#9;"; continue;
            case u'\n': out += "&#10;"; continue;
            case u'\r': out += "&#13;"; continue;
            default: break;
        }
        if (ch >= u' ' && ch < 0x80) {
            out += static_cast<char>(ch);
        } else if (StartsSurrogatePair(text, i)) {
            AppendUtf8(out, text.substr(i++, 2));
        } else if (IsXmlUnit(ch)) {
            AppendUtf8(out, text.substr(i, 1));
        } else {
            out += "\uFFFD";
        }
    }
}

// An attribute value as the template means it, escaped for the picture. A
// value of plain ASCII, nothing in it to escape, goes as it is; any other is
// decoded and its references are expanded first.
bool IsPlainValue(std::string_view value) {
    return std::all_of(value.begin(), value.end(), [](char ch) {
        return ch >= ' ' && ch < 0x7F && ch != '&' && ch != '<' && ch != '>' && ch != '"';
    });
}

std::u16string DecodeValue(std::string_view value, bool legacy) {
    return XMLUnescape(legacy ? AnsiToUtf16(value) : Utf8ToUtf16(value));
}

void AppendValue(std::string& out, std::string_view value, bool legacy) {
    if (IsPlainValue(value)) out += value;
    else AppendEscaped(out, DecodeValue(value, legacy));
}

// A family name of plain words (ASCII letters, digits, "-" and "_", none
// starting with a digit) is written as it is, as every SVG reader takes it;
// any other as a quoted CSS string, whatever characters it holds.
bool IsPlainFamily(std::string_view name) {
    bool wordStart = true;
    for (const char ch : name) {
        const bool letter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || ch == '-' || ch == '_';
        const bool digit = ch >= '0' && ch <= '9';
        if (!(letter || (digit && !wordStart) || ch == ' ')) return false;
        wordStart = ch == ' ';
    }
    return !name.empty();
}

void AppendFontFamily(std::string& out, std::string_view value, bool legacy) {
    out += " font-family=\"";
    if (IsPlainFamily(value)) {
        out += value;
    } else {
        std::u16string quoted = u"'";
        for (const char16_t ch : DecodeValue(value, legacy)) {
            if (ch == u'\\' || ch == u'\'') quoted += u'\\';
            quoted += ch;
        }
        AppendEscaped(out, quoted + u"'");
    }
    out += '"';
}

// A template colour is 0x00BBGGRR; its top byte holds no colour, and the
// value that stands for none, or a value that is no number, has black below it.
void AppendColor(std::string& out, std::string_view name, std::string_view color) {
    constexpr char kHex[] = "0123456789abcdef";
    const auto value = static_cast<uint32_t>(ReadInteger(color).value_or(0));
    char text[] = "#rrggbb";
    for (const int byte : {0, 1, 2}) {
        text[1 + 2 * byte] = kHex[(value >> (8 * byte + 4)) & 0xF];
        text[2 + 2 * byte] = kHex[(value >> (8 * byte)) & 0xF];
    }
    AppendAttr(out, name, text);
}

// Where an object lies on the paper: its box, or its line's start and extent.
struct TPlacement {
    double Left;
    double Top;
    double Width;
    double Height;

    // Numbers a template holds may be finite while their sums are not, and
    // would print as "inf".
    bool Drawable() const {
        return std::isfinite(Left) && std::isfinite(Top) && std::isfinite(Left + Width) && std::isfinite(Top + Height);
    }
};

TPlacement ReadPlacement(const TTagAttributes& attributes, double bandTop) {
    return {ReadReal(attributes.Left), bandTop + ReadReal(attributes.Top), ReadReal(attributes.Width),
            ReadReal(attributes.Height)};
}

void DrawPicture(std::string& out, double paperWidth, double paperHeight) {
    const double width = paperWidth * kTemplatePixelsPerMillimetre;
    const double height = paperHeight * kTemplatePixelsPerMillimetre;
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"";
    AppendAttr(out, "width", paperWidth * kPicturePixelsPerMillimetre);
    AppendAttr(out, "height", paperHeight * kPicturePixelsPerMillimetre);
    out += " viewBox=\"0 0 ";
    AppendNumber(out, width);
    out += ' ';
    AppendNumber(out, height);
    out += "\" xml:space=\"preserve\">\n";
    // The paper is white whatever the viewer shows behind it.
    out += "<rect";
    AppendAttr(out, "width", width);
    AppendAttr(out, "height", height);
    out += " fill=\"white\"/>\n";
}

void DrawText(std::string& out, const TTagAttributes& memo, double bandTop, bool legacy) {
    const TPlacement box = ReadPlacement(memo, bandTop);
    const std::optional<int32_t> fontHeight = ReadInteger(memo.FontHeight);
    if (!box.Drawable() || !fontHeight) return;
    out += "<rect";
    AppendAttr(out, "x", std::min(box.Left, box.Left + box.Width));
    AppendAttr(out, "y", std::min(box.Top, box.Top + box.Height));
    AppendAttr(out, "width", std::fabs(box.Width));
    AppendAttr(out, "height", std::fabs(box.Height));
    out += " fill=\"none\" stroke=\"#a0a0a0\" stroke-width=\"0.5\"/>\n<text";
    const double fontSize = std::fabs(static_cast<double>(*fontHeight));
    AppendAttr(out, "x", box.Left + kTextInset);
    AppendAttr(out, "y", box.Top + kTextInset + kAscent * fontSize);
    AppendFontFamily(out, memo.FontName, legacy);
    AppendAttr(out, "font-size", fontSize);
    const int32_t style = ReadInteger(memo.FontStyle).value_or(0);
    if (style & kBold) out += " font-weight=\"bold\"";
    if (style & kItalic) out += " font-style=\"italic\"";
    AppendColor(out, "fill", memo.FontColor);
    out += '>';
    AppendValue(out, memo.Text, legacy);
    out += "</text>\n";
}

void DrawLine(std::string& out, const TTagAttributes& line, double bandTop) {
    const TPlacement extent = ReadPlacement(line, bandTop);
    if (!extent.Drawable()) return;
    out += "<line";
    AppendAttr(out, "x1", extent.Left);
    AppendAttr(out, "y1", extent.Top);
    AppendAttr(out, "x2", extent.Left + extent.Width);
    AppendAttr(out, "y2", extent.Top + extent.Height);
    AppendColor(out, "stroke", line.FrameColor);
    out += "/>\n";
}

}  // namespace

ETemplateFormatError::ETemplateFormatError()
    : Exception(u"ETemplateFormatError", u"The file is no report template") {}

// The template is read tag by tag, with no tree and undecoded: the picture
// takes each object once, in order. Its objects are the elements directly
// inside the first title band, which follows the paper's sizes in the first
// report page.
TTemplatePicture::TTemplatePicture(const std::u16string& templateName) {
    TFileStream file(templateName, fmOpenRead | fmShareDenyWrite);
    TqlxXMLReader reader(file);
    reader.ParseDeclaration();
    std::string_view name, attrBytes;
    const auto readUntil = [&](std::string_view wanted) {
        TqlxXMLReader::TTagKind kind;
        do kind = reader.NextRawTag(name, attrBytes);
        while (!name.empty() && name != wanted);
        return kind;
    };
    readUntil("TqlxReportPage");
    const TTagAttributes page = ReadTagAttributes(attrBytes);
    const double paperWidth = ReadReal(page.PaperWidth);
    const double paperHeight = ReadReal(page.PaperHeight);
    const TqlxXMLReader::TTagKind band = readUntil("TqlxReportTitle");
    const double bandTop = ReadReal(ReadTagAttributes(attrBytes).Top);
    // A paper whose size no double holds in pixels is none either.
    const auto holdsPixels = [](double millimetres) {
        return std::isfinite(millimetres * std::max(kTemplatePixelsPerMillimetre, kPicturePixelsPerMillimetre));
    };
    if (name.empty() || std::isnan(bandTop) || !holdsPixels(paperWidth) || !holdsPixels(paperHeight))
        throw ETemplateFormatError();
    // A picture takes about two thirds of its template's bytes.
    constexpr int64_t kMostReserved = 1 << 24;
    svg_.reserve(static_cast<size_t>(std::min(file.Size(), kMostReserved)));
    DrawPicture(svg_, paperWidth, paperHeight);
    if (band == TqlxXMLReader::TTagKind::Open) DrawObjects(reader, bandTop);
    svg_ += "</svg>\n";
}

void TTemplatePicture::DrawObjects(TqlxXMLReader& reader, double bandTop) {
    std::string_view name, attrBytes;
    // What lies inside an object is no object of its own.
    for (int64_t depth = 0;;) {
        const TqlxXMLReader::TTagKind kind = reader.NextRawTag(name, attrBytes);
        if (kind == TqlxXMLReader::TTagKind::EndTag) {
            if (depth-- == 0) return;
            continue;
        }
        if (depth == 0 && name == "TqlxMemoView") {
            ++textCount_;
            DrawText(svg_, ReadTagAttributes(attrBytes), bandTop, reader.LegacyEncoding);
        } else if (depth == 0 && name == "TqlxLineView") {
            ++lineCount_;
            DrawLine(svg_, ReadTagAttributes(attrBytes), bandTop);
        }
        if (kind == TqlxXMLReader::TTagKind::Open) ++depth;
    }
}

void TTemplatePicture::SaveToFile(const std::u16string& pictureName) const {
    WriteFileInPlace(pictureName, [this](TFileStream& file) {
        file.WriteBuffer(svg_.data(), static_cast<int64_t>(svg_.size()));
    });
}

std::u16string PictureName(const std::u16string& templateName) {
    const size_t delimiter = templateName.find_last_of(u"./");
    const bool extended = delimiter != std::u16string::npos && templateName[delimiter] == u'.';
    return templateName.substr(0, extended ? delimiter : templateName.size()) + u".svg";
}

std::u16string WritePictureBeside(const std::u16string& templateName) {
    const std::u16string pictureName = PictureName(templateName);
    TTemplatePicture(templateName).SaveToFile(pictureName);
    return pictureName;
}
