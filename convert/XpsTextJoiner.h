#pragma once

// Whole lines of text. Office suites and applications cut a line into runs
// of a word or a piece of one; a template made of them is no template anyone
// edits. The joiner stands between a reading and the page translation and
// hands on one text run per line piece that reads as one: a run joins the
// object before it when the walk meets it next among the runs (paths between
// them do not matter), it sits on the same baseline, in the same height,
// colour and font, upright and left to right, and starts about where the
// last run joined ends. That end is the run's origin plus its advance: the
// advances its Indices give, the rest measured in the run's own font part,
// else in the chosen family. A space goes between the texts where the gap
// is a word space and neither side has a blank of its own.
//
// The joiner holds one pending object, the runs joined so far, and hands it
// on at the first run that does not continue it and at the page's end. Lines,
// thin rectangles and paths go straight on, so a line may reach the template
// before the text of the runs that came ahead of it; the numbering of neither
// changes. A run that can join nothing for its numbers (rotated, skewed,
// mirrored, empty, or beyond any page) goes straight on as well, so that whatever
// the translation raises over it is raised at its turn. What is costly to
// find out (the advance, the direction) is found out last, for runs that
// pass every other test.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "convert/XpsContentReading.h"
#include "platform/Graphics.h"

struct TXpsPageContext;

class TXpsTextJoiner : public IXpsContentSink {
public:
    // context.TextLines measures the runs' advances.
    TXpsTextJoiner(IXpsContentSink& next, const TXpsPageContext& context, const std::u16string& pageName);

    void AddText(const TXpsTextRun& run) override;
    void AddLine(int32_t color, const TXpsLine& line) override;
    void AddRectangle(int32_t color, const TXpsRect& rectangle) override;
    void PathDone(const TqlxXMLItem& path) override;
    // Hands on the pending object; at the page's end.
    void Flush();

private:
    // The font two runs must share: without the fonts of the document their
    // FontUri and simulated styles, with them the family and style their
    // objects take.
    struct TRunFont {
        std::u16string_view Name;
        TFontStyles Style = 0;
        bool operator==(const TRunFont&) const = default;
    };

    bool CanJoin(const TXpsTextRun& run) const;
    TRunFont FontOf(const TXpsTextRun& run) const;
    // How far, in ems of the last run, run starts after the last run ends;
    // nothing when it does not continue the pending object.
    std::optional<long double> GapTo(const TXpsTextRun& run, const TRunFont& font) const;
    // Where the run ends on the page, measured along its baseline.
    std::optional<long double> EndOf(const TXpsTextRun& run) const;
    void Append(const TXpsTextRun& run, long double gap);

    IXpsContentSink& next_;
    const TXpsPageContext& context_;
    const std::u16string& pageName_;
    std::optional<TXpsTextRun> pending_;  // the first run, with the text of all joined
    TXpsTextRun last_;                     // the last run joined
    TRunFont lastFont_;
};
