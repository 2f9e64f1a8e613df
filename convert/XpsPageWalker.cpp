#include "convert/XpsPageWalker.h"

#include <utility>

#include "convert/XpsPackage.h"
#include "convert/XpsValues.h"
#include "platform/Conversions.h"
#include "xml/qlxXML.h"

namespace {

// The key of "{StaticResource key}", or nothing when the text is no such reference.
std::optional<std::u16string> StaticResourceKey(std::u16string_view text) {
    constexpr std::u16string_view kMarkup = u"StaticResource";
    text = TrimXmlBlanks(text);
    if (text.size() < 2 || text.front() != u'{' || text.back() != u'}') return std::nullopt;
    text = TrimXmlBlanks(text.substr(1, text.size() - 2));
    if (!text.starts_with(kMarkup) || text.size() == kMarkup.size() || !IsXmlBlank(text[kMarkup.size()]))
        return std::nullopt;
    return std::u16string(TrimXmlBlanks(text.substr(kMarkup.size())));
}

// The element a property element holds: <Path.Fill><SolidColorBrush .../></Path.Fill>.
const TqlxXMLItem* ValueOfPropertyElement(const TqlxXMLItem& element, std::u16string_view property) {
    const std::u16string name = element.Name + u"." + std::u16string(property);
    const int32_t index = element.IndexOfName(name);
    if (index < 0) return nullptr;
    const TqlxXMLItem& holder = *element.Child(index);
    return holder.ChildCount() > 0 ? holder.Child(0) : nullptr;
}

TXpsMatrix MatrixOf(const TqlxXMLItem* transform) {
    if (transform == nullptr || transform->Name != u"MatrixTransform") return {};
    return ReadMatrix(transform->GetAttr(u"Matrix"));
}

TXpsBrush BrushFrom(const TqlxXMLItem* brush) {
    if (brush == nullptr || brush->Name != u"SolidColorBrush") return {true, false, kNoXpsColor};
    return {true, true, XpsColorToColor(brush->GetAttr(u"Color"))};
}

// The property as the element writes it; a reference keeps its key in Text.
TXpsPropertyValue ReadProperty(const TqlxXMLItem& element, std::u16string_view property) {
    if (const TqlxXMLItem* value = ValueOfPropertyElement(element, property))
        return {TXpsPropertyValue::InElement, value, {}};
    if (!element.HasAttr(property)) return {};
    std::u16string text = element.GetAttr(property);
    std::optional<std::u16string> key = StaticResourceKey(text);
    if (!key) return {TXpsPropertyValue::InText, nullptr, std::move(text)};
    return {TXpsPropertyValue::InResource, nullptr, std::move(*key)};
}

// A PathGeometry's figures: its Figures attribute, else its PathFigure elements.
void ReadGeometryFigures(const TqlxXMLItem& geometry, IXpsFigureSink& sink) {
    if (geometry.HasAttr(u"Figures")) ReadPathData(geometry.GetAttr(u"Figures"), sink);
    else ReadPathFigures(geometry, sink);
}

TXpsGeometry ReadGeometryFigures(const TqlxXMLItem& geometry) {
    return geometry.HasAttr(u"Figures") ? ReadPathData(geometry.GetAttr(u"Figures")) : ReadPathFigures(geometry);
}

bool IsContent(const TqlxXMLItem& element) { return element.Name == u"Glyphs" || element.Name == u"Path"; }

void Visit(IXpsPageVisitor& visitor, const TqlxXMLItem& element, const TXpsScope& scope) {
    if (element.Name == u"Glyphs") visitor.VisitGlyphs(element, scope);
    else visitor.VisitPath(element, scope);
}

// Depth first through the canvases below container, without recursion:
// enter(canvas) and leave() bracket each canvas, visit(element) gets every
// Glyphs and Path that is content.
template <typename Enter, typename Leave, typename VisitElement>
void WalkCanvases(const TqlxXMLItem& container, Enter enter, Leave leave, VisitElement visit) {
    std::vector<std::pair<const TqlxXMLItem*, int32_t>> open = {{&container, 0}};
    while (!open.empty()) {
        auto& [parent, next] = open.back();
        if (next == parent->ChildCount()) {
            open.pop_back();
            if (!open.empty()) leave();
            continue;
        }
        const TqlxXMLItem& child = *parent->Child(next++);
        if (child.Name == u"Canvas") {
            enter(child);
            open.emplace_back(&child, 0);
        } else if (IsContent(child)) {
            visit(child);
        }
    }
}

}  // namespace

void TXpsResources::Enter(const TqlxXMLItem& element, std::u16string_view propertyName) {
    std::vector<std::u16string>& added = entered_.emplace_back();
    const int32_t index = element.IndexOfName(propertyName);
    if (index < 0) return;
    ForEachChildNamed(*element.Child(index), u"ResourceDictionary", [&](const TqlxXMLItem& dictionary, int32_t) {
        for (int32_t i = 0; i < dictionary.ChildCount(); ++i) {
            const TqlxXMLItem& resource = *dictionary.Child(i);
            std::u16string key = resource.GetAttr(u"x:Key");
            if (key.empty()) continue;
            byKey_[key].push_back(&resource);
            added.push_back(std::move(key));
        }
    });
}

void TXpsResources::Leave() {
    for (const std::u16string& key : entered_.back()) {
        auto found = byKey_.find(key);
        found->second.pop_back();
        if (found->second.empty()) byKey_.erase(found);
    }
    entered_.pop_back();
}

const TqlxXMLItem* TXpsResources::Find(std::u16string_view key) const {
    const auto found = byKey_.find(std::u16string(key));
    return found == byKey_.end() ? nullptr : found->second.back();
}

const TXpsKeptGeometry& TXpsResources::Geometry(const TqlxXMLItem& pathGeometry) const {
    std::unique_ptr<const TXpsKeptGeometry>& kept = geometries_[&pathGeometry];
    if (!kept) {
        auto geometry = std::make_unique<TXpsKeptGeometry>();
        geometry->Figures = ReadGeometryFigures(pathGeometry);
        ReplayGeometry(geometry->Figures, geometry->Rectangle);
        for (const TXpsFigure& figure : geometry->Figures) geometry->Steps += figure.Steps.size() + 1;
        geometry->Transform = ReadProperty(pathGeometry, u"Transform");
        kept = std::move(geometry);
    }
    return *kept;
}

void TXpsResources::Replay(const TXpsKeptGeometry& geometry, IXpsFigureSink& sink) const {
    replayedSteps_ += static_cast<int64_t>(geometry.Steps);
    if (replayedSteps_ > kMaxReplayedSteps)
        throw EXpsLimitError(u"The page draws more than " + IntToStr(kMaxReplayedSteps) +
                             u" path segments of the geometry resources it names");
    ReplayGeometry(geometry.Figures, sink);
}

TXpsPropertyValue TXpsScope::Resolve(const TqlxXMLItem& element, std::u16string_view property) const {
    return LookUp(ReadProperty(element, property));
}

TXpsPropertyValue TXpsScope::LookUp(TXpsPropertyValue value) const {
    if (value.Kind != TXpsPropertyValue::InResource) return value;
    value.Element = resources_ != nullptr ? resources_->Find(value.Text) : nullptr;
    value.Text.clear();
    return value;
}

TXpsMatrix TXpsScope::TotalTransformOf(const TqlxXMLItem& element) const {
    return ReadTransform(element, u"RenderTransform").Then(Transform);
}

TXpsBrush TXpsScope::BrushOf(const TqlxXMLItem& element, std::u16string_view property) const {
    const TXpsPropertyValue value = Resolve(element, property);
    switch (value.Kind) {
        case TXpsPropertyValue::Absent: return {};
        case TXpsPropertyValue::InElement:
        case TXpsPropertyValue::InResource: return BrushFrom(value.Element);
        case TXpsPropertyValue::InText: break;
    }
    return {true, true, XpsColorToColor(value.Text)};
}

TXpsPathGeometry TXpsPathGeometry::Kept(const TXpsResources& resources, const TXpsKeptGeometry& kept,
                                        const TXpsMatrix& transform) {
    TXpsPathGeometry geometry;
    geometry.Transform = transform;
    geometry.resources_ = &resources;
    geometry.kept_ = &kept;
    return geometry;
}

TXpsPathGeometry TXpsPathGeometry::OfElement(const TqlxXMLItem* pathGeometry, const TXpsMatrix& transform) {
    TXpsPathGeometry geometry;
    geometry.Transform = transform;
    geometry.element_ = pathGeometry;
    return geometry;
}

TXpsPathGeometry TXpsPathGeometry::OfData(std::u16string data) {
    TXpsPathGeometry geometry;
    geometry.data_ = std::move(data);
    return geometry;
}

void TXpsPathGeometry::Read(IXpsFigureSink& sink) const {
    if (kept_ != nullptr) resources_->Replay(*kept_, sink);
    else if (element_ != nullptr) ReadGeometryFigures(*element_, sink);
    else ReadPathData(data_, sink);
}

TXpsRectangleCandidate TXpsPathGeometry::Rectangle() const {
    if (kept_ != nullptr) return kept_->Rectangle;
    TXpsRectangleCandidate rectangle;
    Read(rectangle);
    return rectangle;
}

TXpsPathGeometry TXpsScope::GeometryOf(const TqlxXMLItem& path) const {
    TXpsPropertyValue data = Resolve(path, u"Data");
    if (data.Kind == TXpsPropertyValue::InText) return TXpsPathGeometry::OfData(std::move(data.Text));
    const TqlxXMLItem* geometry = data.Element;
    if (geometry == nullptr || geometry->Name != u"PathGeometry") return {};
    if (data.Kind == TXpsPropertyValue::InResource) {
        const TXpsKeptGeometry& kept = resources_->Geometry(*geometry);
        return TXpsPathGeometry::Kept(*resources_, kept, TransformOf(LookUp(kept.Transform)));
    }
    return TXpsPathGeometry::OfElement(geometry, ReadTransform(*geometry, u"Transform"));
}

// A transform written as an attribute (six numbers or a resource reference)
// or as a property element holding a MatrixTransform.
TXpsMatrix TXpsScope::ReadTransform(const TqlxXMLItem& element, std::u16string_view property) const {
    return TransformOf(Resolve(element, property));
}

TXpsMatrix TXpsScope::TransformOf(const TXpsPropertyValue& value) const {
    switch (value.Kind) {
        case TXpsPropertyValue::Absent: return {};
        case TXpsPropertyValue::InElement:
        case TXpsPropertyValue::InResource: return MatrixOf(value.Element);
        case TXpsPropertyValue::InText: break;
    }
    return ReadMatrix(value.Text);
}

bool WalkFlatPage(const TqlxXMLItem& page, IXpsPageVisitor& visitor) {
    const TXpsScope flat({}, nullptr);
    bool skipped = false;
    const int32_t count = page.ChildCount();
    for (int32_t i = 0; i < count; ++i) {
        const TqlxXMLItem& child = *page.Child(i);
        if (IsContent(child)) Visit(visitor, child, flat);
        else if (child.Name == u"Canvas" && !skipped)
            WalkCanvases(child, [](const TqlxXMLItem&) {}, [] {}, [&](const TqlxXMLItem&) { skipped = true; });
    }
    return skipped;
}

void WalkNestedPage(const TqlxXMLItem& page, IXpsPageVisitor& visitor) {
    TXpsResources resources;
    std::vector<TXpsScope> scopes = {TXpsScope({}, &resources)};
    resources.Enter(page, u"FixedPage.Resources");
    WalkCanvases(
        page,
        [&](const TqlxXMLItem& canvas) {
            resources.Enter(canvas, u"Canvas.Resources");
            const TXpsMatrix total = scopes.back().TotalTransformOf(canvas);
            scopes.emplace_back(total, &resources);
        },
        [&] {
            resources.Leave();
            scopes.pop_back();
        },
        [&](const TqlxXMLItem& element) { Visit(visitor, element, scopes.back()); });
}
