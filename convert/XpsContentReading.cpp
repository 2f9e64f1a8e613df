#include "convert/XpsContentReading.h"

#include "convert/XpsPackage.h"
#include "convert/XpsPageWalker.h"
#include "convert/XpsValues.h"
#include "convert/XpsVisualBrush.h"
#include "platform/Conversions.h"
#include "xml/qlxXML.h"

namespace {

// Office suites draw underlines and table rules as filled rectangles this thin.
constexpr long double kRuleThickness = 3;

// The text of UnicodeString and Data: the attribute's raw bytes, which the
// legacy-mode reader kept one character per byte, decoded as UTF-8 and then
// unescaped once.
std::u16string ReadTextAttr(const TqlxXMLItem& item, std::u16string_view name) {
    return XpsUnescape(RawXpsText(item, name, true));
}

TXpsPoint ReadOrigin(const TqlxXMLItem& glyphs) {
    return {XpsNumberAttr(glyphs, u"OriginX"), XpsNumberAttr(glyphs, u"OriginY")};
}

// The "{}" that escapes a text starting with a brace is kept or dropped.
// Measuring keeps every line of a text twice: a run of millions of line
// breaks would take gigabytes.
std::u16string ReadRunText(const TqlxXMLItem& glyphs, bool keepEscape, int32_t maxCharacters) {
    std::u16string text = ReadTextAttr(glyphs, u"UnicodeString");
    if (!keepEscape && text.starts_with(u"{}")) text.erase(0, 2);
    if (text.size() > size_t(maxCharacters))
        throw EXpsLimitError(u"The text run is longer than " + IntToStr(maxCharacters) + u" characters");
    return text;
}

// Each element goes to the reading's own translation, then to the sink.
template <typename Reading>
class TReadingVisitor : public IXpsPageVisitor {
public:
    TReadingVisitor(IXpsContentSink& sink, const TXpsLimits& limits) : sink_(sink), limits_(limits) {}

    void VisitGlyphs(const TqlxXMLItem& glyphs, const TXpsScope& scope) override {
        sink_.AddText(Reading::ReadRun(glyphs, scope, limits_.TextCharacters));
    }

    TXpsPaintedContent VisitPath(const TqlxXMLItem& path, const TXpsScope& scope) override {
        const TXpsPaintedContent painted = Reading::ReadPath(path, scope, sink_);
        sink_.PathDone(path);
        return painted;
    }

private:
    IXpsContentSink& sink_;
    const TXpsLimits& limits_;
};

class TDefaultReading : public TXpsContentReading {
public:
    bool ReadPage(const TqlxXMLItem& page, const TXpsPageSources& sources, IXpsContentSink& sink) const override {
        TReadingVisitor<TDefaultReading> visitor(sink, sources.Limits);
        return WalkFlatPage(page, visitor);
    }
    bool ReadsUndeclaredParts() const override { return false; }
    bool FindsSequenceAtRoot() const override { return false; }

    static TXpsTextRun ReadRun(const TqlxXMLItem& glyphs, const TXpsScope&, int32_t maxCharacters) {
        TXpsTextRun run;
        run.Glyphs = &glyphs;
        run.Origin = ReadOrigin(glyphs);
        run.Color = XpsColorToColor(glyphs.GetAttr(u"Fill"));
        run.Text = ReadRunText(glyphs, true, maxCharacters);
        run.EscapeLength = run.Text.starts_with(u"{}") ? 2 : 0;
        run.EmSize = XpsNumberAttr(glyphs, u"FontRenderingEmSize");
        return run;
    }

    static TXpsPaintedContent ReadPath(const TqlxXMLItem& path, const TXpsScope&, IXpsContentSink& sink) {
        const std::u16string data = ReadTextAttr(path, u"Data");
        if (path.HasAttr(u"Fill")) {
            // A filled outline draws no lines, but a malformed colour still fails the page.
            XpsColorToColor(path.GetAttr(u"Fill"));
            return {};
        }
        const int32_t stroke = XpsColorToColor(path.GetAttr(u"Stroke"));
        ForEachDefaultPathLine(data, [&](const TXpsLine& line) { sink.AddLine(stroke, line); });
        return {};
    }
};

class TNestedReading : public TXpsContentReading {
public:
    bool ReadPage(const TqlxXMLItem& page, const TXpsPageSources& sources, IXpsContentSink& sink) const override {
        TReadingVisitor<TNestedReading> visitor(sink, sources.Limits);
        WalkNestedPage(page, {sources.PageName, sources.Parts, sources.Limits.PartBytes}, visitor);
        return false;
    }
    bool ReadsUndeclaredParts() const override { return true; }
    bool FindsSequenceAtRoot() const override { return true; }

    // The origin and the em size go through the run's transforms; the "{}"
    // that escapes a text starting with a brace is no part of it.
    static TXpsTextRun ReadRun(const TqlxXMLItem& glyphs, const TXpsScope& scope, int32_t maxCharacters) {
        TXpsTextRun run;
        run.Glyphs = &glyphs;
        run.Transform = scope.TotalTransformOf(glyphs);
        run.Origin = run.Transform.Map(ReadOrigin(glyphs));
        const TXpsBrush fill = scope.BrushOf(glyphs, u"Fill");
        run.Color = fill.Present ? fill.Color : kNoXpsColor;
        run.Text = ReadRunText(glyphs, false, maxCharacters);
        run.EmSize = XpsNumberAttr(glyphs, u"FontRenderingEmSize") * run.Transform.VerticalScale();
        return run;
    }

    // A stroke draws every straight segment; a solid fill without a stroke
    // draws a thin rectangle, which may be a rule. A visual brush paints its visual.
    static TXpsPaintedContent ReadPath(const TqlxXMLItem& path, const TXpsScope& scope, IXpsContentSink& sink) {
        const TXpsMatrix pathTransform = scope.TotalTransformOf(path);
        const TXpsBrush stroke = scope.BrushOf(path, u"Stroke");
        const TXpsBrush fill = scope.BrushOf(path, u"Fill");
        const TXpsPathGeometry geometry = scope.GeometryOf(path);
        const TXpsMatrix transform = geometry.Transform.Then(pathTransform);
        if (stroke.Present) {
            TXpsStraightLines lines(transform, [&](const TXpsLine& line) { sink.AddLine(stroke.Color, line); });
            geometry.Read(lines);
        } else {
            // Read even when nothing is drawn: a malformed geometry fails its page in any case.
            const TXpsRectangleCandidate candidate = geometry.Rectangle();
            const auto rectangle = fill.Solid ? candidate.ThinRectangle(transform, kRuleThickness) : std::nullopt;
            if (rectangle) sink.AddRectangle(fill.Color, *rectangle);
        }
        return fill.Present && !fill.Solid ? VisualFillOf(path, scope, geometry, pathTransform) : TXpsPaintedContent{};
    }
};

}  // namespace

const TXpsContentReading& TXpsContentReading::Default() {
    static const TDefaultReading reading;
    return reading;
}

const TXpsContentReading& TXpsContentReading::Nested() {
    static const TNestedReading reading;
    return reading;
}
