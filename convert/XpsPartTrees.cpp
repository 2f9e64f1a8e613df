#include "convert/XpsPartTrees.h"

#include <utility>
#include <vector>

#include "convert/XpsPackage.h"
#include "xml/qlxXML.h"
#include "zip/ZipArchiverErrors.h"

namespace {

int64_t CountElements(const TqlxXMLItem& root) {
    int64_t count = 0;
    std::vector<const TqlxXMLItem*> pending = {&root};
    while (!pending.empty()) {
        const TqlxXMLItem& item = *pending.back();
        pending.pop_back();
        ++count;
        for (int32_t i = 0; i < item.ChildCount(); ++i) pending.push_back(item.Child(i));
    }
    return count;
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

// The package's failures make the part absent; running out of memory or
// failing to read the package file end the page as anywhere.
std::unique_ptr<TqlxXMLDocument> TXpsPartTrees::Load(const std::u16string& partName) {
    auto document = std::make_unique<TqlxXMLDocument>();
    try {
        loadPart_(partName, *document);
    } catch (const EZFException&) {
        return nullptr;
    } catch (const EXpsLimitError&) {
        return nullptr;
    } catch (const TqlxInvalidXMLException&) {
        return nullptr;
    }
    if (document->Root() == nullptr) return nullptr;
    const int64_t elements = CountElements(*document->Root());
    if (elements > kHeldPartElements - heldElements_) return nullptr;
    heldElements_ += elements;
    return document;
}
