#pragma once

// A Path filled with a visual brush shows the brush's visual in its place,
// as content of the page: each point of the visual maps from the brush's
// Viewbox to its Viewport (scaled by the ratio of their widths and heights
// and moved), then by the brush's own Transform, then by the path's
// transforms. Units "RelativeToBoundingBox" are fractions of the bounds of
// the path's geometry. A tiled brush shows its one tile at the viewport; a
// brush whose viewbox or viewport has no area shows nothing.

#include "convert/XpsPageWalker.h"

class TqlxXMLItem;

// The visual the path's fill paints, or no content when its fill is no
// visual brush; pathTransform maps the path's coordinates to the page.
TXpsPaintedContent VisualFillOf(const TqlxXMLItem& path, const TXpsScope& scope, const TXpsPathGeometry& geometry,
                                const TXpsMatrix& pathTransform);
