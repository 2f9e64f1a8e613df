#include "convert/XpsPackage.h"

#include <cstring>
#include <ostream>

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Streams.h"

namespace {

// Passes a part's bytes on as they are unpacked, to a buffer or nowhere,
// counting them against the limits: whatever sizes the package records, a
// part or a run that grows too large is stopped there.
class TPartSink : public TPassOnStream {
public:
    TPartSink(const std::u16string& name, TMemoryStream* target, const TXpsLimits& limits, int64_t& unpackedBytes)
        : name_(name), target_(target), limits_(limits), unpackedBytes_(unpackedBytes) {}

protected:
    void PassOn(const void* buffer, int64_t count) override {
        if (target_ != nullptr && count > limits_.PartBytes - target_->Position())
            throw EXpsLimitError(u"The part \"" + name_ + u"\" is larger than " + IntToStr(limits_.PartBytes) + u" bytes");
        if (count > limits_.RunUnpackedBytes - unpackedBytes_)
            throw EXpsLimitError(u"The package unpacks to more than " + IntToStr(limits_.RunUnpackedBytes) + u" bytes");
        unpackedBytes_ += count;
        if (target_ != nullptr) target_->WriteBuffer(buffer, count);
    }

private:
    const std::u16string& name_;
    TMemoryStream* target_;
    const TXpsLimits& limits_;
    int64_t& unpackedBytes_;
};

// Passes an entry's bytes on to an output stream as they are unpacked.
class TOutputSink : public TPassOnStream {
public:
    explicit TOutputSink(std::ostream& out) : out_(out) {}

protected:
    void PassOn(const void* buffer, int64_t count) override {
        // Unpacking on would only make more bytes to lose.
        if (!out_.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(count))) throw EWriteError();
    }

private:
    std::ostream& out_;
};

// Whether the component's search can take the name for what it is.
bool IsSearchable(const std::u16string& name) {
    return name.size() < TInternalSearchRec::kMaskCapacity && name.find_first_of(u"*?") == std::u16string::npos;
}

// The text of UTF-16 markup, byte-order mark and all, in UTF-8 without one;
// an odd last byte is dropped and an unpaired surrogate becomes U+FFFD.
std::string Utf16MarkupToUtf8(const uint8_t* bytes, size_t size, bool bigEndian) {
    std::u16string text(size / 2 - 1, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t first = bytes[2 * i + 2];
        const uint8_t second = bytes[2 * i + 3];
        text[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return Utf16ToUtf8(text);
}

}  // namespace

EXpsLimitError::EXpsLimitError(std::u16string message) : Exception(u"EXpsLimitError", std::move(message)) {}

TXpsPackage::TXpsPackage() {
    archive_.Name = u"ZipArchiverXPS";
    archive_.ExtractCorruptedFiles = false;
    archive_.Options.OEMFileNames = true;
}

TXpsPackage::~TXpsPackage() { Close(); }

void TXpsPackage::Open(TStream& source) {
    archive_.OpenStream(source, false);
    unpackedBytes_ = 0;
    partsTaken_ = 0;
    piecesJoined_ = 0;
    missing_.clear();
}

void TXpsPackage::Close() {
    if (archive_.IsOpen()) archive_.CloseStream();
    missing_.clear();
}

bool TXpsPackage::Contains(const std::u16string& name) {
    TZFArchiveItem item;
    return archive_.FindFirstEntry(name, item, kZFAttrFilesOnly, u"") || !PieceNames(name).empty();
}

bool TXpsPackage::HasEntry(const std::u16string& name) { return HasStoredEntry(name) || !PieceNames(name).empty(); }

bool TXpsPackage::HasStoredEntry(const std::u16string& name) {
    int32_t index = 0;
    return archive_.DirManager() != nullptr && archive_.DirManager()->Entries.FindEntry(name, index);
}

std::vector<TXpsPackageEntry> TXpsPackage::Entries() {
    std::vector<TXpsPackageEntry> entries;
    if (TZFDirManager* manager = archive_.DirManager()) {
        TZFDirArray& directory = manager->Entries;
        for (int32_t i = 0; i < directory.Count(); ++i) {
            const TDirItem& entry = directory.EntryAt(i);
            entries.push_back({entry.EntryName, EntryUnpackedSize(entry)});
        }
    }
    return entries;
}

void TXpsPackage::ExtractPart(const std::u16string& name, TMemoryStream* buffer) {
    if (++partsTaken_ > Limits.RunParts)
        throw EXpsLimitError(u"The package refers to more than " + IntToStr(Limits.RunParts) + u" parts");
    TPartSink sink(name, buffer, Limits, unpackedBytes_);
    ExtractNamed(name, sink);
    if (buffer != nullptr) buffer->SetPosition(0);
}

void TXpsPackage::ExtractMarkup(const std::u16string& name, TMemoryStream& buffer) {
    ExtractPart(name, &buffer);
    const uint8_t* bytes = buffer.Memory();
    const auto size = static_cast<size_t>(buffer.Size());
    const bool littleEndian = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    const bool bigEndian = size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
    if (!littleEndian && !bigEndian) return;
    const std::string text = Utf16MarkupToUtf8(bytes, size, bigEndian);
    buffer.SetSize(static_cast<int64_t>(text.size()));
    std::memcpy(buffer.Memory(), text.data(), text.size());
    buffer.SetPosition(0);
}

void TXpsPackage::ExtractEntry(const std::u16string& name, std::ostream& out) {
    TOutputSink sink(out);
    ExtractNamed(name, sink);
}

void TXpsPackage::ExtractNamed(const std::u16string& name, TStream& destination) {
    if (archive_.IsOpen() && !HasStoredEntry(name) && !missing_.contains(name)) {
        const std::vector<std::u16string> pieces = PieceNames(name);
        // A piece costs little, but a part of many pieces named many times would cost without end.
        if (static_cast<int64_t>(pieces.size()) > Limits.RunPieces - piecesJoined_)
            throw EXpsLimitError(u"The package joins more than " + IntToStr(Limits.RunPieces) + u" pieces into parts");
        piecesJoined_ += static_cast<int64_t>(pieces.size());
        for (const std::u16string& piece : pieces) archive_.ExtractEntryToStream(piece, destination);
        if (!pieces.empty()) return;
        if (!IsSearchable(name)) missing_.insert(name);
    }
    if (missing_.contains(name)) throw EZFException(kZFFileNotFound, &archive_, {name});
    try {
        archive_.ExtractEntryToStream(name, destination);
    } catch (const EZFException& e) {
        if (e.NativeError == kZFFileNotFound) missing_.insert(name);
        throw;
    }
}

// Each piece looked for is an entry, so a directory of n entries ends the
// search after n pieces at most.
std::vector<std::u16string> TXpsPackage::PieceNames(const std::u16string& name) {
    std::vector<std::u16string> pieces;
    for (;;) {
        const std::u16string stem = name + u"/[" + IntToStr(static_cast<int64_t>(pieces.size())) + u"]";
        if (HasStoredEntry(stem + u".last.piece")) {
            pieces.push_back(stem + u".last.piece");
            return pieces;
        }
        if (!HasStoredEntry(stem + u".piece")) return {};
        pieces.push_back(stem + u".piece");
    }
}
