#include "convert/XpsVisualBrush.h"

#include <optional>
#include <string_view>

#include "xml/qlxXML.h"

namespace {

bool IsRelative(const TqlxXMLItem& brush, std::u16string_view unitsProperty) {
    return brush.GetAttr(unitsProperty) == u"RelativeToBoundingBox";
}

// The brush's rectangle property, in the path's coordinates.
std::optional<TXpsRect> ReadBrushRect(const TqlxXMLItem& brush, std::u16string_view property,
                                      std::u16string_view unitsProperty, const std::optional<TXpsRect>& bounds) {
    if (!brush.HasAttr(property)) return std::nullopt;
    const TXpsRect rect = ReadRect(brush.GetAttr(property));
    if (!IsRelative(brush, unitsProperty)) return rect;
    if (!bounds) return std::nullopt;
    const auto x = [&](long double fraction) { return bounds->Left + fraction * bounds->Width(); };
    const auto y = [&](long double fraction) { return bounds->Top + fraction * bounds->Height(); };
    return TXpsRect{x(rect.Left), y(rect.Top), x(rect.Right), y(rect.Bottom)};
}

bool HasArea(const TXpsRect& rect) { return rect.Width() > 0 && rect.Height() > 0; }

// Maps the viewbox onto the viewport.
TXpsMatrix ViewboxToViewport(const TXpsRect& viewbox, const TXpsRect& viewport) {
    const long double scaleX = viewport.Width() / viewbox.Width();
    const long double scaleY = viewport.Height() / viewbox.Height();
    return {scaleX, 0, 0, scaleY, viewport.Left - viewbox.Left * scaleX, viewport.Top - viewbox.Top * scaleY};
}

}  // namespace

TXpsPaintedContent VisualFillOf(const TqlxXMLItem& path, const TXpsScope& scope, const TXpsPathGeometry& geometry,
                                const TXpsMatrix& pathTransform) {
    const TqlxXMLItem* brush = scope.Resolve(path, u"Fill").Element;
    if (brush == nullptr || brush->Name != u"VisualBrush") return {};
    const TqlxXMLItem* visual = scope.Resolve(*brush, u"Visual").Element;
    if (visual == nullptr) return {};
    TXpsBounds bounds(geometry.Transform);
    if (IsRelative(*brush, u"ViewboxUnits") || IsRelative(*brush, u"ViewportUnits")) geometry.Read(bounds);
    const auto viewbox = ReadBrushRect(*brush, u"Viewbox", u"ViewboxUnits", bounds.Bounds());
    const auto viewport = ReadBrushRect(*brush, u"Viewport", u"ViewportUnits", bounds.Bounds());
    if (!viewbox || !viewport || !HasArea(*viewbox) || !HasArea(*viewport)) return {};
    const TXpsMatrix brushTransform = scope.TransformOf(*brush, u"Transform");
    return {visual, ViewboxToViewport(*viewbox, *viewport).Then(brushTransform).Then(pathTransform)};
}
