#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

// Raised for malformed XML text with "Invalid file format", and for text
// beyond the reader's limits with what the limit is.
class TqlxInvalidXMLException : public Exception {
public:
    TqlxInvalidXMLException();
    // "Invalid file format: %s".
    explicit TqlxInvalidXMLException(std::u16string_view detail);
};

// Raised when a text holds more elements than the document takes.
class TqlxXMLElementLimitException : public Exception {
public:
    explicit TqlxXMLElementLimitException(int64_t limit);
};

// One element. Attributes stay one raw text, exactly as written in the tag,
// and are looked up and edited inside that text.
class TqlxXMLItem {
public:
    std::u16string Name;
    std::u16string AttrText;
    std::u16string Content;  // written between the tags of a childless element; reading never fills it
    bool ChildrenLoaded = true;
    bool Swappable = false;
    uint64_t SwapOffset = 0;

    TqlxXMLItem();
    // Destroys the subtree and leaves the parent's list.
    ~TqlxXMLItem();
    TqlxXMLItem(const TqlxXMLItem&) = delete;
    TqlxXMLItem& operator=(const TqlxXMLItem&) = delete;

    TqlxXMLItem* Parent() const { return parent_; }
    int32_t ChildCount() const { return static_cast<int32_t>(children_.size()); }
    // Raises EListError outside 0..ChildCount-1.
    TqlxXMLItem* Child(int32_t index) const;

    TqlxXMLItem* AddChild();
    // Takes ownership of item and appends it, moving it from its old parent if it has one.
    void AttachChild(TqlxXMLItem* item);
    // Raises EListError for an index outside 0..ChildCount before anything changes.
    void InsertChild(int32_t index, TqlxXMLItem* item);
    int32_t IndexOfName(std::u16string_view name) const;
    TqlxXMLItem* FindOrAddChild(std::u16string_view name);
    int32_t IndexOfChild(const TqlxXMLItem* item) const;
    void ClearChildren();

    // The unescaped value, empty when the attribute is missing; raises
    // EConvertError for a character reference that is no integer.
    std::u16string GetAttr(std::u16string_view name) const;
    // The value as written in the tag, references unexpanded; valid until AttrText changes.
    std::u16string_view GetRawAttr(std::u16string_view name) const;
    bool HasAttr(std::u16string_view name) const;
    void SetAttr(std::u16string_view name, std::u16string_view value);

private:
    std::unique_ptr<TqlxXMLItem> DetachChild(TqlxXMLItem* item);

    TqlxXMLItem* parent_ = nullptr;
    std::vector<std::unique_ptr<TqlxXMLItem>> children_;
};

class TqlxXMLDocument {
public:
    bool Indented = false;
    bool LegacyEncoding = false;
    std::u16string SwapDir;
    // The most elements a load takes, the root included; 0 for no limit. Each
    // costs some hundred bytes, so a text of nothing but empty tags could
    // otherwise take many times its own size.
    int64_t MaxElements = 0;

    TqlxXMLDocument();
    ~TqlxXMLDocument();
    TqlxXMLDocument(const TqlxXMLDocument&) = delete;
    TqlxXMLDocument& operator=(const TqlxXMLDocument&) = delete;

    TqlxXMLItem* Root() const { return root_.get(); }
    void ClearTree();

    // With swapping false the stream stays the caller's. With swapping true
    // the document keeps reading swapped-out elements from it after the load,
    // so the caller must keep it alive until the tree is cleared, loaded
    // again or destroyed; the overload below hands it over instead.
    void LoadFromStream(TStream& stream, bool swapping);
    // Takes the stream over: kept as the backing stream after a successful
    // load with swapping, freed otherwise.
    void LoadFromStream(std::unique_ptr<TStream> stream, bool swapping);
    void SaveToStream(TStream& stream);
    // The file stays open for reading (others may read, not write) as the backing stream.
    void LoadFromFile(const std::u16string& path);
    // Writes a new file beside path, renames it over path and loads it again:
    // element pointers taken before the call are invalid afterwards.
    void SaveToFile(const std::u16string& path);

    void SwapOut(TqlxXMLItem* item);
    void SwapIn(TqlxXMLItem* item);

    // The swap file this document created, empty when there is none.
    const std::u16string& SwapFileName() const { return swapFileName_; }

private:
    void ParseStream(TStream& stream, bool swapping);
    void OpenSwapFile();
    void CloseSwapStream();

    std::unique_ptr<TqlxXMLItem> root_;
    TStream* swapStream_ = nullptr;
    std::unique_ptr<TStream> ownedSwapStream_;
    bool swapStreamLegacy_ = false;  // how the backing stream's attribute texts are encoded
    std::u16string swapFileName_;
};

// Calls visit(child, index) for each child whose name is exactly name; the
// number of children is taken once, before the first.
template <typename Visit>
void ForEachChildNamed(const TqlxXMLItem& parent, std::u16string_view name, Visit visit) {
    const int32_t count = parent.ChildCount();
    for (int32_t i = 0; i < count; ++i) {
        const TqlxXMLItem& child = *parent.Child(i);
        if (child.Name == name) visit(child, i);
    }
}

// The sum of weight(item) over the element and everything inside it, taken
// up to the first sum past atMost. It keeps a list rather than recursing: a
// tree may be deeper than the stack.
template <typename Weight>
int64_t SumOverTree(const TqlxXMLItem& root, Weight weight, int64_t atMost) {
    int64_t sum = 0;
    std::vector<const TqlxXMLItem*> pending = {&root};
    while (!pending.empty() && sum <= atMost) {
        const TqlxXMLItem& item = *pending.back();
        pending.pop_back();
        sum += weight(item);
        for (int32_t i = 0; i < item.ChildCount(); ++i) pending.push_back(item.Child(i));
    }
    return sum;
}

// The written form of an attribute value.
std::u16string XMLEscape(std::u16string_view text);
// The text with U+FFFD for every character an XML 1.0 document cannot hold:
// control characters other than tab, line feed and carriage return, U+FFFE,
// U+FFFF, and surrogates that are not part of a pair. No reference can stand
// for them either.
std::u16string ReplaceNonXmlChars(std::u16string_view text);
// Expands the entity and character references of an attribute value; raises
// EConvertError for a character reference that is no integer. A reference to
// no character (a surrogate, beyond U+10FFFF) becomes U+FFFD.
std::u16string XMLUnescape(std::u16string_view text);
