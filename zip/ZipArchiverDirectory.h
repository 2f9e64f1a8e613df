#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One extra field of a directory record; the element owns its data block.
struct TZFExtraField {
    uint16_t Tag = 0;
    uint16_t Size = 0;
    std::vector<uint8_t> Data;
};

// One archive entry. The fields up to HeaderOffset are the 46-byte central
// directory file header as stored; the rest is what reading made of it.
struct TDirItem {
    uint32_t Signature = 0;
    uint16_t MadeBy = 0;
    uint16_t NeededVersion = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t DosTime = 0;
    uint16_t DosDate = 0;
    uint32_t Crc = 0;
    uint32_t PackedSize = 0;
    uint32_t UnpackedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
    uint16_t StartDisk = 0;
    uint16_t InternalAttr = 0;
    uint32_t ExternalAttr = 0;
    uint32_t HeaderOffset = 0;

    std::u16string EntryName;
    std::string EntryComment;
    std::vector<TZFExtraField> Extras;
    uint8_t CryptKind = 0;
    bool HasZip64Extra = false;
    uint64_t Zip64Unpacked = 0;
    uint64_t Zip64Packed = 0;
    uint64_t Zip64Offset = 0;
    uint32_t Zip64Disk = 0;
    uint16_t ActualMethod = 0;
};

constexpr uint32_t kZFZip64Marker32 = 0xFFFFFFFF;
constexpr uint16_t kZFZip64Marker16 = 0xFFFF;

// The sizes and the local header position, taken from the zip64 values where
// the 32-bit fields hold the marker.
uint64_t EntryPackedSize(const TDirItem& item);
uint64_t EntryUnpackedSize(const TDirItem& item);
uint64_t EntryHeaderOffset(const TDirItem& item);

// The index key of a name: ASCII letters lowered, every other unit as it is.
std::u16string NameKey(std::u16string_view name);

// Chains of (key, value) nodes; a key is found by walking its chain from the
// head. Which chain a key joins depends on a secret drawn once per process, so
// an archive cannot be crafted to put all its names in one chain.
class TZFStringHash {
public:
    explicit TZFStringHash(int32_t slotCount);

    int32_t SlotCount() const { return static_cast<int32_t>(slots_.size()); }
    void Insert(const std::u16string& key, int32_t value);
    // The value of the newest node with the key, or -1.
    int32_t Find(std::u16string_view key) const;
    void Remove(std::u16string_view key);
    void Clear();

    // Equal for equal keys throughout the process, not from one process to the next.
    static uint32_t HashOf(std::u16string_view key);

private:
    struct TNode {
        std::u16string Key;
        int32_t Value;
        int32_t Next;  // index into nodes_, -1 ends the chain
    };

    uint32_t SlotOf(std::u16string_view key) const;

    std::vector<int32_t> slots_;  // head node of each chain, -1 for none
    std::vector<TNode> nodes_;
    std::vector<int32_t> freeNodes_;
};

// An unsorted list of keys with a hash index that is rebuilt, with one chain
// per key, once its chains grow longer than five keys on average.
class TZFHashedStringList {
public:
    int32_t Count() const { return static_cast<int32_t>(strings_.size()); }
    const std::u16string& operator[](int32_t position) const { return strings_[static_cast<size_t>(position)]; }

    void Add(std::u16string key);
    int32_t Find(std::u16string_view key);
    void Replace(int32_t position, std::u16string key);
    void Clear();

    const TZFStringHash* Hash() const { return hash_.get(); }
    bool HashValid() const { return hashValid_; }

private:
    static constexpr int32_t kMinSlots = 1000;
    static constexpr int32_t kMaxChainAverage = 5;

    std::vector<std::u16string> strings_;
    std::unique_ptr<TZFStringHash> hash_;
    bool hashValid_ = true;
};

// The entries of an open archive in directory order, with their name index:
// position i of Names holds the key of entry i.
class TZFDirArray {
public:
    int32_t Count() const { return count_; }
    void SetCount(int32_t n);
    int32_t Capacity() const { return capacity_; }
    int32_t GrowStep() const { return growStep_; }

    TDirItem GetEntry(int32_t position) const;
    TDirItem& EntryAt(int32_t position);
    void SetEntryName(int32_t position, const std::u16string& name);
    bool FindEntry(std::u16string_view name, int32_t& position);
    void Clear();

    const TZFHashedStringList& Names() const { return names_; }

private:
    static constexpr int32_t kMaxGrowStep = 10000;

    std::vector<TDirItem> items_;  // Capacity slots; those from Count on are spare
    int32_t count_ = 0;
    int32_t capacity_ = 0;
    int32_t growStep_ = 500;
    TZFHashedStringList names_;
};
