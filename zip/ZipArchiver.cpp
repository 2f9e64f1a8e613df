#include "zip/ZipArchiver.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "platform/Exceptions.h"
#include "zip/ZipArchiverBytes.h"

namespace {

constexpr int64_t kLocalHeaderSize = 30;
constexpr size_t kInputChunk = 1024 * 1024;
constexpr size_t kOutputChunk = 256 * 1024;
constexpr uint16_t kEncryptedFlag = 0x0001;
constexpr uint16_t kAesVersionLimit = 0x4114;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kDeflate64 = 9;

// Puts a flag back on every way out of a call.
class TFlagRestorer {
public:
    TFlagRestorer(bool& flag, bool temporary) : flag_(flag), saved_(flag) { flag_ = temporary; }
    ~TFlagRestorer() { flag_ = saved_; }
    TFlagRestorer(const TFlagRestorer&) = delete;
    TFlagRestorer& operator=(const TFlagRestorer&) = delete;

private:
    bool& flag_;
    bool saved_;
};

// Passes an entry's bytes to the destination with their CRC-32. Nothing
// beyond the recorded size is written: a bomb that inflates far past its
// recorded size is stopped there instead of filling memory.
class TEntrySink {
public:
    TEntrySink(TStream& destination, uint64_t recordedSize) : destination_(destination), limit_(recordedSize) {}

    // False once the bytes would pass the recorded size.
    bool Write(const uint8_t* data, size_t count) {
        const bool fits = count <= limit_ - produced_;
        const size_t n = fits ? count : static_cast<size_t>(limit_ - produced_);
        destination_.WriteBuffer(data, static_cast<int64_t>(n));
        crc_ = crc32_z(crc_, data, n);
        produced_ += n;
        return fits;
    }

    uint64_t Produced() const { return produced_; }
    uint32_t Crc() const { return static_cast<uint32_t>(crc_); }

private:
    TStream& destination_;
    uint64_t limit_;
    uint64_t produced_ = 0;
    uLong crc_ = 0;
};

// Entries hold raw deflate data: no header in front, no checksum behind, so
// whatever follows the last block is never taken for part of the stream.
class TInflater {
public:
    TInflater() {
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) throw EStreamError();
    }
    ~TInflater() { inflateEnd(&stream_); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    z_stream* Get() { return &stream_; }

private:
    z_stream stream_{};
};

// The chunks of one entry's compressed data and what became of them. The
// buffers are no larger than the entry needs: most package parts are small.
class TEntryDecoder {
public:
    TEntryDecoder(TStream& source, uint64_t packed, uint64_t unpacked, bool deflated, TEntrySink& sink)
        : source_(source),
          packed_(packed),
          deflated_(deflated),
          sink_(sink),
          inputSize_(static_cast<size_t>(std::min<uint64_t>(kInputChunk, packed))),
          outputSize_(unpacked < kOutputChunk ? static_cast<size_t>(unpacked) + 1 : kOutputChunk) {}

    // Reads the next chunk and passes it on; false when the entry is done.
    bool DecodeChunk() {
        if (finished_ || consumed_ >= packed_) return false;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(inputSize_, packed_ - consumed_));
        if (!input_) input_ = std::make_unique_for_overwrite<uint8_t[]>(inputSize_);
        consumed_ += n;
        source_.ReadBuffer(input_.get(), static_cast<int64_t>(n));
        if (!deflated_) {
            ok_ = sink_.Write(input_.get(), n);
            finished_ = !ok_;
            return !finished_;
        }
        if (!inflater_) {
            inflater_ = std::make_unique<TInflater>();
            output_ = std::make_unique_for_overwrite<uint8_t[]>(outputSize_);
        }
        Inflate(input_.get(), n);
        return !finished_;
    }

    bool Ok() const { return ok_; }
    double Progress() const { return packed_ == 0 ? 100.0 : 100.0 * double(consumed_) / double(packed_); }

private:
    // A full output buffer may leave the inflater holding more output even
    // when the chunk is used up: a long run of repeats is a few input bytes.
    // So it is drained until it ends the stream or asks for input; after the
    // last chunk nothing else would fetch that output.
    void Inflate(uint8_t* data, size_t count) {
        z_stream* z = inflater_->Get();
        z->next_in = data;
        z->avail_in = static_cast<uInt>(count);
        do {
            z->next_out = output_.get();
            z->avail_out = static_cast<uInt>(outputSize_);
            const int result = inflate(z, Z_NO_FLUSH);
            if (result == Z_BUF_ERROR) return;  // nothing to give without more input
            if (result < 0) return Fail();
            if (!sink_.Write(output_.get(), outputSize_ - z->avail_out)) return Fail();
            // Bytes after the end of the stream are left alone; the size and CRC tests judge the entry.
            if (result == Z_STREAM_END) finished_ = true;
        } while (!finished_ && (z->avail_in > 0 || z->avail_out == 0));
    }

    void Fail() {
        ok_ = false;
        finished_ = true;
    }

    TStream& source_;
    uint64_t packed_;
    bool deflated_;
    TEntrySink& sink_;
    size_t inputSize_;
    size_t outputSize_;
    uint64_t consumed_ = 0;
    bool ok_ = true;
    bool finished_ = false;
    std::unique_ptr<uint8_t[]> input_;
    std::unique_ptr<uint8_t[]> output_;
    std::unique_ptr<TInflater> inflater_;
};

}  // namespace

TZFBaseArchiver::~TZFBaseArchiver() { CloseStream(); }

void TZFBaseArchiver::OpenStream(TStream& stream, bool create) {
    if (SpanningMode != smNone) throw EZFException(51, this);
    if (create) throw EZFException(32, this);
    CloseStream();
    auto manager = std::make_unique<TZFDirManager>(stream, Options.OEMFileNames);
    manager->ReadDirectory();
    dirManager_ = std::move(manager);
    archiveStream_ = &stream;
    isOpen_ = true;
    if (AfterOpen) AfterOpen(*this);
}

void TZFBaseArchiver::CloseStream() {
    isOpen_ = false;
    archiveStream_ = nullptr;
    dirManager_.reset();
}

void TZFBaseArchiver::ExtractEntryToStream(const std::u16string& name, TStream& destination) {
    if (!isOpen_) throw EZFException(13, this);
    // The fallback search looks only in the name's own folder.
    TFlagRestorer recurse(Options.Recurse, false);
    const int32_t index = LocateEntry(name);
    ExtractEntry(dirManager_->Entries.EntryAt(index), destination);
}

int32_t TZFBaseArchiver::LocateEntry(const std::u16string& name) {
    int32_t index;
    if (dirManager_->Entries.FindEntry(name, index)) return index;
    TZFArchiveItem scratch;
    if (FindFirstEntry(name, scratch, kZFAttrAll, u"")) return scratch.Search.Position;
    throw EZFException(kZFFileNotFound, this, {name});
}

// Everything but the local header's two lengths comes from the directory.
void TZFBaseArchiver::ExtractEntry(const TDirItem& entry, TStream& destination) {
    TStream& stream = *archiveStream_;
    const uint64_t headerOffset = EntryHeaderOffset(entry);
    const int64_t streamSize = stream.Size();
    if (streamSize < kLocalHeaderSize || headerOffset > uint64_t(streamSize - kLocalHeaderSize)) throw EReadError();
    stream.SetPosition(static_cast<int64_t>(headerOffset));
    uint8_t header[kLocalHeaderSize];
    stream.ReadBuffer(header, kLocalHeaderSize);
    const int64_t dataStart = static_cast<int64_t>(headerOffset) + kLocalHeaderSize + ZFReadU16(header + 26) +
                              ZFReadU16(header + 28);
    stream.SetPosition(dataStart);
    // The data never reaches into the central directory.
    const int64_t room = std::max<int64_t>(dirManager_->DirStart - dataStart, 0);
    const uint64_t packed = std::min<uint64_t>(EntryPackedSize(entry), uint64_t(room));

    TEntrySink sink(destination, EntryUnpackedSize(entry));
    bool cancel = false;
    bool ok = false;
    const bool encrypted = (entry.Flags & kEncryptedFlag) != 0 || entry.CryptKind != 0;
    if (!encrypted && (entry.ActualMethod == kStored || entry.ActualMethod == kDeflated)) {
        TEntryDecoder decoder(stream, packed, EntryUnpackedSize(entry), entry.ActualMethod == kDeflated, sink);
        NotifyProgress(entry.EntryName, 0, ppStart, cancel);
        while (!cancel && decoder.DecodeChunk()) NotifyProgress(entry.EntryName, decoder.Progress(), ppProcess, cancel);
        if (!cancel) NotifyProgress(entry.EntryName, 100, ppEnd, cancel);
        ok = decoder.Ok();
    } else if (!encrypted && entry.ActualMethod == kDeflate64) {
        throw EZFException(55, nullptr);
    }
    ok = ok && sink.Produced() == EntryUnpackedSize(entry);
    if (ok && entry.NeededVersion < kAesVersionLimit) ok = sink.Crc() == entry.Crc;
    if (!ok && !cancel && !ExtractCorruptedFiles) throw EZFException(8, this);
}

void TZFBaseArchiver::NotifyProgress(const std::u16string& fileName, double progress, TZFProgressPhase phase,
                                     bool& cancel) {
    if (OnFileProgress) OnFileProgress(*this, fileName, progress, phase, cancel);
    if (OnOverallProgress) OnOverallProgress(*this, progress, phase, cancel);
}
