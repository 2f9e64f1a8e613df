#include "convert/XpsPageWalker.h"

#include <utility>

#include "convert/XpsValues.h"
#include "xml/qlxXML.h"

namespace {

constexpr int32_t kNoColor = -16777216;

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && IsXmlBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsXmlBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The key of "{StaticResource key}", or nothing when the text is no such reference.
std::optional<std::u16string> StaticResourceKey(std::u16string_view text) {
    constexpr std::u16string_view kMarkup = u"StaticResource";
    text = TrimBlanks(text);
    if (text.size() < 2 || text.front() != u'{' || text.back() != u'}') return std::nullopt;
    text = TrimBlanks(text.substr(1, text.size() - 2));
    if (!text.starts_with(kMarkup) || text.size() == kMarkup.size() || !IsXmlBlank(text[kMarkup.size()]))
        return std::nullopt;
    return std::u16string(TrimBlanks(text.substr(kMarkup.size())));
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
    if (brush == nullptr || brush->Name != u"SolidColorBrush") return {true, false, kNoColor};
    return {true, true, XpsColorToColor(brush->GetAttr(u"Color"))};
}

// Depth first through the canvases below container, without recursion:
// enter(canvas) and leave() bracket each canvas, visit(element) gets every
// Glyphs and Path that is content.
template <typename Enter, typename Leave, typename Visit>
void WalkCanvases(const TqlxXMLItem& container, Enter enter, Leave leave, Visit visit) {
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
        } else if (child.Name == u"Glyphs" || child.Name == u"Path") {
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

TXpsMatrix TXpsScope::TotalTransformOf(const TqlxXMLItem& element) const {
    return ReadTransform(element, u"RenderTransform").Then(Transform);
}

TXpsBrush TXpsScope::BrushOf(const TqlxXMLItem& element, std::u16string_view property) const {
    if (const TqlxXMLItem* brush = ValueOfPropertyElement(element, property)) return BrushFrom(brush);
    if (!element.HasAttr(property)) return {};
    const std::u16string text = element.GetAttr(property);
    if (StaticResourceKey(text)) return BrushFrom(Resource(text));
    return {true, true, XpsColorToColor(text)};
}

TXpsGeometry TXpsScope::GeometryOf(const TqlxXMLItem& path, TXpsMatrix& geometryTransform) const {
    geometryTransform = {};
    const TqlxXMLItem* geometry = ValueOfPropertyElement(path, u"Data");
    if (geometry == nullptr) {
        const std::u16string data = path.GetAttr(u"Data");
        if (!StaticResourceKey(data)) return ReadPathData(data);
        geometry = Resource(data);
    }
    if (geometry == nullptr || geometry->Name != u"PathGeometry") return {};
    geometryTransform = ReadTransform(*geometry, u"Transform");
    return geometry->HasAttr(u"Figures") ? ReadPathData(geometry->GetAttr(u"Figures")) : ReadPathFigures(*geometry);
}

const TqlxXMLItem* TXpsScope::Resource(std::u16string_view reference) const {
    const std::optional<std::u16string> key = StaticResourceKey(reference);
    return key && resources_ != nullptr ? resources_->Find(*key) : nullptr;
}

// A transform written as an attribute (six numbers or a resource reference)
// or as a property element holding a MatrixTransform.
TXpsMatrix TXpsScope::ReadTransform(const TqlxXMLItem& element, std::u16string_view property) const {
    if (const TqlxXMLItem* transform = ValueOfPropertyElement(element, property)) return MatrixOf(transform);
    if (!element.HasAttr(property)) return {};
    const std::u16string text = element.GetAttr(property);
    return StaticResourceKey(text) ? MatrixOf(Resource(text)) : ReadMatrix(text);
}

bool WalkFixedPage(const TqlxXMLItem& page, bool nested, IXpsPageVisitor& visitor) {
    const auto visit = [&visitor](const TqlxXMLItem& element, const TXpsScope& scope) {
        if (element.Name == u"Glyphs") visitor.VisitGlyphs(element, scope);
        else visitor.VisitPath(element, scope);
    };
    if (nested) {
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
            [&](const TqlxXMLItem& element) { visit(element, scopes.back()); });
        return false;
    }
    const TXpsScope flat({}, nullptr);
    bool skipped = false;
    const int32_t count = page.ChildCount();
    for (int32_t i = 0; i < count; ++i) {
        const TqlxXMLItem& child = *page.Child(i);
        if (child.Name == u"Glyphs" || child.Name == u"Path") visit(child, flat);
        else if (child.Name == u"Canvas" && !skipped)
            WalkCanvases(child, [](const TqlxXMLItem&) {}, [] {}, [&](const TqlxXMLItem&) { skipped = true; });
    }
    return skipped;
}
