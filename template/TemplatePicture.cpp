#include "template/TemplatePicture.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/Conversions.h"
#include "platform/NumberFormat.h"
#include "platform/Streams.h"
#include "template/crtqlt.h"
#include "xml/qlxXML.h"
#include "xml/qlxXMLAttrText.h"

namespace {

// What the picture's size is given in: CSS pixels, 96 to the inch.
constexpr long double kPicturePixelsPerMillimetre = 96 / 25.4L;
// The text stands 1 millimetre in from its box's left and top edges.
constexpr long double kTextInset = PixelsPerMillimetre;
// SVG places text by its baseline. A face's ascent, from the top of its
// line to the baseline, is about 0.9 em in the common families; the picture
// does not measure the face, which the viewer may not even have.
constexpr long double kAscent = 0.9L;
constexpr int32_t kBold = 1;
constexpr int32_t kItalic = 2;
// How the boxes of text objects are outlined: thin and grey, under the text.
constexpr std::u16string_view kBoxOutline = u"#a0a0a0";
constexpr long double kBoxOutlineWidth = 0.5L;

const TFormatSettings kSvgNumbers{u'.'};

// The template's reals are written in the number format of whoever converted
// it, and the band's Top always with a comma: either separator is taken. Not
// a number when the attribute is missing or holds no finite number.
long double ReadReal(const TqlxXMLItem& item, std::u16string_view name) {
    constexpr long double kUnreadable = std::numeric_limits<long double>::quiet_NaN();
    const std::u16string_view raw = item.GetRawAttr(name);
    char digits[64];
    if (raw.empty() || raw.size() >= sizeof digits) return kUnreadable;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] > 0x7F) return kUnreadable;
        digits[i] = raw[i] == u',' ? '.' : static_cast<char>(raw[i]);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(digits, digits + raw.size(), value);
    return error == std::errc() && end == digits + raw.size() && std::isfinite(value) ? value : kUnreadable;
}

// Where an object lies on the page: its box, or its line's start and extent.
struct TPlacement {
    long double Left;
    long double Top;  // from the top of the paper
    long double Width;
    long double Height;

    bool Readable() const { return !std::isnan(Left + Top + Width + Height); }
};

TPlacement ReadPlacement(const TqlxXMLItem& object, long double bandTop) {
    return {ReadReal(object, u"Left"), bandTop + ReadReal(object, u"Top"), ReadReal(object, u"Width"),
            ReadReal(object, u"Height")};
}

int32_t ReadInteger(const TqlxXMLItem& item, std::u16string_view name) {
    return TryStrToInt(item.GetRawAttr(name)).value_or(0);
}

// Text as XML holds it in content and attribute values alike. Characters no
// XML text may hold become U+FFFD (lone surrogates do so when written);
// tabs and line breaks are written as references, so no reader changes them.
std::u16string SvgText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t ch : text) {
        switch (ch) {
            case u'&': out += u"&amp;"; break;
            case u'<': out += u"&lt;"; break;
            case u'>': out += u"&gt;"; break;
            case u'"': out += u"&quot;"; break;
            case u'\t': out += u"&#9;"; break;
            case u'\n': out += u"&#10;"; break;
            case u'\r': out += u"&#13;"; break;
            default: out += ch < u' ' || ch == u'\xFFFE' || ch == u'\xFFFF' ? u'\xFFFD' : ch;
        }
    }
    return out;
}

// A family name as a quoted CSS string, whatever characters it holds.
std::u16string FontFamily(std::u16string_view name) {
    std::u16string quoted = u"'";
    for (const char16_t ch : name) {
        if (ch == u'\\' || ch == u'\'') quoted += u'\\';
        quoted += ch;
    }
    return SvgText(quoted + u"'");
}

// A template colour is 0x00BBGGRR; its top byte holds no colour, and the
// value that stands for none has black below it.
std::u16string SvgColor(int32_t color) {
    constexpr char16_t kHex[] = u"0123456789abcdef";
    const auto value = static_cast<uint32_t>(color);
    std::u16string text = u"#";
    for (const int shift : {0, 8, 16}) {
        text += kHex[(value >> (shift + 4)) & 0xF];
        text += kHex[(value >> shift) & 0xF];
    }
    return text;
}

TqlxXMLItem& AddElement(TqlxXMLItem& parent, std::u16string_view name, std::u16string attrText) {
    TqlxXMLItem& element = *parent.AddChild();
    element.Name = name;
    element.AttrText = std::move(attrText);
    return element;
}

const TqlxXMLItem* FirstChildNamed(const TqlxXMLItem* parent, std::u16string_view name) {
    if (parent == nullptr) return nullptr;
    const int32_t index = parent->IndexOfName(name);
    return index < 0 ? nullptr : parent->Child(index);
}

std::u16string PictureAttributes(long double paperWidth, long double paperHeight) {
    const std::u16string viewBox = u"0 0 " + FloatToStr(paperWidth * PixelsPerMillimetre, kSvgNumbers) + u" " +
                             FloatToStr(paperHeight * PixelsPerMillimetre, kSvgNumbers);
    return TAttrText(kSvgNumbers)
        .Add(u"xmlns", u"http://www.w3.org/2000/svg")
        .Add(u"version", u"1.1")
        .Real(u"width", paperWidth * kPicturePixelsPerMillimetre)
        .Real(u"height", paperHeight * kPicturePixelsPerMillimetre)
        .Add(u"viewBox", viewBox)
        .Add(u"xml:space", u"preserve")
        .Text();
}

// The paper, white whatever the viewer shows behind it.
void DrawPaper(TqlxXMLItem& svg, long double paperWidth, long double paperHeight) {
    AddElement(svg, u"rect",
               TAttrText(kSvgNumbers)
                   .Real(u"width", paperWidth * PixelsPerMillimetre)
                   .Real(u"height", paperHeight * PixelsPerMillimetre)
                   .Add(u"fill", u"white")
                   .Text());
}

void DrawText(TqlxXMLItem& svg, const TqlxXMLItem& memo, long double bandTop) {
    const TPlacement box = ReadPlacement(memo, bandTop);
    const std::optional<int32_t> fontHeight = TryStrToInt(memo.GetRawAttr(u"Font.Height"));
    if (!box.Readable() || !fontHeight) return;
    AddElement(svg, u"rect",
               TAttrText(kSvgNumbers)
                   .Real(u"x", std::min(box.Left, box.Left + box.Width))
                   .Real(u"y", std::min(box.Top, box.Top + box.Height))
                   .Real(u"width", std::fabs(box.Width))
                   .Real(u"height", std::fabs(box.Height))
                   .Add(u"fill", u"none")
                   .Add(u"stroke", kBoxOutline)
                   .Real(u"stroke-width", kBoxOutlineWidth)
                   .Text());
    const long double fontSize = std::fabs(static_cast<long double>(*fontHeight));
    const int32_t style = ReadInteger(memo, u"Font.Style");
    TAttrText text(kSvgNumbers);
    text.Real(u"x", box.Left + kTextInset).Real(u"y", box.Top + kTextInset + kAscent * fontSize);
    text.Add(u"font-family", FontFamily(memo.GetAttr(u"Font.Name"))).Real(u"font-size", fontSize);
    if (style & kBold) text.Add(u"font-weight", u"bold");
    if (style & kItalic) text.Add(u"font-style", u"italic");
    text.Add(u"fill", SvgColor(ReadInteger(memo, u"Font.Color")));
    AddElement(svg, u"text", text.Text()).Content = SvgText(memo.GetAttr(u"Text"));
}

void DrawLine(TqlxXMLItem& svg, const TqlxXMLItem& line, long double bandTop) {
    const TPlacement extent = ReadPlacement(line, bandTop);
    if (!extent.Readable()) return;
    AddElement(svg, u"line",
               TAttrText(kSvgNumbers)
                   .Real(u"x1", extent.Left)
                   .Real(u"y1", extent.Top)
                   .Real(u"x2", extent.Left + extent.Width)
                   .Real(u"y2", extent.Top + extent.Height)
                   .Add(u"stroke", SvgColor(ReadInteger(line, u"Frame.Color")))
                   .Text());
}

std::unique_ptr<TqlxXMLDocument> ReadTemplate(const std::u16string& templateName) {
    // Room for the objects of the largest page a conversion writes, and more.
    constexpr int64_t kMaxElements = 1 << 20;
    auto document = std::make_unique<TqlxXMLDocument>();
    document->MaxElements = kMaxElements;
    TFileStream file(templateName, fmOpenRead | fmShareDenyWrite);
    document->LoadFromStream(file, false);
    return document;
}

}  // namespace

ETemplateFormatError::ETemplateFormatError()
    : Exception(u"ETemplateFormatError", u"The file is no report template") {}

TTemplatePicture::TTemplatePicture(const std::u16string& templateName) : TTemplatePicture(*ReadTemplate(templateName)) {}

TTemplatePicture::TTemplatePicture(const TqlxXMLDocument& templateDocument)
    : svg_(std::make_unique<TqlxXMLDocument>()) {
    Draw(templateDocument);
}

TTemplatePicture::~TTemplatePicture() = default;

void TTemplatePicture::Draw(const TqlxXMLDocument& templateDocument) {
    const TqlxXMLItem* page = FirstChildNamed(templateDocument.Root(), u"TqlxReportPage");
    const TqlxXMLItem* band = FirstChildNamed(page, u"TqlxReportTitle");
    if (band == nullptr) throw ETemplateFormatError();
    const long double paperWidth = ReadReal(*page, u"PaperWidth");
    const long double paperHeight = ReadReal(*page, u"PaperHeight");
    const long double bandTop = ReadReal(*band, u"Top");
    if (std::isnan(paperWidth + paperHeight + bandTop)) throw ETemplateFormatError();
    TqlxXMLItem& svg = *svg_->Root();
    svg.Name = u"svg";
    svg.AttrText = PictureAttributes(paperWidth, paperHeight);
    DrawPaper(svg, paperWidth, paperHeight);
    for (int32_t i = 0; i < band->ChildCount(); ++i) {
        const TqlxXMLItem& object = *band->Child(i);
        if (object.Name == u"TqlxMemoView") {
            ++textCount_;
            DrawText(svg, object, bandTop);
        } else if (object.Name == u"TqlxLineView") {
            ++lineCount_;
            DrawLine(svg, object, bandTop);
        }
    }
}

std::string TTemplatePicture::Svg() const {
    TMemoryStream stream;
    svg_->SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

void TTemplatePicture::SaveToFile(const std::u16string& pictureName) const { svg_->WriteToFile(pictureName); }

std::u16string PictureName(const std::u16string& templateName) {
    const size_t delimiter = templateName.find_last_of(u"./");
    const bool extended = delimiter != std::u16string::npos && templateName[delimiter] == u'.';
    return templateName.substr(0, extended ? delimiter : templateName.size()) + u".svg";
}
