#pragma once

// The parsed trees of parts a run's pages refer to besides themselves: the
// remote resource dictionaries a ResourceDictionary's Source names. Each part
// is taken out of the package and parsed once per run, however many pages
// name it, and kept until the run ends. A part that is missing, damaged, no
// well-formed markup or beyond the limits is remembered as absent, and so is
// one beyond what a run keeps: at most kHeldPartElements elements in all,
// as many as one page part may hold.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class TqlxXMLDocument;
class TqlxXMLItem;

constexpr int64_t kHeldPartElements = 1 << 20;

class TXpsPartTrees {
public:
    // Parses the named part into document; raises when it cannot.
    using TLoadPart = std::function<void(const std::u16string& name, TqlxXMLDocument& document)>;

    explicit TXpsPartTrees(TLoadPart loadPart);
    ~TXpsPartTrees();

    // Forgets every part.
    void Clear();
    // The root of the named part, or null when it is absent.
    const TqlxXMLItem* Root(const std::u16string& partName);

private:
    std::unique_ptr<TqlxXMLDocument> Load(const std::u16string& partName);

    TLoadPart loadPart_;
    std::map<std::u16string, std::unique_ptr<TqlxXMLDocument>> parts_;  // null: absent
    int64_t heldElements_ = 0;
};
