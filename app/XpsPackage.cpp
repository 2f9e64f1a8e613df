#include "app/XpsPackage.h"

#include "platform/Conversions.h"
#include "platform/Streams.h"

namespace {

// Passes a part's bytes on as they are unpacked, to a buffer or nowhere,
// counting them against the limits: whatever sizes the package records, a
// part or a run that grows too large is stopped there.
class TPartSink : public TMemoryStream {
public:
    TPartSink(const std::u16string& name, TMemoryStream* target, const TXpsLimits& limits, int64_t& unpackedBytes)
        : name_(name), target_(target), limits_(limits), unpackedBytes_(unpackedBytes) {}

    int64_t Write(const void* buffer, int64_t count) override {
        if (target_ != nullptr && count > limits_.PartBytes - target_->Position())
            throw EXpsLimitError(u"The part \"" + name_ + u"\" is larger than " + IntToStr(limits_.PartBytes) + u" bytes");
        if (count > limits_.RunUnpackedBytes - unpackedBytes_)
            throw EXpsLimitError(u"The package unpacks to more than " + IntToStr(limits_.RunUnpackedBytes) + u" bytes");
        unpackedBytes_ += count;
        return target_ != nullptr ? target_->Write(buffer, count) : count;
    }

private:
    const std::u16string& name_;
    TMemoryStream* target_;
    const TXpsLimits& limits_;
    int64_t& unpackedBytes_;
};

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
}

void TXpsPackage::Close() {
    if (archive_.IsOpen()) archive_.CloseStream();
}

bool TXpsPackage::Contains(const std::u16string& name) {
    TZFArchiveItem item;
    return archive_.FindFirstEntry(name, item, kZFAttrFilesOnly, u"");
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

void TXpsPackage::ExtractPart(const std::u16string& name, TMemoryStream* buffer, const TXpsLimits& limits) {
    if (++partsTaken_ > limits.RunParts)
        throw EXpsLimitError(u"The package refers to more than " + IntToStr(limits.RunParts) + u" parts");
    TPartSink sink(name, buffer, limits, unpackedBytes_);
    archive_.ExtractEntryToStream(name, sink);
    if (buffer != nullptr) buffer->SetPosition(0);
}

void TXpsPackage::ExtractEntry(const std::u16string& name, TMemoryStream& destination) {
    archive_.ExtractEntryToStream(name, destination);
}
