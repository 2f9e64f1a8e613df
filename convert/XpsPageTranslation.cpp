#include <cmath>
#include <filesystem>
#include <limits>
#include <string_view>

#include "convert/XpsPageWalker.h"
#include "convert/XpsConverter.h"
#include "convert/XpsValues.h"
#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/NumberFormat.h"
#include "platform/Streams.h"
#include "template/crtqlt.h"
#include "xml/qlxXML.h"

namespace {

constexpr char16_t kDefaultFontName[] = u"Arial";
constexpr uint8_t kTextCharset = 204;
// Office suites draw underlines and table rules as filled rectangles this thin.
constexpr long double kRuleThickness = 3;

// The text of UnicodeString and Data: the attribute's raw bytes, which the
// legacy-mode reader kept one character per byte, decoded as UTF-8 and then
// unescaped once.
std::u16string ReadTextAttr(const TqlxXMLItem& item, std::u16string_view name) {
    return XpsUnescape(RawXpsText(item, name, true));
}

long double ReadNumberAttr(const TqlxXMLItem& item, std::u16string_view name) {
    return XpsStrToFloat(item.GetAttr(name));
}

// Every object costs the template a few hundred bytes in memory and on disk.
void CheckObjectRoom(const TqlxRepDoc& repDoc, int32_t maxObjects) {
    if (repDoc.MemoCount() + repDoc.LineCount() >= maxObjects)
        throw EXpsLimitError(u"The page makes more than " + IntToStr(maxObjects) + u" objects");
}

// The template's reader holds its numbers as doubles: a page whose numbers
// leave their range would give a template of "INF" or of numbers no reader takes.
void CheckTemplateNumber(long double value) {
    if (!(std::fabs(value) <= std::numeric_limits<double>::max()))
        throw EConvertError(u"'" + FloatToStr(value, XpsFormatSettings()) + u"' is too large for a template");
}

// What becomes a text object.
struct TTextRun {
    TXpsPoint Origin;
    int32_t Color = 0;
    std::u16string Text;
    long double EmSize = 0;
    // Read with the fonts of the document only.
    std::u16string FontUri;
    std::u16string StyleSimulations;
};

using TPathPoint = TXpsPoint;

std::u16string_view FirstToken(std::u16string_view data) { return data.substr(0, data.find(u' ')); }

void DropFirstToken(std::u16string_view& data) {
    const size_t blank = data.find(u' ');
    data = blank == std::u16string_view::npos ? std::u16string_view() : data.substr(blank + 1);
}

void DropChars(std::u16string_view& data, size_t count) { data.remove_prefix(std::min(count, data.size())); }

// A token without "," has an empty x part, which fails as a number.
TPathPoint ReadPoint(std::u16string_view token) {
    const size_t comma = token.find(u',');
    const bool hasComma = comma != std::u16string_view::npos;
    const std::u16string_view x = hasComma ? token.substr(0, comma) : std::u16string_view();
    const std::u16string_view y = hasComma ? token.substr(comma + 1) : token;
    return {XpsStrToFloat(x), XpsStrToFloat(y)};
}

// Abbreviated path data after its fill-rule prefix: "M" starts a figure, "L"
// a point list that runs to its end or to a closing "z". Anything else at
// the start of a pass (curves, arcs, relative commands) ends the path there,
// keeping the lines made so far.
template <typename AddLine>
void AddPathLines(std::u16string_view data, AddLine addLine) {
    DropChars(data, 3);
    TPathPoint start, current;
    while (!data.empty()) {
        if (data.front() != u'M' && data.front() != u'L') return;
        if (data.front() == u'M') {
            DropChars(data, 2);
            start = ReadPoint(FirstToken(data));
            current = start;
            DropFirstToken(data);
        }
        if (data.empty() || data.front() != u'L') continue;
        DropChars(data, 2);
        bool closed = false;
        while (!data.empty() && !closed) {
            const std::u16string_view token = FirstToken(data);
            closed = token.starts_with(u'z');
            const TPathPoint next = closed ? start : ReadPoint(token);
            addLine(TXpsLine{{current.X, current.Y}, {next.X, next.Y}});
            current = next;
            DropFirstToken(data);
        }
    }
}

// The extension of an image part name: from its last "." unless a "\\" or ":"
// comes after it; the "/" of a part name does not end it.
std::u16string ImageExtension(const std::u16string& name) {
    const size_t last = name.find_last_of(u".\\:");
    return last != std::u16string::npos && name[last] == u'.' ? name.substr(last) : std::u16string();
}

}  // namespace

// One page on its way into a template: what the walk finds becomes its objects.
class TXpsConverter::TPageTranslation : public IXpsPageVisitor {
public:
    TPageTranslation(TXpsConverter& converter, TqlxRepDoc& repDoc, const std::u16string& pageName)
        : converter_(converter), repDoc_(repDoc), pageName_(pageName) {}

    void VisitGlyphs(const TqlxXMLItem& glyphs, const TXpsScope& scope) override {
        TTextRun run = converter_.Nested ? ReadNestedGlyphs(glyphs, scope) : ReadFlatGlyphs(glyphs);
        if (converter_.DocumentFonts) {
            run.FontUri = RawXpsText(glyphs, u"FontUri", true);
            run.StyleSimulations = glyphs.GetAttr(u"StyleSimulations");
        }
        AddText(run);
    }

    void VisitPath(const TqlxXMLItem& path, const TXpsScope& scope) override {
        if (converter_.Nested) AddNestedPath(path, scope);
        else AddFlatPath(path);
        converter_.ReportImageBrushes(path, pageName_);
    }

private:
    TTextRun ReadFlatGlyphs(const TqlxXMLItem& glyphs) {
        TTextRun run;
        run.Origin = {ReadNumberAttr(glyphs, u"OriginX"), ReadNumberAttr(glyphs, u"OriginY")};
        run.Color = XpsColorToColor(glyphs.GetAttr(u"Fill"));
        run.Text = ReadText(glyphs);
        run.EmSize = ReadNumberAttr(glyphs, u"FontRenderingEmSize");
        return run;
    }

    // The origin and the em size go through the run's transforms; the "{}"
    // that escapes a text starting with a brace is no part of it.
    TTextRun ReadNestedGlyphs(const TqlxXMLItem& glyphs, const TXpsScope& scope) {
        TTextRun run;
        const TXpsMatrix transform = scope.TotalTransformOf(glyphs);
        run.Origin = transform.Map({ReadNumberAttr(glyphs, u"OriginX"), ReadNumberAttr(glyphs, u"OriginY")});
        const TXpsBrush fill = scope.BrushOf(glyphs, u"Fill");
        run.Color = fill.Present ? fill.Color : XpsColorToColor(u"");
        run.Text = ReadText(glyphs);
        if (run.Text.starts_with(u"{}")) run.Text.erase(0, 2);
        run.EmSize = ReadNumberAttr(glyphs, u"FontRenderingEmSize") * transform.VerticalScale();
        return run;
    }

    // Measuring keeps every line of a text twice: a run of millions of line
    // breaks would take gigabytes.
    std::u16string ReadText(const TqlxXMLItem& glyphs) const {
        std::u16string text = ReadTextAttr(glyphs, u"UnicodeString");
        const int32_t maxCharacters = converter_.Limits.TextCharacters;
        if (text.size() > size_t(maxCharacters))
            throw EXpsLimitError(u"The text run is longer than " + IntToStr(maxCharacters) + u" characters");
        return text;
    }

    void AddText(const TTextRun& run) {
        const std::u16string chosenName = converter_.fontNames_.FontName();
        font_.Charset = kTextCharset;
        font_.Color = run.Color;
        font_.Height = -RoundEmSize(run.EmSize);
        font_.Name = chosenName.empty() ? kDefaultFontName : chosenName;
        font_.Style = 0;
        font_.FaceData = nullptr;
        font_.FaceIndex = 0;
        if (!run.FontUri.empty()) UseDocumentFont(run);
        CheckTemplateNumber(run.Origin.X);
        CheckTemplateNumber(run.Origin.Y);
        CheckObjectRoom(repDoc_, converter_.Limits.PageObjects);
        repDoc_.AddMemo(font_, Utf16ToUtf8(run.Text), run.Origin.X, run.Origin.Y);
    }

    void UseDocumentFont(const TTextRun& run) {
        const TXpsDocumentFont* face = converter_.fontParts_.Find(run.FontUri, pageName_);
        if (face == nullptr) return;
        font_.Name = face->Family;
        font_.Style = face->Style | SimulatedStyles(run.StyleSimulations);
        font_.FaceData = face->Data;
        font_.FaceIndex = face->FaceIndex;
    }

    void AddFlatPath(const TqlxXMLItem& path) {
        const std::u16string data = ReadTextAttr(path, u"Data");
        if (path.HasAttr(u"Fill")) {
            // A filled outline draws no lines, but a malformed colour still fails the page.
            XpsColorToColor(path.GetAttr(u"Fill"));
            return;
        }
        const int32_t stroke = XpsColorToColor(path.GetAttr(u"Stroke"));
        if (data.find(u"F1") != std::u16string::npos)
            AddPathLines(data, [&](const TXpsLine& line) { AddLine(stroke, line); });
    }

    // A stroke draws every straight segment; a solid fill without a stroke
    // draws a thin rectangle as the rule it stands for.
    void AddNestedPath(const TqlxXMLItem& path, const TXpsScope& scope) {
        const TXpsMatrix pathTransform = scope.TotalTransformOf(path);
        const TXpsBrush stroke = scope.BrushOf(path, u"Stroke");
        const TXpsBrush fill = scope.BrushOf(path, u"Fill");
        TXpsMatrix geometryTransform;
        const TXpsGeometry geometry = scope.GeometryOf(path, geometryTransform);
        const TXpsMatrix transform = geometryTransform.Then(pathTransform);
        if (stroke.Present) {
            for (const TXpsLine& line : StraightLines(geometry, transform)) AddLine(stroke.Color, line);
        } else if (fill.Solid) {
            if (const auto rule = ThinRectangleCentreLine(geometry, transform, kRuleThickness)) AddLine(fill.Color, *rule);
        }
    }

    void AddLine(int32_t color, const TXpsLine& line) {
        for (const long double value : {line.From.X, line.From.Y, line.To.X - line.From.X, line.To.Y - line.From.Y})
            CheckTemplateNumber(value);
        CheckObjectRoom(repDoc_, converter_.Limits.PageObjects);
        repDoc_.AddLine(color, line.From.X, line.To.X, line.From.Y, line.To.Y);
    }

    TXpsConverter& converter_;
    TqlxRepDoc& repDoc_;
    const std::u16string& pageName_;
    TFont font_;
};

bool TXpsConverter::ConvertFixedPage(TMemoryStream& pageStream, const std::u16string& outName,
                                     const std::u16string& pageName) {
    try {
        TranslatePage(pageStream, outName, pageName);
        return true;
    } catch (...) {
        const TErrorDescription error = DescribeCurrentError();
        LogPageError(error.ClassName, error.Message);
        return false;
    }
}

void TXpsConverter::TranslatePage(TMemoryStream& pageStream, const std::u16string& outName,
                                  const std::u16string& pageName) {
    pageTemplateBytes_ = 0;
    pageSkippedNested_ = false;
    TqlxXMLDocument page;
    LoadMarkup(pageName, pageStream, page, true);
    const TqlxXMLItem& root = *page.Root();
    if (root.Name != u"FixedPage") return;
    const long double width = ReadNumberAttr(root, u"Width");
    const long double height = ReadNumberAttr(root, u"Height");
    CheckTemplateNumber(width);
    CheckTemplateNumber(height);
    TqlxRepDoc repDoc(outName);
    repDoc.AddPage(width, height);
    TPageTranslation translation(*this, repDoc, pageName);
    pageSkippedNested_ = WalkFixedPage(root, Nested, translation);
    repDoc.SaveTemplate();
    std::error_code unknown;
    const uintmax_t written = std::filesystem::file_size(NativePath(repDoc.FileName()), unknown);
    pageTemplateBytes_ = unknown ? 0 : static_cast<int64_t>(written);
}

// Images put nothing into the template: each image brush of the path's fill
// is named in the log and read through, so a missing or damaged image still
// fails its page.
void TXpsConverter::ReportImageBrushes(const TqlxXMLItem& path, const std::u16string& pageName) {
    ForEachChildNamed(path, u"Path.Fill", [&](const TqlxXMLItem& fill, int32_t) {
        ForEachChildNamed(fill, u"ImageBrush", [&](const TqlxXMLItem& brush, int32_t) {
            const std::u16string name = PartNameFromSource(RawXpsText(brush, u"ImageSource", true), pageName);
            log_.Append(ImageExtension(name) + u": " + name);
            ExtractPart(name, nullptr);
        });
    });
}

void TXpsConverter::LogPageError(const std::u16string& className, const std::u16string& message) {
    log_.Append(u"-Convert error!!!");
    log_.Append(u"-ClassName: " + className);
    log_.Append(u"-Message: " + message);
}
