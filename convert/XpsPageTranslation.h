#pragma once

// One fixed page on its way into a template: the reading of the run's mode
// hands over the page's text runs and lines, and they become the template's
// text and line objects, within the run's limits and in the numbers a
// template can hold. Images are named in the log and read through.

#include <cstdint>
#include <functional>
#include <string>

class IXpsLog;
class TqlxXMLItem;
class TXpsContentReading;
class TXpsFontParts;
class TXpsPartTrees;
class TXpsTextAdvances;
struct TXpsLimits;

enum class TXpsPageStatus {
    Written,   // the template was written
    NotAPage,  // the part's root is no FixedPage: nothing was written
    Failed,    // an error ended the page; it is in the log
};

// What became of one page.
struct TXpsPageResult {
    int32_t Document = 0;  // the numbers the run gives the page
    int32_t Page = 0;
    TXpsPageStatus Status = TXpsPageStatus::Failed;
    std::u16string TemplateName;  // the template written; empty when none was
    int64_t TemplateBytes = 0;    // what the written template takes on disk
    // The default reading left content inside canvases behind.
    bool SkippedCanvasContent = false;
};

// The character set of every text object's font.
constexpr uint8_t kXpsTextCharset = 204;

// What a page translation draws on besides the page itself.
struct TXpsPageContext {
    const TXpsContentReading& Reading;
    const TXpsLimits& Limits;
    std::u16string FontName;  // the chosen family, "Arial" when none is chosen
    // The faces the runs' FontUri name, or null when every text object takes
    // the chosen family.
    TXpsFontParts* DocumentFonts = nullptr;
    IXpsLog& Log;
    // Takes the named part out of the package and drops it.
    std::function<void(const std::u16string& partName)> ReadPart;
    // The parts the run parses for its pages, such as remote dictionaries.
    TXpsPartTrees* Parts = nullptr;
    // Runs that continue one another on a line become one text object, their
    // advances measured here; null when every run is an object of its own.
    TXpsTextAdvances* TextLines = nullptr;
};

// Writes the template of the FixedPage root into outName (its extension is
// the template builder's); pageName is the page's part name, against which
// its references resolve. Raises whatever ends the page, leaving in result
// what was learnt before (content skipped, say); a root that is no FixedPage
// writes nothing and is no error.
void TranslatePage(const TqlxXMLItem& root, const std::u16string& outName, const std::u16string& pageName,
                   const TXpsPageContext& context, TXpsPageResult& result);
