#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/XpsFonts.h"
#include "convert/XpsLog.h"
#include "convert/XpsPackage.h"
#include "convert/XpsPageTranslation.h"
#include "convert/XpsPartTrees.h"
#include "convert/XpsTextAdvances.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"

class TFileStream;
class TMemoryStream;
class TqlxXMLDocument;
class TqlxXMLItem;
class TXpsContentReading;

// Where the font family for text objects comes from: the window's font combo
// box, or the command line's option.
class IFontNameSource {
public:
    virtual ~IFontNameSource() = default;
    virtual std::u16string FontName() const = 0;
};

// One family for every run, as the command line names it.
class TFixedFontName : public IFontNameSource {
public:
    std::u16string Name;

    TFixedFontName() = default;
    explicit TFixedFontName(std::u16string name) : Name(std::move(name)) {}
    std::u16string FontName() const override { return Name; }
};

// The template a page of a package becomes: next to the package, named after
// its stem (cut to 50 characters) with the document and page numbers.
std::u16string OutputName(const std::u16string& sourceName, int32_t document, int32_t page);

// What a conversion run came to.
struct TXpsRunOutcome {
    bool IsXps = false;          // the package held a fixed-document sequence
    int32_t PagesConverted = 0;  // pages whose template was written
    // Pages left without a template: an error ended them (it is in the log),
    // or their part is no fixed page.
    int32_t PagesFailed = 0;
    // The error that ended the run early, if one did.
    std::optional<TErrorDescription> Error;

    // The default mode left Glyphs or Path elements inside canvases behind.
    bool SkippedCanvasContent = false;
    // The default mode could not read a sequence or document part for want
    // of an XML declaration.
    bool RefusedUndeclaredPart = false;

    // With the fonts of the document: the font parts whose runs fell back to
    // the chosen family, each once, in the order they first did. Parts read
    // only for the advances of text lines are not listed.
    std::vector<std::u16string> FontPartsFallenBack;

    // Every page of an XPS package was converted.
    bool Complete() const { return IsXps && PagesFailed == 0 && !Error; }
    // The nested mode would convert what this run left behind.
    bool NestedModeWouldHelp() const { return SkippedCanvasContent || RefusedUndeclaredPart; }
};

// The GUI-free converter: the window, the command line and the tests drive it
// through the log and the font-name source they hand it.
class TXpsConverter {
public:
    TXpsConverter(IXpsLog& log, const IFontNameSource& fontNames);
    // Its parts refer to one another and to it.
    TXpsConverter(const TXpsConverter&) = delete;
    TXpsConverter& operator=(const TXpsConverter&) = delete;

    // The package while a run is on; its messages carry its component's name.
    TXpsPackage Package;
    // Called after each page with what became of it; may be empty. Whoever
    // wants the list of a run's pages keeps it here.
    std::function<void(const TXpsPageResult& page)> OnPageDone;
    // The package's limits, set before a run.
    TXpsLimits& Limits = Package.Limits;
    // Converts the content inside canvases and visual brushes too, under its
    // transforms and resources (remote dictionaries among them), reads every
    // form of path geometry and scRGB colours and takes thin filled
    // rectangles not standing in rows for rules; reads sequence and document
    // parts without a declaration, and finds the sequence through the package
    // relationships when it has another name.
    bool Nested = false;
    // Text objects take the family, weight and slant of the face each run's
    // FontUri names in the package, and are measured in that very face; a run
    // whose face cannot be had keeps the chosen family, with no log line.
    bool DocumentFonts = false;
    // Runs that continue one another on a line (same baseline, height, colour
    // and font, about where the run before ends) become one text object.
    bool TextLines = false;

    // One conversion run: clears the log and, when a source is held, writes a
    // template for every page of every fixed document of the package. An
    // error that ends the run is logged by nobody: the outcome carries it,
    // and the archive is closed again before the run returns.
    TXpsRunOutcome Convert(TFileStream* source);

    // Translates one FixedPage part into a template. Every failure is logged
    // as three lines and ends the page; nothing reaches the caller, who learns
    // from the result what became of the page. pageName is the page's own
    // part name, against which its references resolve.
    TXpsPageResult ConvertFixedPage(TMemoryStream& pageStream, const std::u16string& outName,
                                    const std::u16string& pageName);

private:
    // A sequence's reference to a document, or a document's to a page.
    struct TReference {
        int32_t Number;         // 1 + its place among all children of the root
        std::u16string Source;  // unresolved: a reference that fails does so in its turn
    };

    void ConvertSequence(const std::u16string& sourceName, TXpsRunOutcome& outcome);
    std::u16string FindSequence();
    std::u16string SequenceFromRelationships();
    // The children of the part's root named element, each with its Source.
    std::vector<TReference> ReadReferences(const std::u16string& partName, std::u16string_view element,
                                           TXpsRunOutcome& outcome);
    void ConvertDocument(const std::u16string& docName, int32_t document, const std::u16string& sourceName,
                         TXpsRunOutcome& outcome);
    // Parses a part into document; likeAPage puts the declaration of a page
    // in front of it instead of its own.
    void LoadMarkup(const std::u16string& partName, TMemoryStream& part, TqlxXMLDocument& document, bool likeAPage);
    // Takes a part that is no sequence or document out and parses it as a page.
    void LoadPart(const std::u16string& partName, TqlxXMLDocument& document);
    // The run stops taking parts once its templates fill their room.
    void CheckTemplateRoom() const;
    // Takes the named part out of the package into buffer, or only reads it
    // through when buffer is null; a part or a run beyond its limits is refused.
    void ExtractPart(const std::u16string& name, TMemoryStream* buffer);
    void ExtractMarkup(const std::u16string& name, TMemoryStream& buffer);
    const TXpsContentReading& Reading() const;
    TXpsPageContext PageContext();
    void LogPageError(const std::u16string& className, const std::u16string& message);

    IXpsLog& log_;
    const IFontNameSource& fontNames_;
    // What the run's templates take on disk so far.
    int64_t runTemplateBytes_ = 0;
    // The font parts of the run, taken out of the package as its runs name them.
    TXpsFontParts fontParts_;
    // The remote dictionaries of the run, parsed as its pages name them.
    TXpsPartTrees partTrees_;
    // The advances of text runs, in the faces of fontParts_.
    TXpsTextAdvances textAdvances_{fontParts_};
};
