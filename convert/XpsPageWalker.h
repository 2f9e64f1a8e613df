#pragma once

// Walks the content of a fixed page in document order, handing each Glyphs
// and Path element that is content to a visitor together with the scope it
// stands in. The flat walk takes the page's own children as they stand. The
// nested walk enters every Canvas, depth first, keeping the transform that
// maps each element's coordinates to the page and the resource dictionaries
// in scope, the nearest first, those a dictionary's Source names in another
// part among them; property elements (names with a ".") and resources are
// not content. It also enters the content a path's fill paints (a visual
// brush's visual), where the visitor says there is some, as if it stood in
// a canvas there. No walk recurses, so a deep page costs no stack.
//
// A visual brush is drawn anew wherever it is used, a remote dictionary
// brings its keys anew into every scope that names it, and a geometry
// resource is drawn anew by every path that strokes it: a small page could
// ask for them millions of times. So the nested walk charges what they bring
// in against a budget of the page: every element drawn inside a visual
// brush, by its markup with everything inside it (a canvas by its own tag,
// its children as the walk takes them), every resource of a remote
// dictionary, and a geometry resource each time a path draws its lines.
// Painted content nests at most kMaxPaintDepth deep; a brush deeper down
// paints nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "convert/XpsGeometry.h"

class TqlxXMLItem;
class TXpsPartTrees;

constexpr int32_t kMaxPaintDepth = 8;

// What the nested walk of one page may still bring in besides the page's own
// markup, in characters of markup.
class TXpsWalkBudget {
public:
    explicit TXpsWalkBudget(int64_t characters) : limit_(characters), left_(characters) {}
    // Raises EXpsLimitError once more is spent than the budget holds.
    void Spend(int64_t characters);
    // Spends the markup of element with everything inside it.
    void SpendMarkup(const TqlxXMLItem& element);

private:
    int64_t limit_;
    int64_t left_;
};

// What the nested walk draws on besides the page.
struct TXpsWalkSources {
    std::u16string_view PageName;    // remote dictionaries resolve against it
    TXpsPartTrees* Parts = nullptr;  // where remote dictionaries come from; none are read without
    int64_t Budget = 0;              // what TXpsWalkBudget starts with
};

// Where a property's value stands: nowhere, in the element a property
// element holds, in the resource a reference names (null when it names
// none; before a scope looks it up, Text holds its key), or in the
// attribute's own text.
struct TXpsPropertyValue {
    enum TKind { Absent, InElement, InResource, InText };
    TKind Kind = Absent;
    const TqlxXMLItem* Element = nullptr;
    std::u16string Text;
};

// A PathGeometry resource as it is kept: the figures, what of them can still
// be a thin rectangle, its markup, and its own transform as written (looking
// attributes up again would scan the figures' text each time).
struct TXpsKeptGeometry {
    TXpsGeometry Figures;
    TXpsRectangleCandidate Rectangle;
    int64_t Markup = 0;
    TXpsPropertyValue Transform;
};

// The keyed resources of the dictionaries in scope.
class TXpsResources {
public:
    // Without parts, remote dictionaries stay unread.
    TXpsResources(std::u16string_view pageName, TXpsPartTrees* parts, TXpsWalkBudget& budget)
        : pageName_(pageName), parts_(parts), budget_(budget) {}

    // Makes the resources of the dictionaries a property element holds
    // (FixedPage.Resources, Canvas.Resources; null holds none) visible until
    // the matching Leave.
    void Enter(const TqlxXMLItem* dictionaries);
    void Leave();
    // The nearest resource of that key, or nullptr.
    const TqlxXMLItem* Find(std::u16string_view key) const;
    // A PathGeometry resource, read once however many paths name it.
    const TXpsKeptGeometry& Geometry(const TqlxXMLItem& pathGeometry) const;
    // Hands a kept geometry's figures to sink, charging the budget for them.
    void Replay(const TXpsKeptGeometry& geometry, IXpsFigureSink& sink) const;

private:
    // A remote dictionary's keys are charged to the budget.
    void Add(const TqlxXMLItem& dictionary, bool remote, std::vector<std::u16string>& added);
    // The dictionary a Source names, or null when it cannot be had.
    const TqlxXMLItem* RemoteDictionary(const TqlxXMLItem& reference) const;

    std::u16string_view pageName_;
    TXpsPartTrees* parts_;
    TXpsWalkBudget& budget_;
    std::unordered_map<std::u16string, std::vector<const TqlxXMLItem*>> byKey_;
    std::vector<std::vector<std::u16string>> entered_;  // the keys each Enter added
    mutable std::unordered_map<const TqlxXMLItem*, std::unique_ptr<const TXpsKeptGeometry>> geometries_;
};

// A brush as the converter sees it: whether there is one, and its colour
// when it is a solid colour (kNoXpsColor for every other kind).
struct TXpsBrush {
    bool Present = false;
    bool Solid = false;
    int32_t Color = 0;
};

// Where a path's figures come from, and the transform of the PathGeometry
// that holds them. A resource's figures are read once and kept, however
// many paths name it; those written in the path are read as they are used.
class TXpsPathGeometry {
public:
    static TXpsPathGeometry Kept(const TXpsResources& resources, const TXpsKeptGeometry& kept, const TXpsMatrix& transform);
    static TXpsPathGeometry OfElement(const TqlxXMLItem* pathGeometry, const TXpsMatrix& transform);
    static TXpsPathGeometry OfData(std::u16string data);

    TXpsMatrix Transform;

    // Hands the figures to sink.
    void Read(IXpsFigureSink& sink) const;
    // What of the figures can be a thin rectangle; reads those not kept.
    TXpsRectangleCandidate Rectangle() const;

private:
    const TXpsResources* resources_ = nullptr;
    const TXpsKeptGeometry* kept_ = nullptr;
    const TqlxXMLItem* element_ = nullptr;
    std::u16string data_;
};

// Where the walk stands: what maps the coordinates of the elements found
// here to the page, and what their resource references can name.
class TXpsScope {
public:
    TXpsScope(const TXpsMatrix& transform, const TXpsResources* resources) : Transform(transform), resources_(resources) {}

    TXpsMatrix Transform;
    // How deep in painted content the scope stands; 0 in the page's own content.
    int32_t PaintDepth = 0;

    // The element's property: its property element (<Path.Fill>...), else
    // its attribute, which may be a {StaticResource key} reference.
    TXpsPropertyValue Resolve(const TqlxXMLItem& element, std::u16string_view property) const;
    // A value read before: its reference looked up here.
    TXpsPropertyValue LookUp(TXpsPropertyValue value) const;
    // The element's own render transform, then Transform.
    TXpsMatrix TotalTransformOf(const TqlxXMLItem& element) const;
    // The brush of the element's property ("Fill", "Stroke").
    TXpsBrush BrushOf(const TqlxXMLItem& element, std::u16string_view property) const;
    // A Path's geometry, from its Data.
    TXpsPathGeometry GeometryOf(const TqlxXMLItem& path) const;
    // A transform written as an attribute (six numbers or a resource
    // reference) or as a property element holding a MatrixTransform.
    TXpsMatrix TransformOf(const TqlxXMLItem& element, std::u16string_view property) const;

private:
    TXpsMatrix TransformOf(const TXpsPropertyValue& value) const;

    const TXpsResources* resources_;  // none in the flat walk
};

// Content a path's fill paints: the element Visual, its coordinates mapped
// to the page by Transform. No content when Visual is null.
struct TXpsPaintedContent {
    const TqlxXMLItem* Visual = nullptr;
    TXpsMatrix Transform;
};

class IXpsPageVisitor {
public:
    virtual ~IXpsPageVisitor() = default;
    virtual void VisitGlyphs(const TqlxXMLItem& glyphs, const TXpsScope& scope) = 0;
    // The content the path's fill paints, which the nested walk enters next.
    virtual TXpsPaintedContent VisitPath(const TqlxXMLItem& path, const TXpsScope& scope) = 0;
};

// The page's own Glyphs and Path children, in a scope of no transform and no
// resources. True when it left Glyphs or Path elements inside canvases behind.
bool WalkFlatPage(const TqlxXMLItem& page, IXpsPageVisitor& visitor);
// Every Glyphs and Path of the page's content, at any depth of canvases and
// of painted content. Raises EXpsLimitError when the budget runs out.
void WalkNestedPage(const TqlxXMLItem& page, const TXpsWalkSources& sources, IXpsPageVisitor& visitor);
