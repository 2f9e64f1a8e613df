#include "zip/ZipArchiverDirectory.h"

#include <algorithm>
#include <random>

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

namespace {

// Keys are hashed as a polynomial whose coefficients are their code units,
// three to a coefficient, and their length; it is evaluated at a point drawn
// at random for the process, modulo the prime 2^61 - 1. Two different keys
// collide only where the point is a root of the difference of their
// polynomials, which has at most a third of their length plus two roots among
// the 2^61 points, whatever the keys. The polynomial has no constant term, so
// no choice of keys fixes the difference of their hashes either.
constexpr uint64_t kHashPrime = (uint64_t(1) << 61) - 1;

uint64_t DrawHashPoint() {
    std::random_device device;
    const uint64_t bits = (uint64_t(device()) << 32) ^ device();
    return 1 + bits % (kHashPrime - 1);
}

// For a below 2^62 and b below 2^61; the result is below 2^61 + 4, congruent
// to the product, which is all the hash needs.
uint64_t MultiplyModPrime(uint64_t a, uint64_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    const uint64_t folded = (static_cast<uint64_t>(product) & kHashPrime) + static_cast<uint64_t>(product >> 61);
    return (folded & kHashPrime) + (folded >> 61);
}

}  // namespace

TZFStringHash::TZFStringHash(int32_t slotCount) : slots_(static_cast<size_t>(std::max(slotCount, 1)), -1) {}

uint32_t TZFStringHash::HashOf(std::u16string_view key) {
    static const uint64_t point = DrawHashPoint();
    uint64_t h = 0;
    size_t i = 0;
    for (; i + 3 <= key.size(); i += 3) {
        const uint64_t units = (uint64_t(key[i]) << 32) | (uint64_t(key[i + 1]) << 16) | key[i + 2];
        h = MultiplyModPrime(h + units, point);
    }
    uint64_t rest = 0;
    for (; i < key.size(); ++i) rest = (rest << 16) | key[i];
    h = MultiplyModPrime(h + rest, point);
    h = MultiplyModPrime(h + key.size(), point);
    return static_cast<uint32_t>(h ^ (h >> 32));
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
