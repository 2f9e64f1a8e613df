#pragma once

// The geometry of XPS paths: affine transforms, figures read from the
// abbreviated path syntax or from PathFigure elements, and what a template
// can show of them, which is straight lines. Curves and arcs only move the
// current point to their end. The default mode reads path data its own,
// narrower way, which stands here beside the full syntax.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

class TqlxXMLItem;

struct TXpsPoint {
    long double X = 0;
    long double Y = 0;

    bool operator==(const TXpsPoint&) const = default;
};

// x' = M11 x + M21 y + DX, y' = M12 x + M22 y + DY.
struct TXpsMatrix {
    long double M11 = 1, M12 = 0, M21 = 0, M22 = 1, DX = 0, DY = 0;

    TXpsPoint Map(TXpsPoint point) const;
    // This transform, then outer.
    TXpsMatrix Then(const TXpsMatrix& outer) const;
    // How long the vertical unit becomes: the scale of a font's em.
    long double VerticalScale() const;
};

// Six XPS numbers separated by commas and/or blanks; raises EConvertError otherwise.
TXpsMatrix ReadMatrix(std::u16string_view text);

struct TXpsRect {
    long double Left = 0, Top = 0, Right = 0, Bottom = 0;

    long double Width() const { return Right - Left; }
    long double Height() const { return Bottom - Top; }
};

// "x,y,width,height" as four numbers like ReadMatrix's.
TXpsRect ReadRect(std::u16string_view text);

// One figure: where it starts and where each of its steps ends, with whether
// the step is a straight line.
struct TXpsFigure {
    struct TStep {
        TXpsPoint End;
        bool Straight = false;
        bool Stroked = true;
    };
    TXpsPoint Start;
    std::vector<TStep> Steps;
    bool Closed = false;  // a straight line runs back to Start
};

using TXpsGeometry = std::vector<TXpsFigure>;

// Where the figures of a geometry go as they are read: a path of millions of
// segments need never stand in memory, neither as figures nor as lines.
class IXpsFigureSink {
public:
    virtual ~IXpsFigureSink() = default;
    virtual void StartFigure(TXpsPoint start) = 0;
    virtual void AddStep(const TXpsFigure::TStep& step) = 0;
    virtual void CloseFigure() = 0;
};

// Abbreviated path syntax: an optional fill rule, then the commands M L H V Z
// C Q S T A in either case, relative in lower case. A malformed number raises
// EConvertError; any other text the syntax does not allow ends the geometry
// there, keeping what came before.
void ReadPathData(std::u16string_view data, IXpsFigureSink& sink);
TXpsGeometry ReadPathData(std::u16string_view data);
// A PathGeometry's PathFigure children with their poly-line, arc and Bézier
// segments; a segment with IsStroked="false" draws no line.
void ReadPathFigures(const TqlxXMLItem& pathGeometry, IXpsFigureSink& sink);
TXpsGeometry ReadPathFigures(const TqlxXMLItem& pathGeometry);
// Hands figures read before to sink, as reading them did.
void ReplayGeometry(const TXpsGeometry& geometry, IXpsFigureSink& sink);

struct TXpsLine {
    TXpsPoint From;
    TXpsPoint To;
};

using TXpsLineSink = std::function<void(const TXpsLine& line)>;

// Passes on every straight, stroked step of the figures it gets and every
// closing line, both ends mapped, in order; lines whose mapped ends are one
// place are left out.
class TXpsStraightLines : public IXpsFigureSink {
public:
    TXpsStraightLines(const TXpsMatrix& transform, TXpsLineSink sink) : transform_(transform), sink_(std::move(sink)) {}

    void StartFigure(TXpsPoint start) override;
    void AddStep(const TXpsFigure::TStep& step) override;
    void CloseFigure() override;

private:
    void Add(TXpsPoint from, TXpsPoint to) const;

    TXpsMatrix transform_;
    TXpsLineSink sink_;
    TXpsPoint start_;
    TXpsPoint current_;
};

// The default mode's path data: only data holding "F1" draws. Its first
// three characters are dropped, then "M x,y" starts a figure and "L" a list
// of points up to a closing "z", tokens cut at single blanks, case
// sensitive; each point is one line, one of no length too. Anything else at
// the start of a pass ends the path, keeping its lines; a token that is no
// "x,y" pair raises EConvertError.
void ForEachDefaultPathLine(std::u16string_view data, const TXpsLineSink& sink);
// The smallest rectangle holding every point a figure starts at or steps
// to, mapped; nothing for a geometry without figures.
class TXpsBounds : public IXpsFigureSink {
public:
    explicit TXpsBounds(const TXpsMatrix& transform) : transform_(transform) {}

    void StartFigure(TXpsPoint start) override { Add(start); }
    void AddStep(const TXpsFigure::TStep& step) override { Add(step.End); }
    void CloseFigure() override {}

    const std::optional<TXpsRect>& Bounds() const { return bounds_; }

private:
    void Add(TXpsPoint point);

    TXpsMatrix transform_;
    std::optional<TXpsRect> bounds_;
};

// The rule a thin rectangle stands for: its centre line along the longer side.
TXpsLine CentreLineOf(const TXpsRect& rectangle);

// Keeps what of the figures it gets can still be a thin rectangle: the one
// figure that draws, as long as it has no more steps than a rectangle. It is
// one when its straight steps go through four corners of an axis-aligned
// rectangle, mapped, no thicker than maxThickness.
class TXpsRectangleCandidate : public IXpsFigureSink {
public:
    void StartFigure(TXpsPoint start) override;
    void AddStep(const TXpsFigure::TStep& step) override;
    void CloseFigure() override {}

    std::optional<TXpsRect> ThinRectangle(const TXpsMatrix& transform, long double maxThickness) const;

private:
    TXpsFigure figure_;          // the figure being read, or the one that drew
    bool drawn_ = false;         // figure_ has a step
    bool laterFigure_ = false;   // a figure started after the one that drew
    bool impossible_ = false;    // a second figure drew, or one drew too many steps
};
