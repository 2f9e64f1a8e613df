// Finding an archive's directory
//
// The records are tried from the most to the least trustworthy, and each later
// step runs only when the earlier ones leave no usable directory:
//
// 1. The end record. Only one whose comment reaches exactly to the end of the
//    stream counts, the one nearest the end: the same four signature bytes
//    inside a comment or inside entry data rarely line up so. Without one the
//    directory is rebuilt (4).
// 2. The zip64 records. A locator right in front of the end record means the
//    end record's counts and sizes are only markers; if the zip64 end record
//    is not where the locator says, nothing trustworthy is left to read the
//    directory by, and the archive is refused (code 40). An end record that
//    counts 0xFFFF entries without a locator is rebuilt (4): the true count
//    did not fit and is nowhere else.
// 3. The central directory, taken to end where the end records begin, with
//    the size the records give. Its offset field is never used: stubs put in
//    front of an archive and careless writers make it the least reliable
//    number. Any failure while reading it (a short read, a count its size
//    cannot hold, names that clash) discards what was read and rebuilds (4).
// 4. The rebuild scans the stream from the front for local headers. It comes
//    last because it cannot tell a header from the same bytes in some entry's
//    data, and because streaming writers leave the sizes out of the headers,
//    so that they must be fetched from the data descriptors behind the data.
//    Its positions are the true ones, and entry data may reach to the end of
//    the stream.
// 5. The prefix, after a central directory was read and when the archive
//    calls its disk the first: foreign bytes in front of the archive move
//    every entry. Entry 0's local header, looked for from its recorded
//    position on, tells how many; the directory is needed first to know what
//    that header looks like. Positions are moved only when they count from
//    the archive's own start, that is when they lie below the prefix.

#include "zip/ZipArchiverDirManager.h"

#include <algorithm>
#include <cstring>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "zip/ZipArchiverBytes.h"
#include "zip/ZipArchiverErrors.h"

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
constexpr uint32_t kUnicodeNameSignature = 0x5843554E;
constexpr uint16_t kZip64ExtraTag = 0x0001;
constexpr uint16_t kUnicodeNameTag = 0x554E;
constexpr uint16_t kAesTag = 0x9901;
constexpr uint16_t kAesVersionLimit = 0x4114;

constexpr int64_t kEndRecordSize = 22;
constexpr int64_t kZip64LocatorSize = 20;
constexpr int64_t kZip64EndRecordSize = 56;
constexpr int64_t kCentralHeaderSize = 46;
constexpr int64_t kLocalHeaderSize = 30;
constexpr int64_t kDescriptorSize = 16;
constexpr int64_t kEndRecordSearchWindow = 65600;
constexpr int64_t kScanChunkSize = 65535;
constexpr uint16_t kMaxLocalExtraLength = 260;
constexpr uint32_t kDirectoryAttr = 0x10;
constexpr uint32_t kArchiveAttr = 0x20;
constexpr uint16_t kDescriptorFlag = 0x0008;

TZFEndRecord DecodeEndRecord(const uint8_t* p) {
    TZFEndRecord r;
    r.Signature = ZFReadU32(p);
    r.DiskNumber = ZFReadU16(p + 4);
    r.DirStartDisk = ZFReadU16(p + 6);
    r.EntriesOnDisk = ZFReadU16(p + 8);
    r.TotalEntries = ZFReadU16(p + 10);
    r.DirSize = ZFReadU32(p + 12);
    r.DirOffset = ZFReadU32(p + 16);
    r.CommentLength = ZFReadU16(p + 20);
    return r;
}

TZFZip64Locator DecodeZip64Locator(const uint8_t* p) {
    TZFZip64Locator r;
    r.Signature = ZFReadU32(p);
    r.EndRecordDisk = ZFReadU32(p + 4);
    r.EndRecordOffset = ZFReadU64(p + 8);
    r.TotalDisks = ZFReadU32(p + 16);
    return r;
}

TZFZip64EndRecord DecodeZip64EndRecord(const uint8_t* p) {
    TZFZip64EndRecord r;
    r.Signature = ZFReadU32(p);
    r.RecordSize = ZFReadU64(p + 4);
    r.MadeBy = ZFReadU16(p + 12);
    r.NeededVersion = ZFReadU16(p + 14);
    r.DiskNumber = ZFReadU32(p + 16);
    r.DirStartDisk = ZFReadU32(p + 20);
    r.EntriesOnDisk = ZFReadU64(p + 24);
    r.TotalEntries = ZFReadU64(p + 32);
    r.DirSize = ZFReadU64(p + 40);
    r.DirOffset = ZFReadU64(p + 48);
    return r;
}

void DecodeCentralHeader(const uint8_t* p, TDirItem& item) {
    item.Signature = ZFReadU32(p);
    item.MadeBy = ZFReadU16(p + 4);
    item.NeededVersion = ZFReadU16(p + 6);
    item.Flags = ZFReadU16(p + 8);
    item.Method = ZFReadU16(p + 10);
    item.DosTime = ZFReadU16(p + 12);
    item.DosDate = ZFReadU16(p + 14);
    item.Crc = ZFReadU32(p + 16);
    item.PackedSize = ZFReadU32(p + 20);
    item.UnpackedSize = ZFReadU32(p + 24);
    item.NameLength = ZFReadU16(p + 28);
    item.ExtraLength = ZFReadU16(p + 30);
    item.CommentLength = ZFReadU16(p + 32);
    item.StartDisk = ZFReadU16(p + 34);
    item.InternalAttr = ZFReadU16(p + 36);
    item.ExternalAttr = ZFReadU32(p + 38);
    item.HeaderOffset = ZFReadU32(p + 42);
}

void DecodeLocalHeader(const uint8_t* p, int64_t position, TDirItem& item) {
    item.Signature = ZFReadU32(p);
    item.NeededVersion = item.MadeBy = ZFReadU16(p + 4);
    item.Flags = ZFReadU16(p + 6);
    item.ActualMethod = item.Method = ZFReadU16(p + 8);
    item.DosTime = ZFReadU16(p + 10);
    item.DosDate = ZFReadU16(p + 12);
    item.Crc = ZFReadU32(p + 14);
    item.PackedSize = ZFReadU32(p + 18);
    item.UnpackedSize = ZFReadU32(p + 22);
    item.NameLength = ZFReadU16(p + 26);
    item.ExtraLength = ZFReadU16(p + 28);
    // Without a descriptor to say otherwise, an empty entry is taken for a folder.
    const bool hasData = item.UnpackedSize != 0 || (item.Flags & kDescriptorFlag) != 0;
    item.ExternalAttr = hasData ? kArchiveAttr : kDirectoryAttr;
    item.HeaderOffset = static_cast<uint32_t>(position);
}

bool HasSignature(const uint8_t* p, uint32_t signature) { return ZFReadU32(p) == signature; }

// The zip64 values stand in the fixed order of the 32-bit fields that hold the
// marker; a value cut short by its field is ignored.
void ApplyZip64Field(TDirItem& item, const TZFExtraField& field) {
    const uint8_t* data = field.Data.data();
    size_t offset = 0;
    const auto take64 = [&](bool present, uint64_t& target) {
        if (!present || field.Size <= offset) return;
        if (offset + 8 <= field.Size) target = ZFReadU64(data + offset);
        offset += 8;
    };
    take64(item.UnpackedSize == kZFZip64Marker32, item.Zip64Unpacked);
    take64(item.PackedSize == kZFZip64Marker32, item.Zip64Packed);
    take64(item.HeaderOffset == kZFZip64Marker32, item.Zip64Offset);
    if (item.StartDisk == kZFZip64Marker16 && offset + 2 <= field.Size) item.Zip64Disk = ZFReadU16(data + offset);
    item.HasZip64Extra = true;
}

void ApplyAesField(TDirItem& item, const TZFExtraField& field) {
    if (item.NeededVersion >= kAesVersionLimit || field.Size < 7) return;
    const uint8_t strength = field.Data[4];
    if (strength >= 1 && strength <= 3) item.CryptKind = strength;
    item.ActualMethod = ZFReadU16(field.Data.data() + 5);
}

// The name a Unicode name field carries, when its count fits its data.
bool UnicodeFieldName(const TZFExtraField& field, std::u16string& name) {
    if (field.Size < 8 || ZFReadU32(field.Data.data()) != kUnicodeNameSignature) return false;
    const int32_t count = static_cast<int32_t>(ZFReadU32(field.Data.data() + 4));
    if (count < 0 || static_cast<size_t>(count) > (field.Size - 8u) / 2) return false;
    name.resize(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) name[static_cast<size_t>(k)] = ZFReadU16(field.Data.data() + 8 + 2 * k);
    return true;
}

}  // namespace

// Reads the central directory front to back in large chunks; a request that
// the stream cannot fill raises the stream read error, as a direct read would.
class TZFDirManager::TSequentialReader {
public:
    TSequentialReader(TStream& stream, int64_t position) : stream_(stream), next_(position) {}

    void ReadBuffer(void* target, size_t count) {
        auto* out = static_cast<uint8_t*>(target);
        while (count > 0) {
            if (begin_ == end_ && !Refill()) throw EReadError();
            const size_t n = std::min(count, end_ - begin_);
            std::memcpy(out, buffer_.data() + begin_, n);
            begin_ += n;
            out += n;
            count -= n;
        }
    }

private:
    static constexpr size_t kChunk = 256 * 1024;

    bool Refill() {
        buffer_.resize(kChunk);
        stream_.SetPosition(next_);
        const int64_t n = stream_.Read(buffer_.data(), static_cast<int64_t>(kChunk));
        begin_ = 0;
        end_ = n > 0 ? static_cast<size_t>(n) : 0;
        next_ += static_cast<int64_t>(end_);
        return end_ > 0;
    }

    TStream& stream_;
    int64_t next_;
    std::vector<uint8_t> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

TZFDirManager::TZFDirManager(TStream& stream, bool oemFileNames) : DataStream(stream), oemFileNames_(oemFileNames) {}

void TZFDirManager::ReadDirectory() {
    Entries.SetCount(0);
    EndRecord = TZFEndRecord();
    PrefixLength = 0;
    HasZip64 = false;
    scanWindows_.clear();
    streamSize_ = DataStream.Size();

    int64_t position;
    if (!FindEndRecord(position)) return RebuildFromLocalHeaders();
    ReadZip64Records(position);
    if (!HasZip64 && EndRecord.TotalEntries == kZFZip64Marker16) return RebuildFromLocalHeaders();
    uint32_t disk = EndRecord.DiskNumber;
    if (disk == kZFZip64Marker16) disk = HasZip64 ? Zip64Locator.TotalDisks - 1 : 0;
    if (!ReadCentralDirectory(position)) {
        Entries.SetCount(0);
        return RebuildFromLocalHeaders();
    }
    if (disk == 0) DetectPrefix(position);
    AdjustOffsets();
}

// The accepted end record is the one nearest the end whose comment reaches
// exactly to the end of the stream.
bool TZFDirManager::FindEndRecord(int64_t& position) {
    const int64_t window = std::min(streamSize_, kEndRecordSearchWindow);
    if (window < kEndRecordSize) return false;
    std::vector<uint8_t> tail(static_cast<size_t>(window));
    ReadAt(streamSize_ - window, tail.data(), window);
    for (int64_t k = window - 1; k >= 3; --k) {
        const uint8_t* candidate = tail.data() + k - 3;
        if (candidate[3] != 0x06 || !HasSignature(candidate, kEndRecordSignature)) continue;
        const int64_t at = streamSize_ - window + k - 3;
        if (at + kEndRecordSize > streamSize_) continue;
        if (ZFReadU16(candidate + 20) != streamSize_ - (at + kEndRecordSize)) continue;
        EndRecord = DecodeEndRecord(candidate);
        GlobalComment.assign(reinterpret_cast<const char*>(candidate + kEndRecordSize), EndRecord.CommentLength);
        position = at;
        return true;
    }
    return false;
}

void TZFDirManager::ReadZip64Records(int64_t& position) {
    if (position > kZip64LocatorSize) {
        uint8_t bytes[kZip64LocatorSize];
        ReadAt(position - kZip64LocatorSize, bytes, kZip64LocatorSize);
        Zip64Locator = DecodeZip64Locator(bytes);
        if (Zip64Locator.Signature == kZip64LocatorSignature) {
            HasZip64 = true;
            position -= kZip64LocatorSize;
        }
    }
    if (!HasZip64) return;
    if (position > kZip64EndRecordSize) {
        uint8_t bytes[kZip64EndRecordSize];
        const uint64_t at = Zip64Locator.EndRecordOffset;
        ReadAt(at > uint64_t(streamSize_) ? streamSize_ : static_cast<int64_t>(at), bytes, kZip64EndRecordSize);
        Zip64EndRecord = DecodeZip64EndRecord(bytes);
        if (Zip64EndRecord.Signature == kZip64EndRecordSignature) {
            position -= kZip64EndRecordSize;
            return;
        }
    }
    throw EZFException(40, nullptr);
}

// The directory is taken to end where the end records begin; its offset
// fields are not trusted. A count that the directory's size cannot hold is
// refused before anything is allocated for it.
bool TZFDirManager::ReadCentralDirectory(int64_t endRecordsPosition) {
    const uint64_t dirSize = HasZip64 ? Zip64EndRecord.DirSize : EndRecord.DirSize;
    const uint64_t count = HasZip64 ? (Zip64EndRecord.TotalEntries & 0xFFFFFFFFu) : EndRecord.TotalEntries;
    if (dirSize > uint64_t(endRecordsPosition) || count > dirSize / kCentralHeaderSize || count > INT32_MAX)
        return false;
    try {
        DirStart = endRecordsPosition - static_cast<int64_t>(dirSize);
        TSequentialReader reader(DataStream, DirStart);
        Entries.SetCount(static_cast<int32_t>(count));
        for (int32_t i = 0; i < Entries.Count(); ++i) ReadCentralEntry(reader, i);
    } catch (...) {
        return false;
    }
    return true;
}

void TZFDirManager::ReadCentralEntry(TSequentialReader& reader, int32_t index) {
    uint8_t header[kCentralHeaderSize];
    reader.ReadBuffer(header, kCentralHeaderSize);
    TDirItem& item = Entries.EntryAt(index);
    DecodeCentralHeader(header, item);
    item.ActualMethod = item.Method;
    std::vector<uint8_t> bytes(item.NameLength);
    reader.ReadBuffer(bytes.data(), bytes.size());
    RegisterStoredName(index, bytes);
    bytes.resize(item.ExtraLength);
    reader.ReadBuffer(bytes.data(), bytes.size());
    ApplyExtras(index, bytes);
    item.EntryComment.resize(item.CommentLength);
    reader.ReadBuffer(item.EntryComment.data(), item.EntryComment.size());
}

// Stored names are 8-bit text, cut at a zero byte. UTF-8 names are not told
// apart: only a Unicode name field gives a name beyond the code page.
void TZFDirManager::RegisterStoredName(int32_t index, const std::vector<uint8_t>& bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    text = text.substr(0, text.find('\0'));
    const std::string ansi = oemFileNames_ ? OemToAnsi(text) : std::string(text);
    Entries.SetEntryName(index, AnsiToUtf16(ansi));
}

// Every field is kept; none is read beyond its own data or beyond the area,
// and a field header that does not fit ends the area.
void TZFDirManager::ApplyExtras(int32_t index, const std::vector<uint8_t>& area) {
    size_t consumed = 0;
    while (area.size() - consumed >= 4) {
        TDirItem& item = Entries.EntryAt(index);
        TZFExtraField field;
        field.Tag = ZFReadU16(area.data() + consumed);
        field.Size = static_cast<uint16_t>(std::min<size_t>(ZFReadU16(area.data() + consumed + 2), area.size() - consumed - 4));
        consumed += 4;
        field.Data.assign(area.begin() + static_cast<ptrdiff_t>(consumed),
                          area.begin() + static_cast<ptrdiff_t>(consumed + field.Size));
        consumed += field.Size;
        std::u16string unicodeName;
        if (field.Tag == kZip64ExtraTag) ApplyZip64Field(item, field);
        if (field.Tag == kAesTag) ApplyAesField(item, field);
        if (field.Tag == kUnicodeNameTag && UnicodeFieldName(field, unicodeName)) Entries.SetEntryName(index, unicodeName);
        item.Extras.push_back(std::move(field));
    }
}

void TZFDirManager::RebuildFromLocalHeaders() {
    Entries.Clear();
    int64_t position = FindSignature(kLocalHeaderSignature, 0);
    if (position < 0) throw EZFException(35, nullptr);
    while (position >= 0) position = FindSignature(kLocalHeaderSignature, AddLocalEntry(position));
    DirStart = streamSize_;
}

// A header whose sizes cannot be true or whose extra area is implausibly long
// is taken for signature bytes inside some entry's data. A header that is
// taken, name and extra area included, holds no further header: were its bytes
// scanned again, a few megabytes of repeated headers would each be read as
// thousands of overlapping entries, with gigabytes of names.
int64_t TZFDirManager::AddLocalEntry(int64_t position) {
    uint8_t header[kLocalHeaderSize];
    ReadAt(position, header, kLocalHeaderSize);
    if (ZFReadU32(header + 18) >= uint64_t(streamSize_) || ZFReadU16(header + 28) > kMaxLocalExtraLength)
        return position + 4;
    const int32_t index = Entries.Count();
    Entries.SetCount(index + 1);
    TDirItem& item = Entries.EntryAt(index);
    DecodeLocalHeader(header, position, item);

    const int64_t namePosition = position + kLocalHeaderSize;
    const bool nameFits = namePosition + item.NameLength <= streamSize_;
    std::vector<uint8_t> bytes;
    if (nameFits) {
        bytes.resize(item.NameLength);
        ReadAt(namePosition, bytes.data(), item.NameLength);
    }
    RegisterStoredName(index, bytes);
    if (item.ExtraLength > 0) {
        bytes.resize(item.ExtraLength);
        ReadAt(namePosition + item.NameLength, bytes.data(), item.ExtraLength);
        ApplyExtras(index, bytes);
    }
    if (position >= kZFZip64Marker32) {
        item.HeaderOffset = kZFZip64Marker32;
        item.Zip64Offset = static_cast<uint64_t>(position);
    }
    if (item.Flags & kDescriptorFlag) TakeDescriptor(item, position);
    // The lengths of a header cut short by the end of the stream are not to be trusted.
    return nameFits ? namePosition + item.NameLength + item.ExtraLength : position + 4;
}

void TZFDirManager::TakeDescriptor(TDirItem& item, int64_t headerPosition) {
    const int64_t at = FindSignature(kDataDescriptorSignature, headerPosition);
    if (at < 0 || at + kDescriptorSize > streamSize_) return;
    uint8_t descriptor[kDescriptorSize];
    ReadAt(at, descriptor, kDescriptorSize);
    item.Crc = ZFReadU32(descriptor + 4);
    item.PackedSize = ZFReadU32(descriptor + 8);
    item.UnpackedSize = ZFReadU32(descriptor + 12);
}

// Entry 0's local header is looked for from its recorded position on; where
// it is found tells how much foreign data lies in front of the archive.
void TZFDirManager::DetectPrefix(int64_t endRecordsPosition) {
    if (EndRecord.TotalEntries == 0 || Entries.Count() == 0) {
        PrefixLength = endRecordsPosition;
        return;
    }
    const TDirItem& first = Entries.EntryAt(0);
    const uint64_t recorded = EntryHeaderOffset(first);
    int64_t start = recorded < uint64_t(streamSize_) ? static_cast<int64_t>(recorded) : streamSize_;
    while (start < streamSize_) {
        const int64_t found = FindSignature(kLocalHeaderSignature, start);
        if (found < 0) return;
        if (IsFirstEntryHeader(found, first)) {
            PrefixLength = found;
            return;
        }
        start = found + 1;
    }
}

bool TZFDirManager::IsFirstEntryHeader(int64_t position, const TDirItem& first) {
    uint8_t h[kLocalHeaderSize];
    ReadAt(position, h, kLocalHeaderSize);
    if (position + kLocalHeaderSize + ZFReadU16(h + 26) > streamSize_) return false;
    if (position == 0) return true;
    return ZFReadU16(h + 4) == first.NeededVersion && ZFReadU16(h + 8) == first.Method &&
           ZFReadU16(h + 10) == first.DosTime && ZFReadU16(h + 12) == first.DosDate && ZFReadU32(h + 14) == first.Crc &&
           ZFReadU32(h + 18) == first.PackedSize && ZFReadU32(h + 22) == first.UnpackedSize;
}

// Positions that count from the archive's own start lie below the prefix; then
// every file entry moves by it. Folders keep theirs: they have no data to read.
void TZFDirManager::AdjustOffsets() {
    int32_t first = 0;
    while (first < Entries.Count() && Entries.EntryAt(first).PackedSize == 0) ++first;
    if (first == Entries.Count() || EntryHeaderOffset(Entries.EntryAt(first)) >= uint64_t(PrefixLength)) return;
    for (int32_t i = 0; i < Entries.Count(); ++i) {
        TDirItem& item = Entries.EntryAt(i);
        if (item.ExternalAttr & kDirectoryAttr) continue;
        if (item.HeaderOffset == kZFZip64Marker32)
            item.Zip64Offset += static_cast<uint64_t>(PrefixLength);
        else
            item.HeaderOffset += static_cast<uint32_t>(PrefixLength);
    }
}

int64_t TZFDirManager::FindSignature(uint32_t signature, int64_t start) {
    const uint8_t pattern[4] = {uint8_t(signature), uint8_t(signature >> 8), uint8_t(signature >> 16),
                                uint8_t(signature >> 24)};
    TScanWindow& window = WindowFor(signature);
    int64_t from = std::max<int64_t>(start, 0);
    if (from >= window.NoneFrom) return -1;
    // Entries look for their data descriptors in stream order: many start
    // between the last start and its find, and would all scan the same bytes.
    if (from >= window.FoundFrom && from <= window.FoundAt) return window.FoundAt;
    const int64_t searchStart = from;
    while (from + 4 <= streamSize_) {
        if (from < window.Start || from + 4 > window.Start + static_cast<int64_t>(window.Bytes.size()))
            LoadScanChunk(window, from);
        const uint8_t* begin = window.Bytes.data();
        const uint8_t* end = begin + window.Bytes.size();
        const uint8_t* hit = std::search(begin + (from - window.Start), end, pattern, pattern + 4);
        if (hit != end) {
            const int64_t found = window.Start + (hit - begin);
            if (signature == kLocalHeaderSignature && found + kLocalHeaderSize > streamSize_) break;
            window.FoundFrom = searchStart;
            window.FoundAt = found;
            return found;
        }
        // The next chunk repeats this one's last three bytes: a signature split by the border is still found.
        from = window.Start + static_cast<int64_t>(window.Bytes.size()) - 3;
    }
    window.NoneFrom = searchStart;
    return -1;
}

TZFDirManager::TScanWindow& TZFDirManager::WindowFor(uint32_t signature) {
    for (TScanWindow& window : scanWindows_)
        if (window.Signature == signature) return window;
    scanWindows_.push_back(TScanWindow());
    scanWindows_.back().Signature = signature;
    return scanWindows_.back();
}

void TZFDirManager::LoadScanChunk(TScanWindow& window, int64_t from) {
    const int64_t saved = DataStream.Position();
    window.Bytes.resize(static_cast<size_t>(std::min(kScanChunkSize, streamSize_ - from)));
    ReadAt(from, window.Bytes.data(), static_cast<int64_t>(window.Bytes.size()));
    window.Start = from;
    DataStream.SetPosition(saved);
}

// A read of a fixed-size record at a position; outside the stream it fails
// like a short read instead of seeking somewhere else.
void TZFDirManager::ReadAt(int64_t position, void* buffer, int64_t count) {
    if (position < 0 || position > streamSize_ - count) throw EReadError();
    DataStream.SetPosition(position);
    DataStream.ReadBuffer(buffer, count);
}
