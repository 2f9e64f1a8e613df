#include "zip/ZipArchiverDirectory.h"

#include <algorithm>
#include <bit>

#include "platform/CodePages.h"
#include "zip/ZipArchiverErrors.h"

uint64_t EntryPackedSize(const TDirItem& item) {
    return item.PackedSize == kZFZip64Marker32 ? item.Zip64Packed : item.PackedSize;
}

uint64_t EntryUnpackedSize(const TDirItem& item) {
    return item.UnpackedSize == kZFZip64Marker32 ? item.Zip64Unpacked : item.UnpackedSize;
}

uint64_t EntryHeaderOffset(const TDirItem& item) {
    return item.HeaderOffset == kZFZip64Marker32 ? item.Zip64Offset : item.HeaderOffset;
}

std::u16string NameKey(std::u16string_view name) { return AsciiLowerCase(name); }

TZFStringHash::TZFStringHash(int32_t slotCount) : slots_(static_cast<size_t>(std::max(slotCount, 1)), -1) {}

uint32_t TZFStringHash::HashOf(std::u16string_view key) {
    uint32_t h = 0;
    for (const char16_t ch : key) h = std::rotl(h, 2) ^ ch;
    return h;
}

uint32_t TZFStringHash::SlotOf(std::u16string_view key) const {
    return HashOf(key) % static_cast<uint32_t>(slots_.size());
}

void TZFStringHash::Insert(const std::u16string& key, int32_t value) {
    const uint32_t slot = SlotOf(key);
    int32_t node;
    if (freeNodes_.empty()) {
        node = static_cast<int32_t>(nodes_.size());
        nodes_.push_back({key, value, slots_[slot]});
    } else {
        node = freeNodes_.back();
        freeNodes_.pop_back();
        nodes_[static_cast<size_t>(node)] = {key, value, slots_[slot]};
    }
    slots_[slot] = node;
}

int32_t TZFStringHash::Find(std::u16string_view key) const {
    for (int32_t node = slots_[SlotOf(key)]; node >= 0; node = nodes_[static_cast<size_t>(node)].Next)
        if (nodes_[static_cast<size_t>(node)].Key == key) return nodes_[static_cast<size_t>(node)].Value;
    return -1;
}

void TZFStringHash::Remove(std::u16string_view key) {
    int32_t* link = &slots_[SlotOf(key)];
    while (*link >= 0) {
        TNode& node = nodes_[static_cast<size_t>(*link)];
        if (node.Key == key) {
            freeNodes_.push_back(*link);
            *link = node.Next;
            node.Key.clear();
            return;
        }
        link = &node.Next;
    }
}

void TZFStringHash::Clear() {
    std::fill(slots_.begin(), slots_.end(), -1);
    nodes_.clear();
    freeNodes_.clear();
}

void TZFHashedStringList::Add(std::u16string key) {
    strings_.push_back(std::move(key));
    if (!hash_ || !hashValid_) return;
    hash_->Insert(strings_.back(), Count() - 1);
    if (Count() > kMaxChainAverage * hash_->SlotCount()) {
        hash_.reset();
        hashValid_ = false;
    }
}

int32_t TZFHashedStringList::Find(std::u16string_view key) {
    if (!hash_) hash_ = std::make_unique<TZFStringHash>(std::max(Count(), kMinSlots));
    if (!hashValid_) {
        hash_->Clear();
        for (int32_t i = 0; i < Count(); ++i) hash_->Insert(strings_[static_cast<size_t>(i)], i);
        hashValid_ = true;
    }
    return hash_->Find(key);
}

void TZFHashedStringList::Replace(int32_t position, std::u16string key) {
    std::u16string& slot = strings_.at(static_cast<size_t>(position));
    if (hash_ && hashValid_) hash_->Remove(slot);
    slot = std::move(key);
    if (hash_ && hashValid_) hash_->Insert(slot, position);
}

void TZFHashedStringList::Clear() {
    strings_.clear();
    if (hash_) hash_->Clear();
}

void TZFDirArray::SetCount(int32_t n) {
    if (n > capacity_) {
        growStep_ = std::min(growStep_ * 2, kMaxGrowStep);
        capacity_ = std::max(capacity_ + growStep_, n);
        items_.resize(static_cast<size_t>(capacity_));
    } else if (n == 0) {
        std::vector<TDirItem>().swap(items_);
        capacity_ = 0;
    }
    count_ = n;
}

TDirItem TZFDirArray::GetEntry(int32_t position) const {
    if (position < 0 || position >= count_) throw EZFException(2, nullptr);
    return items_[static_cast<size_t>(position)];
}

TDirItem& TZFDirArray::EntryAt(int32_t position) {
    if (position < 0 || position >= count_) throw EZFException(3, nullptr);
    return items_[static_cast<size_t>(position)];
}

// An entry is named once from its stored bytes and may be renamed from its
// Unicode name field. Entries are named in directory order, so a first naming
// always appends at the entry's own position; that is also why an entry with
// an empty name does not clash with an earlier one.
void TZFDirArray::SetEntryName(int32_t position, const std::u16string& name) {
    TDirItem& item = EntryAt(position);
    const int32_t previous = names_.Find(NameKey(item.EntryName));
    if (previous < 0 || position == names_.Count()) {
        names_.Add(NameKey(name));
    } else if (previous != position) {
        throw EZFException(59, nullptr);
    } else {
        names_.Replace(previous, NameKey(name));
    }
    item.EntryName = name;
}

bool TZFDirArray::FindEntry(std::u16string_view name, int32_t& position) {
    position = names_.Find(NameKey(name));
    return position >= 0;
}

void TZFDirArray::Clear() {
    for (int32_t i = 0; i < count_; ++i) items_[static_cast<size_t>(i)] = TDirItem();
    count_ = 0;
    names_.Clear();
}
