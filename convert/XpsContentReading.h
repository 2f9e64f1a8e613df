#pragma once

// What a page's content becomes in each mode, decided here and nowhere else.
// The default reading takes the page's own Glyphs and Paths as written: the
// origin as it stands, the colour of the Fill attribute, and lines only from
// the stroked "F1" path data of a path without a fill. The nested reading
// walks into canvases, maps every run and line through its transforms and
// resources, reads every form of geometry and takes thin filled rectangles
// for the rules they stand for; it also reads sequence and document parts
// that lack an XML declaration, and finds a sequence of another name
// through the package relationships.

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/XpsGeometry.h"

class TqlxXMLItem;
class TXpsPartTrees;
struct TXpsLimits;

// A text run as a text object takes it.
struct TXpsTextRun {
    const TqlxXMLItem* Glyphs = nullptr;  // the element it comes from
    TXpsMatrix Transform;                 // maps the run's own coordinates to the page
    TXpsPoint Origin;                     // on the page
    int32_t Color = 0;
    std::u16string Text;
    // The "{}" escape the default mode keeps at the start of Text, which no glyph draws.
    size_t EscapeLength = 0;
    long double EmSize = 0;  // on the page

    std::u16string_view DrawnText() const { return std::u16string_view(Text).substr(EscapeLength); }
};

// Where a reading puts what it finds, in document order.
class IXpsContentSink {
public:
    virtual ~IXpsContentSink() = default;
    virtual void AddText(const TXpsTextRun& run) = 0;
    virtual void AddLine(int32_t color, const TXpsLine& line) = 0;
    // A filled rectangle thin enough to stand for a rule: the line along its
    // centre, unless a stage that sees the whole page decides otherwise.
    virtual void AddRectangle(int32_t color, const TXpsRect& rectangle) { AddLine(color, CentreLineOf(rectangle)); }
    // After the lines of a path: what else its element brings (image brushes).
    virtual void PathDone(const TqlxXMLItem& path) = 0;
};

// What a reading draws on besides the page.
struct TXpsPageSources {
    std::u16string_view PageName;  // the page's part name, against which its references resolve
    TXpsPartTrees* Parts;          // the parts the run has parsed for its pages
    const TXpsLimits& Limits;
};

class TXpsContentReading {
public:
    static const TXpsContentReading& Default();
    static const TXpsContentReading& Nested();

    virtual ~TXpsContentReading() = default;

    // Hands the page's content to sink; true when content inside canvases
    // was left behind.
    virtual bool ReadPage(const TqlxXMLItem& page, const TXpsPageSources& sources, IXpsContentSink& sink) const = 0;
    // Sequence and document parts without a declaration are read as pages
    // are; otherwise they fail as the reader finds them.
    virtual bool ReadsUndeclaredParts() const = 0;
    // The sequence is taken by its names at the root of the package only,
    // else through the package relationships; otherwise wherever a search
    // finds either name.
    virtual bool FindsSequenceAtRoot() const = 0;
};
