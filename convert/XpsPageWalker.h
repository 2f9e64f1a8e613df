#pragma once

// Walks the content of a fixed page. The flat walk takes the page's own
// Glyphs and Path children as they stand. The nested walk enters every
// Canvas, depth first, keeping the transform that maps each element's
// coordinates to the page and the resource dictionaries in scope, the
// nearest first; property elements (names with a ".") and resources are not
// content. The walk never recurses, so a deep page costs no stack.

#include <cstdint>
#include <optional>
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

private:
    std::unordered_map<std::u16string, std::vector<const TqlxXMLItem*>> byKey_;
    std::vector<std::vector<std::u16string>> entered_;  // the keys each Enter added
};

// A brush as the converter sees it: whether there is one, and its colour
// when it is a solid colour (-16777216 for every other kind).
struct TXpsBrush {
    bool Present = false;
    bool Solid = false;
    int32_t Color = 0;
};

// Where the walk stands: what maps the coordinates of the elements found
// here to the page, and what their resource references can name.
class TXpsScope {
public:
    TXpsScope(const TXpsMatrix& transform, const TXpsResources* resources) : Transform(transform), resources_(resources) {}

    TXpsMatrix Transform;

    // The element's own render transform (attribute, resource or property
    // element), then Transform.
    TXpsMatrix TotalTransformOf(const TqlxXMLItem& element) const;
    // The brush of the element's property ("Fill", "Stroke"): attribute,
    // resource or property element.
    TXpsBrush BrushOf(const TqlxXMLItem& element, std::u16string_view property) const;
    // A Path's geometry (Data attribute, resource or Path.Data property
    // element); geometryTransform receives the PathGeometry's own transform.
    TXpsGeometry GeometryOf(const TqlxXMLItem& path, TXpsMatrix& geometryTransform) const;

private:
    const TqlxXMLItem* Resource(std::u16string_view reference) const;
    TXpsMatrix ReadTransform(const TqlxXMLItem& element, std::u16string_view property) const;

    const TXpsResources* resources_;  // none in the flat walk
};

class IXpsPageVisitor {
public:
    virtual ~IXpsPageVisitor() = default;
    virtual void VisitGlyphs(const TqlxXMLItem& glyphs, const TXpsScope& scope) = 0;
    virtual void VisitPath(const TqlxXMLItem& path, const TXpsScope& scope) = 0;
};

// Hands the page's Glyphs and Path elements to the visitor in document
// order. The flat walk reports whether it left Glyphs or Path elements
// inside canvases behind.
bool WalkFixedPage(const TqlxXMLItem& page, bool nested, IXpsPageVisitor& visitor);
