#include "convert/XpsPartTrees.h"

#include <limits>
#include <utility>

#include "convert/XpsPackage.h"
#include "xml/qlxXML.h"

namespace {

int64_t CountElements(const TqlxXMLItem& root) {
    return SumOverTree(root, [](const TqlxXMLItem&) { return 1; }, std::numeric_limits<int64_t>::max());
}

}  // namespace

TXpsPartTrees::TXpsPartTrees(TLoadPart loadPart) : loadPart_(std::move(loadPart)) {}

TXpsPartTrees::~TXpsPartTrees() = default;

void TXpsPartTrees::Clear() {
    parts_.clear();
    heldElements_ = 0;
}

const TqlxXMLItem* TXpsPartTrees::Root(const std::u16string& partName) {
    auto [part, added] = parts_.try_emplace(partName);
    if (added) part->second = Load(partName);
    return part->second ? part->second->Root() : nullptr;
}

// The package's failures make the part absent, and so does markup that is no XML.
std::unique_ptr<TqlxXMLDocument> TXpsPartTrees::Load(const std::u16string& partName) {
    auto document = std::make_unique<TqlxXMLDocument>();
    try {
        if (!ReadOptionalPart([&] { loadPart_(partName, *document); })) return nullptr;
    } catch (const TqlxInvalidXMLException&) {
        return nullptr;
    }
    if (document->Root() == nullptr) return nullptr;
    const int64_t elements = CountElements(*document->Root());
    if (elements > kHeldPartElements - heldElements_) return nullptr;
    heldElements_ += elements;
    return document;
}
