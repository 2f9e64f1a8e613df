#include "tests/support/TestZipWriter.h"

#include <zlib.h>

#include <stdexcept>

namespace {

constexpr uint32_t kMarker32 = 0xFFFFFFFF;
constexpr uint16_t kDescriptorFlag = 0x0008;

struct TRecorded {
    std::string Data;
    uint32_t Crc;
    uint64_t Packed;
    uint64_t Unpacked;
};

TRecorded RecordedValues(const TTestZipEntry& entry) {
    TRecorded r;
    if (entry.Data)
        r.Data = *entry.Data;
    else
        r.Data = entry.Method == 8 ? DeflateRaw(entry.Content) : entry.Content;
    r.Crc = entry.Crc.value_or(Crc32Of(entry.Content));
    r.Packed = entry.PackedSize.value_or(r.Data.size());
    r.Unpacked = entry.UnpackedSize.value_or(entry.Content.size());
    return r;
}

uint32_t Field32(bool zip64, uint64_t value) { return zip64 ? kMarker32 : static_cast<uint32_t>(value); }

std::string LocalHeader(const TTestZipEntry& entry, const TRecorded& r) {
    const bool descriptor = entry.Descriptor != TTestDescriptor::None;
    const std::string extra =
        (entry.Zip64 ? ExtraField(0x0001, Le64(r.Unpacked) + Le64(r.Packed)) : std::string()) + entry.LocalExtra;
    std::string h = Le32(0x04034B50) + Le16(entry.NeededVersion);
    h += Le16(static_cast<uint16_t>(entry.Flags | (descriptor ? kDescriptorFlag : 0)));
    h += Le16(entry.Method) + Le16(entry.DosTime) + Le16(entry.DosDate);
    h += Le32(descriptor ? 0 : r.Crc);
    h += Le32(descriptor ? 0 : Field32(entry.Zip64, r.Packed));
    h += Le32(descriptor ? 0 : Field32(entry.Zip64, r.Unpacked));
    h += Le16(static_cast<uint16_t>(entry.Name.size())) + Le16(static_cast<uint16_t>(extra.size()));
    return h + entry.Name + extra;
}

std::string Descriptor(const TTestZipEntry& entry, const TRecorded& r) {
    if (entry.Descriptor == TTestDescriptor::None) return {};
    std::string d = entry.Descriptor == TTestDescriptor::WithSignature ? Le32(0x08074B50) : std::string();
    return d + Le32(r.Crc) + Le32(static_cast<uint32_t>(r.Packed)) + Le32(static_cast<uint32_t>(r.Unpacked));
}

std::string CentralHeader(const TTestZipEntry& entry, const TRecorded& r, uint64_t offset) {
    const bool descriptor = entry.Descriptor != TTestDescriptor::None;
    const std::string extra =
        (entry.Zip64 ? ExtraField(0x0001, Le64(r.Unpacked) + Le64(r.Packed) + Le64(offset)) : std::string()) +
        entry.CentralExtra;
    std::string h = Le32(0x02014B50) + Le16(entry.MadeBy) + Le16(entry.NeededVersion);
    h += Le16(static_cast<uint16_t>(entry.Flags | (descriptor ? kDescriptorFlag : 0)));
    h += Le16(entry.Method) + Le16(entry.DosTime) + Le16(entry.DosDate) + Le32(r.Crc);
    h += Le32(Field32(entry.Zip64, r.Packed)) + Le32(Field32(entry.Zip64, r.Unpacked));
    h += Le16(static_cast<uint16_t>(entry.Name.size())) + Le16(static_cast<uint16_t>(extra.size()));
    h += Le16(static_cast<uint16_t>(entry.Comment.size())) + Le16(0) + Le16(0) + Le32(entry.ExternalAttr);
    h += Le32(Field32(entry.Zip64, offset));
    return h + entry.Name + extra + entry.Comment;
}

std::string Zip64EndRecords(uint64_t count, uint64_t dirSize, uint64_t dirOffset, uint64_t recordOffset) {
    std::string r = Le32(0x06064B50) + Le64(44) + Le16(45) + Le16(45) + Le32(0) + Le32(0);
    r += Le64(count) + Le64(count) + Le64(dirSize) + Le64(dirOffset);
    return r + Le32(0x07064B50) + Le32(0) + Le64(recordOffset) + Le32(1);
}

}  // namespace

TTestZipEntry StoredEntry(std::string name, std::string content) {
    TTestZipEntry entry;
    entry.Name = std::move(name);
    entry.Content = std::move(content);
    return entry;
}

TTestZipEntry DeflatedEntry(std::string name, std::string content) {
    TTestZipEntry entry = StoredEntry(std::move(name), std::move(content));
    entry.Method = 8;
    return entry;
}

TTestZipArchive ArchiveOf(std::vector<TTestZipEntry> entries) {
    TTestZipArchive archive;
    archive.Entries = std::move(entries);
    return archive;
}

TTestZipLayout BuildTestZip(const TTestZipArchive& archive) {
    TTestZipLayout layout;
    std::string& out = layout.Bytes;
    out = archive.Prefix;
    const uint64_t base = archive.OffsetsFromArchiveStart ? archive.Prefix.size() : 0;
    std::string directory;
    for (const TTestZipEntry& entry : archive.Entries) {
        const TRecorded r = RecordedValues(entry);
        layout.LocalHeaders.push_back(static_cast<int64_t>(out.size()));
        const uint64_t offset = out.size() - base;
        out += LocalHeader(entry, r);
        layout.DataStarts.push_back(static_cast<int64_t>(out.size()));
        out += r.Data + Descriptor(entry, r);
        directory += CentralHeader(entry, r, offset);
    }
    layout.DirStart = static_cast<int64_t>(out.size());
    layout.EndRecords = layout.DirStart;
    if (!archive.CentralDirectory) return layout;
    out += directory;
    layout.EndRecords = static_cast<int64_t>(out.size());
    const uint64_t count = archive.EntryCount.value_or(archive.Entries.size());
    const uint64_t dirSize = archive.DirSize.value_or(directory.size());
    const uint64_t dirOffset = archive.DirOffset.value_or(layout.DirStart - base);
    if (archive.Zip64Records) out += Zip64EndRecords(count, dirSize, dirOffset, layout.EndRecords - base);
    const uint16_t disk = archive.DiskNumber.value_or(0);
    out += Le32(0x06054B50) + Le16(disk) + Le16(disk);
    const auto count16 = static_cast<uint16_t>(archive.Zip64Records ? 0xFFFF : count);
    out += Le16(count16) + Le16(count16);
    out += Le32(archive.Zip64Records ? kMarker32 : static_cast<uint32_t>(dirSize));
    out += Le32(archive.Zip64Records ? kMarker32 : static_cast<uint32_t>(dirOffset));
    out += Le16(archive.CommentLength.value_or(static_cast<uint16_t>(archive.Comment.size())));
    out += archive.Comment + archive.Trailer;
    return layout;
}

std::string TestZipBytes(const TTestZipArchive& archive) { return BuildTestZip(archive).Bytes; }

std::string ExtraField(uint16_t tag, std::string_view data) {
    return Le16(tag) + Le16(static_cast<uint16_t>(data.size())) + std::string(data);
}

std::string UnicodeNameField(std::u16string_view name) {
    std::string data = Le32(0x5843554E) + Le32(static_cast<uint32_t>(name.size()));
    for (const char16_t ch : name) data += Le16(ch);
    return ExtraField(0x554E, data);
}

std::string AesField(uint8_t keyStrength, uint16_t actualMethod) {
    return ExtraField(0x9901, Le16(2) + "AE" + std::string(1, static_cast<char>(keyStrength)) + Le16(actualMethod));
}

std::string Le16(uint16_t value) { return {static_cast<char>(value), static_cast<char>(value >> 8)}; }

std::string Le32(uint32_t value) {
    return Le16(static_cast<uint16_t>(value)) + Le16(static_cast<uint16_t>(value >> 16));
}

std::string Le64(uint64_t value) {
    return Le32(static_cast<uint32_t>(value)) + Le32(static_cast<uint32_t>(value >> 32));
}

std::string DeflateRaw(std::string_view data, int level) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

// A fully flushed block sequence refers to nothing before it, so one
// compressed mebibyte of zeros can be repeated; an empty final block ends it.
std::string DeflatedZeros(uint64_t mebibytes) {
    const std::string zeros(1 << 20, '\0');
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string block(deflateBound(&z, zeros.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef*>(block.data());
    z.avail_out = static_cast<uInt>(block.size());
    deflate(&z, Z_FULL_FLUSH);
    block.resize(z.total_out);
    deflateEnd(&z);
    std::string out;
    out.reserve(block.size() * mebibytes + 2);
    for (uint64_t i = 0; i < mebibytes; ++i) out += block;
    return out + std::string("\x03\x00", 2);
}

uint32_t Crc32Of(std::string_view data) {
    return static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

uint32_t Adler32Of(std::string_view data) {
    return static_cast<uint32_t>(adler32_z(1, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

void LoadStream(TMemoryStream& stream, std::string_view bytes) {
    stream.Clear();
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
}

std::string StreamBytes(TMemoryStream& stream) {
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}
