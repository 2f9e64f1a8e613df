#include "convert/XpsPageWalker.h"

#include <utility>

#include "convert/XpsValues.h"
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

// A PathGeometry's figures: its Figures attribute, else its PathFigure elements.
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

std::shared_ptr<const TXpsGeometry> TXpsResources::Figures(const TqlxXMLItem& pathGeometry) const {
    std::shared_ptr<const TXpsGeometry>& figures = figures_[&pathGeometry];
    if (!figures) figures = std::make_shared<const TXpsGeometry>(ReadGeometryFigures(pathGeometry));
    return figures;
}

TXpsPropertyValue TXpsScope::Resolve(const TqlxXMLItem& element, std::u16string_view property) const {
    if (const TqlxXMLItem* value = ValueOfPropertyElement(element, property))
        return {TXpsPropertyValue::InElement, value, {}};
    if (!element.HasAttr(property)) return {};
    std::u16string text = element.GetAttr(property);
    const std::optional<std::u16string> key = StaticResourceKey(text);
    if (!key) return {TXpsPropertyValue::InText, nullptr, std::move(text)};
    return {TXpsPropertyValue::InResource, resources_ != nullptr ? resources_->Find(*key) : nullptr, {}};
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

// Only a resource is read once and kept: a geometry written in the path is
// read by that path alone.
TXpsPathGeometry TXpsScope::GeometryOf(const TqlxXMLItem& path) const {
    const TXpsPropertyValue data = Resolve(path, u"Data");
    if (data.Kind == TXpsPropertyValue::InText) return {std::make_shared<const TXpsGeometry>(ReadPathData(data.Text)), {}};
    const TqlxXMLItem* geometry = data.Element;
    if (geometry == nullptr || geometry->Name != u"PathGeometry") return {std::make_shared<const TXpsGeometry>(), {}};
    const TXpsMatrix transform = ReadTransform(*geometry, u"Transform");
    const bool shared = data.Kind == TXpsPropertyValue::InResource;
    return {shared ? resources_->Figures(*geometry) : std::make_shared<const TXpsGeometry>(ReadGeometryFigures(*geometry)),
            transform};
}

// A transform written as an attribute (six numbers or a resource reference)
// or as a property element holding a MatrixTransform.
TXpsMatrix TXpsScope::ReadTransform(const TqlxXMLItem& element, std::u16string_view property) const {
    const TXpsPropertyValue value = Resolve(element, property);
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
