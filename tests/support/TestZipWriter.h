#pragma once

// Builds ZIP archives byte by byte for tests: well-formed ones, and the
// damaged or unusual ones that real tools do not make. Every recorded value
// that a reader might distrust can be set on its own.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Streams.h"

enum class TTestDescriptor { None, WithSignature, WithoutSignature };

struct TTestZipEntry {
    std::string Name;     // the stored name bytes
    std::string Content;  // the uncompressed bytes
    // 0 stores and 8 deflates Content; any other number stores Content under that number.
    uint16_t Method = 0;
    std::optional<std::string> Data;  // written as the entry's data instead of what Method makes of Content
    uint16_t Flags = 0;               // bit 3 is added when a descriptor is written
    // With a descriptor the local header records zeros and the sizes and CRC-32 follow the data.
    TTestDescriptor Descriptor = TTestDescriptor::None;
    // Sizes and position recorded as 0xFFFFFFFF, the values in zip64 extra fields of both headers.
    bool Zip64 = false;
    // Recorded instead of the true values, in both headers and in the descriptor.
    std::optional<uint32_t> Crc;
    std::optional<uint64_t> PackedSize;
    std::optional<uint64_t> UnpackedSize;
    uint16_t NeededVersion = 20;
    uint16_t MadeBy = 20;
    uint16_t DosTime = 0x6000;
    uint16_t DosDate = 0x5A21;
    uint32_t ExternalAttr = 0x20;
    std::string LocalExtra;  // appended to the extra fields the writer makes itself
    std::string CentralExtra;
    std::string Comment;
};

struct TTestZipArchive {
    std::string Prefix;  // foreign data in front of the archive
    // Recorded positions leave the prefix out, as when a stub is put in front of a finished archive.
    bool OffsetsFromArchiveStart = true;
    std::vector<TTestZipEntry> Entries;
    bool CentralDirectory = true;  // false writes local headers and data only, without end records
    std::string Comment;
    std::string Trailer;         // bytes after the comment
    bool Zip64Records = false;   // zip64 end record and locator; the end record then holds markers
    // Recorded in the end records instead of the true values.
    std::optional<uint16_t> DiskNumber;
    std::optional<uint64_t> EntryCount;
    std::optional<uint64_t> DirSize;
    std::optional<uint64_t> DirOffset;
    std::optional<uint16_t> CommentLength;
};

// The archive's bytes and where its records lie in them.
struct TTestZipLayout {
    std::string Bytes;
    std::vector<int64_t> LocalHeaders;
    std::vector<int64_t> DataStarts;
    int64_t DirStart = 0;
    int64_t EndRecords = 0;  // the first of the zip64 end record, the locator and the end record
};

// Entries of content, stored or deflated when the archive is built, and an
// archive of nothing else.
TTestZipEntry StoredEntry(std::string name, std::string content);
TTestZipEntry DeflatedEntry(std::string name, std::string content);
TTestZipArchive ArchiveOf(std::vector<TTestZipEntry> entries);

TTestZipLayout BuildTestZip(const TTestZipArchive& archive);
std::string TestZipBytes(const TTestZipArchive& archive);

// Extra fields, header included.
std::string ExtraField(uint16_t tag, std::string_view data);
std::string UnicodeNameField(std::u16string_view name);
std::string AesField(uint8_t keyStrength, uint16_t actualMethod);

std::string Le16(uint16_t value);
std::string Le32(uint32_t value);
std::string Le64(uint64_t value);

// Raw deflate data, as ZIP entries hold it.
std::string DeflateRaw(std::string_view data, int level = 6);
// Raw deflate data of mebibytes × 1 MiB of zero bytes, made without compressing them all.
std::string DeflatedZeros(uint64_t mebibytes);
uint32_t Crc32Of(std::string_view data);
uint32_t Adler32Of(std::string_view data);

// Replaces the stream's bytes and moves it to the start.
void LoadStream(TMemoryStream& stream, std::string_view bytes);
std::string StreamBytes(TMemoryStream& stream);
