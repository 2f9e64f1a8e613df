#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Streams.h"
#include "zip/ZipArchiverDirectory.h"

// The end of central directory record as read.
struct TZFEndRecord {
    uint32_t Signature = 0x06054B50;
    uint16_t DiskNumber = 0;
    uint16_t DirStartDisk = 0;
    uint16_t EntriesOnDisk = 0;
    uint16_t TotalEntries = 0;
    uint32_t DirSize = 0;
    uint32_t DirOffset = 0;
    uint16_t CommentLength = 0;
};

struct TZFZip64Locator {
    uint32_t Signature = 0;
    uint32_t EndRecordDisk = 0;
    uint64_t EndRecordOffset = 0;
    uint32_t TotalDisks = 0;
};

// The fixed first 56 bytes of the zip64 end of central directory record.
struct TZFZip64EndRecord {
    uint32_t Signature = 0;
    uint64_t RecordSize = 0;
    uint16_t MadeBy = 0;
    uint16_t NeededVersion = 0;
    uint32_t DiskNumber = 0;
    uint32_t DirStartDisk = 0;
    uint64_t EntriesOnDisk = 0;
    uint64_t TotalEntries = 0;
    uint64_t DirSize = 0;
    uint64_t DirOffset = 0;
};

// The records and the entry directory of one open archive. It reads the
// stream it is given and never writes, closes or frees it.
class TZFDirManager {
public:
    TZFDirManager(TStream& stream, bool oemFileNames);

    TStream& DataStream;
    TZFDirArray Entries;
    TZFEndRecord EndRecord;
    TZFZip64Locator Zip64Locator;
    TZFZip64EndRecord Zip64EndRecord;
    bool HasZip64 = false;
    int64_t PrefixLength = 0;
    int64_t DirStart = 0;
    std::string GlobalComment;

    // Fills the directory from the central directory, or from the local
    // headers when the central directory cannot be had.
    void ReadDirectory();
    void RebuildFromLocalHeaders();
    void DetectPrefix(int64_t endRecordsPosition);
    void AdjustOffsets();
    // The position of the first occurrence at or after start, or -1. A local
    // header signature needs a whole 30-byte header behind it to count.
    int64_t FindSignature(uint32_t signature, int64_t start);

private:
    class TSequentialReader;

    bool FindEndRecord(int64_t& position);
    void ReadZip64Records(int64_t& position);
    bool ReadCentralDirectory(int64_t endRecordsPosition);
    void ReadCentralEntry(TSequentialReader& reader, int32_t index);
    // Returns where the scan for the next header goes on.
    int64_t AddLocalEntry(int64_t position);
    void TakeDescriptor(TDirItem& item, int64_t headerPosition);
    bool IsFirstEntryHeader(int64_t position, const TDirItem& first);

    void RegisterStoredName(int32_t index, const std::vector<uint8_t>& bytes);
    void ApplyExtras(int32_t index, const std::vector<uint8_t>& area);
    void ReadAt(int64_t position, void* buffer, int64_t count);

    // The chunk of the stream that the scan for one signature last read, where
    // a scan already ran to the end without finding it, and what the last
    // successful scan found: nothing lies between its start and its find.
    struct TScanWindow {
        uint32_t Signature = 0;
        std::vector<uint8_t> Bytes;
        int64_t Start = 0;
        int64_t NoneFrom = INT64_MAX;
        int64_t FoundFrom = INT64_MAX;
        int64_t FoundAt = -1;
    };

    TScanWindow& WindowFor(uint32_t signature);
    void LoadScanChunk(TScanWindow& window, int64_t from);

    bool oemFileNames_;
    int64_t streamSize_ = 0;
    // Local headers and data descriptors are looked for alternately; each keeps its own window.
    std::vector<TScanWindow> scanWindows_;
};
