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

// Abbreviated path syntax: an optional fill rule, then the commands M L H V Z
// C Q S T A in either case, relative in lower case. A malformed number raises
// EConvertError; any other text the syntax does not allow ends the geometry
// there, keeping what came before.
TXpsGeometry ReadPathData(std::u16string_view data);
// A PathGeometry's PathFigure children with their poly-line, arc and Bézier
// segments; a segment with IsStroked="false" draws no line.
TXpsGeometry ReadPathFigures(const TqlxXMLItem& pathGeometry);

struct TXpsLine {
    TXpsPoint From;
    TXpsPoint To;
};

// Takes the lines of a path one at a time, so that a path of millions of
// segments never stands in memory as lines.
using TXpsLineSink = std::function<void(const TXpsLine& line)>;

// Every straight step of the geometry and every closing line, both ends
// mapped, in order; lines whose mapped ends are one place are left out.
void ForEachStraightLine(const TXpsGeometry& geometry, const TXpsMatrix& transform, const TXpsLineSink& sink);

// The default mode's path data: only data holding "F1" draws. Its first
// three characters are dropped, then "M x,y" starts a figure and "L" a list
// of points up to a closing "z", tokens cut at single blanks, case
// sensitive; each point is one line, one of no length too. Anything else at
// the start of a pass ends the path, keeping its lines; a token that is no
// "x,y" pair raises EConvertError.
void ForEachDefaultPathLine(std::u16string_view data, const TXpsLineSink& sink);
// A geometry of one figure of straight steps through four corners that maps
// to an axis-aligned rectangle no thicker than maxThickness: its centre line
// along the longer side.
std::optional<TXpsLine> ThinRectangleCentreLine(const TXpsGeometry& geometry, const TXpsMatrix& transform,
                                                long double maxThickness);
