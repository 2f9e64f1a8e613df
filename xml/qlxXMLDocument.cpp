#include "platform/Files.h"
#include "platform/ReplacementFile.h"
#include "xml/qlxXML.h"
#include "xml/qlxXMLReader.h"
#include "xml/qlxXMLWriter.h"

namespace {

constexpr std::u16string_view kSwapFilePrefix = u"qlx";

}  // namespace

TqlxXMLDocument::TqlxXMLDocument() : root_(std::make_unique<TqlxXMLItem>()) {}

TqlxXMLDocument::~TqlxXMLDocument() { CloseSwapStream(); }

void TqlxXMLDocument::ClearTree() {
    root_->ClearChildren();
    CloseSwapStream();
}

void TqlxXMLDocument::LoadFromStream(TStream& stream, bool swapping) {
    ParseStream(stream, swapping);
    if (!swapping) return;
    swapStream_ = &stream;
    swapStreamLegacy_ = LegacyEncoding;
}

void TqlxXMLDocument::LoadFromStream(std::unique_ptr<TStream> stream, bool swapping) {
    LoadFromStream(*stream, swapping);
    if (swapping) ownedSwapStream_ = std::move(stream);
}

void TqlxXMLDocument::SaveToStream(TStream& stream) {
    TqlxXMLWriter writer(stream);
    writer.Indented = Indented;
    writer.SwapStream = swapStream_;
    writer.SwapStreamLegacy = swapStreamLegacy_;
    writer.EmitDeclaration();
    writer.EmitTree(root_.get());
}

void TqlxXMLDocument::LoadFromFile(const std::u16string& path) {
    LoadFromStream(std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyWrite), true);
}

// The swap stream may be the file at path itself: it is read from while the
// new file is written, and closed before that replaces it.
void TqlxXMLDocument::SaveToFile(const std::u16string& path) {
    WriteFileInPlace(path, [this](TFileStream& file) {
        SaveToStream(file);
        CloseSwapStream();
    });
    LoadFromFile(path);
}

void TqlxXMLDocument::SwapOut(TqlxXMLItem* item) {
    if (!item->ChildrenLoaded || !item->Swappable) return;
    // Elements swapped out by a load point into the loaded stream; a second
    // backing stream is not opened beside it, the element just stays in memory.
    if (swapStream_ != nullptr && swapFileName_.empty()) return;
    OpenSwapFile();
    swapStream_->Seek(0, TSeekOrigin::End);
    item->SwapOffset = static_cast<uint64_t>(swapStream_->Size());
    TqlxXMLWriter writer(*swapStream_);
    // Descendants swapped out before are read back, or their children would be lost.
    writer.SwapStream = swapStream_;
    writer.EmitTree(item);
    item->ClearChildren();
}

void TqlxXMLDocument::SwapIn(TqlxXMLItem* item) {
    if (swapStream_ == nullptr || !item->Swappable || item->ChildrenLoaded) return;
    const std::u16string attrText = item->AttrText;
    {
        TqlxXMLReader reader(*swapStream_);
        reader.LegacyEncoding = swapStreamLegacy_;
        reader.SeekTo(static_cast<int64_t>(item->SwapOffset));
        reader.ParseTree(item, true);
    }
    item->AttrText = attrText;
    item->ChildrenLoaded = true;
}

void TqlxXMLDocument::ParseStream(TStream& stream, bool swapping) {
    CloseSwapStream();
    TqlxXMLReader reader(stream);
    root_->ClearChildren();
    root_->SwapOffset = 0;
    // The root is reused: what an earlier load marked on it must not carry over.
    root_->Swappable = false;
    root_->ChildrenLoaded = true;
    reader.MaxElements = MaxElements;
    reader.ParseDeclaration();
    LegacyEncoding = reader.LegacyEncoding;
    reader.ParseTree(root_.get(), !swapping);
}

void TqlxXMLDocument::OpenSwapFile() {
    if (!swapFileName_.empty()) return;
    std::u16string dir = DirectoryExists(SwapDir) ? SwapDir : TempDirectory();
    if (dir.back() != u'/') dir.push_back(u'/');
    const std::u16string name = CreateUniqueFile(dir, std::u16string(kSwapFilePrefix));
    try {
        ownedSwapStream_ = std::make_unique<TFileStream>(name, fmOpenReadWrite);
    } catch (...) {
        DeleteFile(name);
        throw;
    }
    swapStream_ = ownedSwapStream_.get();
    swapStreamLegacy_ = false;
    swapFileName_ = name;
}

void TqlxXMLDocument::CloseSwapStream() {
    ownedSwapStream_.reset();
    swapStream_ = nullptr;
    if (!swapFileName_.empty()) DeleteFile(swapFileName_);
    swapFileName_.clear();
}
