#pragma once

// Thin filled rectangles stand for rules, unless they stand in rows: some
// writers draw every glyph and picture as rows of filled rectangles a pixel
// high. A thin rectangle that touches another of the same colour and
// direction directly above or below it (beside it, for upright ones), at
// most a pixel apart and overlapping along their length, belongs to a
// picture and gives no line; any other gives the line along its centre.
//
// Whether a rectangle has such a neighbour is known only once the whole page
// is read. So from the first thin rectangle on, this stage holds everything
// the reading hands on and releases it at the end, in order, with the
// rectangles decided: every object keeps the place and number it would have
// had without the stage. It stands after the joining of text lines, so each
// text it holds is one object, as each line is but those in the colour the
// template builder leaves out. Once it holds more of them than a page may
// make objects, the page cannot convert: it releases what it holds, so the
// page fails at its turn, and hands every later rectangle on as a rule.

#include <cstdint>
#include <utility>
#include <vector>

#include "convert/XpsContentReading.h"

class TXpsThinRectangles : public IXpsContentSink {
public:
    TXpsThinRectangles(IXpsContentSink& next, int32_t maxObjects) : next_(next), maxObjects_(maxObjects) {}

    void AddText(const TXpsTextRun& run) override;
    void AddLine(int32_t color, const TXpsLine& line) override;
    void AddRectangle(int32_t color, const TXpsRect& rectangle) override;
    void PathDone(const TqlxXMLItem& path) override;
    // Decides the rectangles held and hands on everything held, in order.
    void Release();

private:
    enum class TKind : uint8_t { Text, Line, Path, Rectangle };
    struct TColoured {
        int32_t Color;
        TXpsLine Line;
    };
    struct TRectangle {
        int32_t Color;
        TXpsRect Rect;
    };

    bool Holding() const { return !order_.empty(); }
    void Hold(TKind kind, size_t index);

    IXpsContentSink& next_;
    int32_t maxObjects_;
    int32_t heldObjects_ = 0;
    bool gaveUp_ = false;
    std::vector<std::pair<TKind, size_t>> order_;  // what is held, in the order it came
    std::vector<TXpsTextRun> texts_;
    std::vector<TColoured> lines_;
    std::vector<const TqlxXMLItem*> paths_;
    std::vector<TRectangle> rectangles_;
};
