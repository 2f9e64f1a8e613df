#pragma once

// Walks the content of a fixed page in document order, handing each Glyphs
// and Path element that is content to a visitor together with the scope it
// stands in. The flat walk takes the page's own children as they stand. The
// nested walk enters every Canvas, depth first, keeping the transform that
// maps each element's coordinates to the page and the resource dictionaries
// in scope, the nearest first; property elements (names with a ".") and
// resources are not content. No walk recurses, so a deep page costs no stack.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "convert/XpsGeometry.h"

class TqlxXMLItem;

// The keyed resources of the dictionaries in scope.
class TXpsResources {
public:
    // Makes the resources of element's property element propertyName
    // (FixedPage.Resources, Canvas.Resources) visible until the matching Leave.
    void Enter(const TqlxXMLItem& element, std::u16string_view propertyName);
    void Leave();
    // The nearest resource of that key, or nullptr.
    const TqlxXMLItem* Find(std::u16string_view key) const;
    // The figures of a PathGeometry resource, read once however many paths name it.
    std::shared_ptr<const TXpsGeometry> Figures(const TqlxXMLItem& pathGeometry) const;

private:
    std::unordered_map<std::u16string, std::vector<const TqlxXMLItem*>> byKey_;
    std::vector<std::vector<std::u16string>> entered_;  // the keys each Enter added
    mutable std::unordered_map<const TqlxXMLItem*, std::shared_ptr<const TXpsGeometry>> figures_;
};

// Where a property's value stands: nowhere, in the element a property
// element holds, in the resource a reference names (null when it names
// none), or in the attribute's own text.
struct TXpsPropertyValue {
    enum TKind { Absent, InElement, InResource, InText };
    TKind Kind = Absent;
    const TqlxXMLItem* Element = nullptr;
    std::u16string Text;
};

// A brush as the converter sees it: whether there is one, and its colour
// when it is a solid colour (kNoXpsColor for every other kind).
struct TXpsBrush {
    bool Present = false;
    bool Solid = false;
    int32_t Color = 0;
};

// A path's figures, with the transform of the PathGeometry they come from.
struct TXpsPathGeometry {
    std::shared_ptr<const TXpsGeometry> Figures;
    TXpsMatrix Transform;
};

// Where the walk stands: what maps the coordinates of the elements found
// here to the page, and what their resource references can name.
class TXpsScope {
public:
    TXpsScope(const TXpsMatrix& transform, const TXpsResources* resources) : Transform(transform), resources_(resources) {}

    TXpsMatrix Transform;

    // The element's property: its property element (<Path.Fill>...), else
    // its attribute, which may be a {StaticResource key} reference.
    TXpsPropertyValue Resolve(const TqlxXMLItem& element, std::u16string_view property) const;
    // The element's own render transform, then Transform.
    TXpsMatrix TotalTransformOf(const TqlxXMLItem& element) const;
    // The brush of the element's property ("Fill", "Stroke").
    TXpsBrush BrushOf(const TqlxXMLItem& element, std::u16string_view property) const;
    // A Path's geometry, from its Data.
    TXpsPathGeometry GeometryOf(const TqlxXMLItem& path) const;

private:
    TXpsMatrix ReadTransform(const TqlxXMLItem& element, std::u16string_view property) const;

    const TXpsResources* resources_;  // none in the flat walk
};

class IXpsPageVisitor {
public:
    virtual ~IXpsPageVisitor() = default;
    virtual void VisitGlyphs(const TqlxXMLItem& glyphs, const TXpsScope& scope) = 0;
    virtual void VisitPath(const TqlxXMLItem& path, const TXpsScope& scope) = 0;
};

// The page's own Glyphs and Path children, in a scope of no transform and no
// resources. True when it left Glyphs or Path elements inside canvases behind.
bool WalkFlatPage(const TqlxXMLItem& page, IXpsPageVisitor& visitor);
// Every Glyphs and Path of the page's content, at any depth of canvases.
void WalkNestedPage(const TqlxXMLItem& page, IXpsPageVisitor& visitor);
