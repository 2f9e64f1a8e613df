#include "convert/XpsPageWalker.h"

#include <limits>
#include <utility>

#include "convert/XpsPackage.h"
#include "convert/XpsPartTrees.h"
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

// The element's child of that name, or null.
const TqlxXMLItem* ChildNamed(const TqlxXMLItem& element, std::u16string_view name) {
    const int32_t index = element.IndexOfName(name);
    return index < 0 ? nullptr : element.Child(index);
}

// The element a property element holds: <Path.Fill><SolidColorBrush .../></Path.Fill>.
const TqlxXMLItem* ValueOfPropertyElement(const TqlxXMLItem& element, std::u16string_view property) {
    const TqlxXMLItem* holder = ChildNamed(element, element.Name + u"." + std::u16string(property));
    return holder != nullptr && holder->ChildCount() > 0 ? holder->Child(0) : nullptr;
}

// What the element's tag takes when written: "<Name attributes/>".
int64_t TagMarkup(const TqlxXMLItem& element) {
    return static_cast<int64_t>(element.Name.size() + element.AttrText.size() + 3);
}

// What the element's markup takes with everything inside it, counted up to
// a little past atMost.
int64_t MarkupOf(const TqlxXMLItem& element, int64_t atMost) { return SumOverTree(element, TagMarkup, atMost); }

TXpsMatrix MatrixOf(const TqlxXMLItem* transform) {
    if (transform == nullptr || transform->Name != u"MatrixTransform") return {};
    return ReadMatrix(transform->GetAttr(u"Matrix"));
}

TXpsBrush BrushFrom(const TqlxXMLItem* brush) {
    if (brush == nullptr || brush->Name != u"SolidColorBrush") return {true, false, kNoXpsColor};
    return {true, true, ReadXpsColor(brush->GetAttr(u"Color"))};
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

// Where the walk stands in a container: the children of Parent from Next
// on, or only the element Only.
struct TFrame {
    const TqlxXMLItem* Parent = nullptr;
    int32_t Next = 0;
    const TqlxXMLItem* Only = nullptr;
};

const TqlxXMLItem* NextChild(TFrame& frame) {
    if (frame.Only != nullptr) return frame.Next++ == 0 ? frame.Only : nullptr;
    return frame.Next < frame.Parent->ChildCount() ? frame.Parent->Child(frame.Next++) : nullptr;
}

// Depth first through the canvases below container, without recursion:
// enter(canvas) and leave() bracket each canvas; visit(element) gets every
// other child and returns the element its fill paints, or null. The walk
// takes that element next, as a canvas's only child, and leave() closes it too.
template <typename Enter, typename Leave, typename VisitElement>
void WalkCanvases(const TqlxXMLItem& container, Enter enter, Leave leave, VisitElement visit) {
    std::vector<TFrame> open = {{&container}};
    while (!open.empty()) {
        const TqlxXMLItem* child = NextChild(open.back());
        if (child == nullptr) {
            open.pop_back();
            if (!open.empty()) leave();
        } else if (child->Name == u"Canvas") {
            enter(*child);
            open.push_back({child});
        } else if (const TqlxXMLItem* painted = visit(*child)) {
            open.push_back({nullptr, 0, painted});
        }
    }
}

}  // namespace

void TXpsWalkBudget::Spend(int64_t characters) {
    if (characters > left_)
        throw EXpsLimitError(u"The visual brushes and resources of the page bring in more than " + IntToStr(limit_) +
                             u" characters");
    left_ -= characters;
}

void TXpsWalkBudget::SpendMarkup(const TqlxXMLItem& element) { Spend(MarkupOf(element, left_)); }

void TXpsResources::Enter(const TqlxXMLItem* dictionaries) {
    std::vector<std::u16string>& added = entered_.emplace_back();
    if (dictionaries == nullptr) return;
    ForEachChildNamed(*dictionaries, u"ResourceDictionary", [&](const TqlxXMLItem& dictionary, int32_t) {
        if (const TqlxXMLItem* remote = RemoteDictionary(dictionary)) Add(*remote, true, added);
        Add(dictionary, false, added);
    });
}

void TXpsResources::Add(const TqlxXMLItem& dictionary, bool remote, std::vector<std::u16string>& added) {
    for (int32_t i = 0; i < dictionary.ChildCount(); ++i) {
        const TqlxXMLItem& resource = *dictionary.Child(i);
        if (remote) budget_.Spend(TagMarkup(resource));
        std::u16string key = resource.GetAttr(u"x:Key");
        if (key.empty()) continue;
        byKey_[key].push_back(&resource);
        added.push_back(std::move(key));
    }
}

// A remote dictionary's own Source is never followed: its root is added as it stands.
const TqlxXMLItem* TXpsResources::RemoteDictionary(const TqlxXMLItem& reference) const {
    if (parts_ == nullptr || !reference.HasAttr(u"Source")) return nullptr;
    const TqlxXMLItem* root = parts_->Root(PartNameFromSource(RawXpsText(reference, u"Source", true), pageName_));
    return root != nullptr && root->Name == u"ResourceDictionary" ? root : nullptr;
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
        geometry->Markup = MarkupOf(pathGeometry, std::numeric_limits<int64_t>::max());
        geometry->Transform = ReadProperty(pathGeometry, u"Transform");
        kept = std::move(geometry);
    }
    return *kept;
}

void TXpsResources::Replay(const TXpsKeptGeometry& geometry, IXpsFigureSink& sink) const {
    budget_.Spend(geometry.Markup);
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
    return TransformOf(element, u"RenderTransform").Then(Transform);
}

TXpsBrush TXpsScope::BrushOf(const TqlxXMLItem& element, std::u16string_view property) const {
    const TXpsPropertyValue value = Resolve(element, property);
    switch (value.Kind) {
        case TXpsPropertyValue::Absent: return {};
        case TXpsPropertyValue::InElement:
        case TXpsPropertyValue::InResource: return BrushFrom(value.Element);
        case TXpsPropertyValue::InText: break;
    }
    return {true, true, ReadXpsColor(value.Text)};
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
    return TXpsPathGeometry::OfElement(geometry, TransformOf(*geometry, u"Transform"));
}

TXpsMatrix TXpsScope::TransformOf(const TqlxXMLItem& element, std::u16string_view property) const {
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
    const auto skip = [&](const TqlxXMLItem& element) -> const TqlxXMLItem* {
        skipped = skipped || IsContent(element);
        return nullptr;
    };
    const int32_t count = page.ChildCount();
    for (int32_t i = 0; i < count; ++i) {
        const TqlxXMLItem& child = *page.Child(i);
        if (IsContent(child)) Visit(visitor, child, flat);
        else if (child.Name == u"Canvas" && !skipped) WalkCanvases(child, [](const TqlxXMLItem&) {}, [] {}, skip);
    }
    return skipped;
}

void WalkNestedPage(const TqlxXMLItem& page, const TXpsWalkSources& sources, IXpsPageVisitor& visitor) {
    TXpsWalkBudget budget(sources.Budget);
    TXpsResources resources(sources.PageName, sources.Parts, budget);
    std::vector<TXpsScope> scopes = {TXpsScope({}, &resources)};
    resources.Enter(ChildNamed(page, u"FixedPage.Resources"));
    const auto enter = [&](const TqlxXMLItem& canvas) {
        const TXpsScope outer = scopes.back();
        if (outer.PaintDepth > 0) budget.Spend(TagMarkup(canvas));
        resources.Enter(ChildNamed(canvas, u"Canvas.Resources"));
        scopes.emplace_back(outer.TotalTransformOf(canvas), &resources).PaintDepth = outer.PaintDepth;
    };
    const auto leave = [&] {
        resources.Leave();
        scopes.pop_back();
    };
    const auto visit = [&](const TqlxXMLItem& element) -> const TqlxXMLItem* {
        const TXpsScope& scope = scopes.back();
        if (scope.PaintDepth > 0) budget.SpendMarkup(element);
        if (element.Name == u"Glyphs") visitor.VisitGlyphs(element, scope);
        if (element.Name != u"Path") return nullptr;
        const TXpsPaintedContent painted = visitor.VisitPath(element, scope);
        if (painted.Visual == nullptr || scope.PaintDepth == kMaxPaintDepth) return nullptr;
        const int32_t depth = scope.PaintDepth + 1;
        resources.Enter(nullptr);
        scopes.emplace_back(painted.Transform, &resources).PaintDepth = depth;
        return painted.Visual;
    };
    WalkCanvases(page, enter, leave, visit);
}
