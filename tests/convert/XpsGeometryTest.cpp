#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/XpsGeometry.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/NumberFormat.h"
#include "tests/support/TestErrors.h"
#include "xml/qlxXML.h"

namespace {

std::string Text(long double value) { return Utf16ToUtf8(FloatToStr(value)); }

// "x1,y1-x2,y2" for every line the geometry strokes, mapped by transform.
std::vector<std::string> Lines(const TXpsGeometry& geometry, const TXpsMatrix& transform = {}) {
    std::vector<std::string> lines;
    TXpsStraightLines sink(transform, [&](const TXpsLine& line) {
        lines.push_back(Text(line.From.X) + "," + Text(line.From.Y) + "-" + Text(line.To.X) + "," + Text(line.To.Y));
    });
    ReplayGeometry(geometry, sink);
    return lines;
}

std::vector<std::string> DataLines(std::u16string_view data) { return Lines(ReadPathData(data)); }

std::string Rule(std::u16string_view data, const TXpsMatrix& transform = {}) {
    TXpsRectangleCandidate candidate;
    ReadPathData(data, candidate);
    const auto rectangle = candidate.ThinRectangle(transform, 3);
    if (!rectangle) return "none";
    const TXpsLine line = CentreLineOf(*rectangle);
    return Text(line.From.X) + "," + Text(line.From.Y) + "-" + Text(line.To.X) + "," + Text(line.To.Y);
}

TEST(PathData, AbsoluteAndRelativeCommandsAndTheirRepeats) {
    using TLines = std::vector<std::string>;
    EXPECT_EQ(DataLines(u"F1 M 10,10 L 20,10 20,20 z"), (TLines{"10,10-20,10", "20,10-20,20", "20,20-10,10"}));
    EXPECT_EQ(DataLines(u"M10,10l5,0 0,5-5,0Z"), (TLines{"10,10-15,10", "15,10-15,15", "15,15-10,15", "10,15-10,10"}));
    // Pairs after a move draw lines, relative ones after a relative move.
    EXPECT_EQ(DataLines(u"m 1,1 2,0 0,2 M 0,0 5,5"), (TLines{"1,1-3,1", "3,1-3,3", "0,0-5,5"}));
    EXPECT_EQ(DataLines(u"M 0,0 H 10 V 5 h -2 v 1.5e1"), (TLines{"0,0-10,0", "10,0-10,5", "10,5-8,5", "8,5-8,20"}));
    // Curves and arcs draw nothing but move the point, and a closed figure
    // goes on from its start.
    EXPECT_EQ(DataLines(u"M 0,0 C 1,1 2,2 10,0 L 10,10 Q 1,1 20,10 S 1,1 30,10 T 40,10 A 5,5 0 1 0 50,10 l 0,1"),
              (TLines{"10,0-10,10", "50,10-50,11"}));
    EXPECT_EQ(DataLines(u"M 0,0 c 1,1 2,2 10,0 t 5,5 s 1,1 5,5 a 1,1 0 0 1 5,5 l 0,1"), (TLines{"25,15-25,16"}));
    EXPECT_EQ(DataLines(u"M 5,5 L 10,5 Z L 5,10"), (TLines{"5,5-10,5", "10,5-5,5", "5,5-5,10"}));
    // Lines of no length are left out; unknown letters or a short group end the path.
    EXPECT_EQ(DataLines(u"M 1,1 L 1,1 2,2 z"), (TLines{"1,1-2,2", "2,2-1,1"}));
    EXPECT_EQ(DataLines(u"M 0,0 L 1,0 X 5,5 L 9,9"), (TLines{"0,0-1,0"}));
    EXPECT_EQ(DataLines(u"M 0,0 L 1,0 2"), (TLines{"0,0-1,0"}));
    EXPECT_EQ(DataLines(u"F0 M 0,0 L 1e+,2"), (TLines{}));
    EXPECT_EQ(ErrorRaisedBy<EConvertError>([] { ReadPathData(u"M 0,0 L 1e5000,2"); }).Message,
              u"'1e5000' is not a valid floating point value");
}

TEST(PathData, TransformsMapBothEnds) {
    const TXpsMatrix scale{2, 0, 0, 3, 10, 20};
    const TXpsMatrix swap{0, 1, -1, 0, 0, 0};
    EXPECT_EQ(Lines(ReadPathData(u"M 1,1 L 2,1"), scale), std::vector<std::string>{"12,23-14,23"});
    // The first transform applies first: (1,1) scales to (12,23), then turns to (-23,12).
    EXPECT_EQ(Lines(ReadPathData(u"M 1,1 L 2,1"), scale.Then(swap)), std::vector<std::string>{"-23,12--23,14"});
    EXPECT_EQ(Text(TXpsMatrix{0, 2, -3, 0, 0, 0}.VerticalScale()), "3");
}

TEST(Matrix, SixNumbersSeparatedByCommasOrBlanks) {
    const TXpsMatrix m = ReadMatrix(u" 1.5, 0 0,\t2 , -3 4e1 ");
    EXPECT_EQ(Text(m.M11) + " " + Text(m.M22) + " " + Text(m.DX) + " " + Text(m.DY), "1.5 2 -3 40");
    for (const std::u16string bad : {u"1,0,0,1,0", u"1,0,0,1,0,0,7", u"1,0,0,1,0,x"})
        EXPECT_EQ(ErrorRaisedBy<EConvertError>([&] { ReadMatrix(bad); }).Message,
                  u"'" + bad + u"' is not a valid floating point value");
}

TEST(PathFigures, SegmentsClosingAndUnstrokedParts) {
    TqlxXMLItem geometry;
    TqlxXMLItem* figure = geometry.AddChild();
    figure->Name = u"PathFigure";
    figure->AttrText = u"StartPoint=\"0,0\" IsClosed=\"true\"";
    const auto segment = [&](const char16_t* name, const char16_t* attributes) {
        TqlxXMLItem* item = figure->AddChild();
        item->Name = name;
        item->AttrText = attributes;
    };
    segment(u"PolyLineSegment", u"Points=\"10,0 10,10\"");
    segment(u"ArcSegment", u"Point=\"20,10\" Size=\"5,5\"");
    segment(u"PolyLineSegment", u"Points=\"20,20\" IsStroked=\"false\"");
    segment(u"PolyBezierSegment", u"Points=\"1,1 2,2 30,20\"");
    segment(u"PolyQuadraticBezierSegment", u"Points=\"1,1 30,30\"");
    EXPECT_EQ(Lines(ReadPathFigures(geometry)), (std::vector<std::string>{"0,0-10,0", "10,0-10,10", "30,30-0,0"}));
    figure->AttrText = u"StartPoint=\"0\"";
    EXPECT_EQ(ErrorRaisedBy<EConvertError>([&] { ReadPathFigures(geometry); }).Message,
              u"'0' is not a valid floating point value");
}

TEST(ThinRectangles, BecomeTheirCentreLine) {
    EXPECT_EQ(Rule(u"M 10,20 L 110,20 110,22 10,22 Z"), "10,21-110,21");
    EXPECT_EQ(Rule(u"M 10,20 L 13,20 13,120 10,120 10,20"), "11.5,20-11.5,120");
    EXPECT_EQ(Rule(u"M 0,0 L 3,0 3,3 0,3 z"), "0,1.5-3,1.5");
    // The thickness counts after the transform.
    EXPECT_EQ(Rule(u"M 0,0 H 100 V 2 H 0 Z", {1.5, 0, 0, 1.5, 0, 0}), "0,1.5-150,1.5");
    EXPECT_EQ(Rule(u"M 0,0 H 100 V 2 H 0 Z", {2, 0, 0, 2, 0, 0}), "none");
    EXPECT_EQ(Rule(u"M 0,0 L 3,0 0,100 3,100 Z"), "none");      // crossed sides
    EXPECT_EQ(Rule(u"M 0,0 L 50,0 100,0 100,2 0,2 Z"), "none");  // five corners
    EXPECT_EQ(Rule(u"M 0,0 L 100,0 100,2 0,2 Z M 0,10 L 100,10 100,12 0,12 Z"), "none");
    EXPECT_EQ(Rule(u"M 0,0 L 100,0 Q 1,1 100,2 L 0,2 Z"), "none");
    EXPECT_EQ(Rule(u"M 0,0 L 100,0 100,2 0,2 Z", {0.7L, 0.7L, -0.7L, 0.7L, 0, 0}), "none");  // turned
}

}  // namespace
