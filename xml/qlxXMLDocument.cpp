#include "platform/Files.h"
#include "xml/qlxXML.h"
#include "xml/qlxXMLReader.h"
#include "xml/qlxXMLWriter.h"

namespace {

constexpr std::u16string_view kSwapFilePrefix = u"qlx";

// Saves the document as a new file named prefix and a unique ending; a file
// that could not be written in full is removed. Returns the file's name.
std::u16string WriteUniqueFile(TqlxXMLDocument& document, const std::u16string& prefix) {
    const std::unique_ptr<TFileStream> file = TFileStream::CreateUnique(prefix);
    try {
        document.SaveToStream(*file);
    } catch (...) {
        DeleteFile(file->FileName());
        throw;
    }
    return file->FileName();
}

// Puts the written file in place of path. One that cannot be renamed there
// stays as keptPath; once a save succeeds, such a copy of an earlier one is
// stale and goes.
void PutInPlace(const std::u16string& written, const std::u16string& path, const std::u16string& keptPath) {
    if (RenameFile(written, path)) {
        DeleteFile(keptPath);
    } else if (!RenameFile(written, keptPath)) {
        DeleteFile(written);
    }
}

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

// The file is written under a fresh name of its own beside path and renamed
// over it: nothing planted under a name others can guess is written through,
// and what was at path stays whole until the rename replaces it at once. A
// written file that cannot be put in place stays as path + ".tmp".
void TqlxXMLDocument::SaveToFile(const std::u16string& path) {
    const std::u16string keptPath = path + u".tmp";
    const std::u16string written = WriteUniqueFile(*this, keptPath);
    CloseSwapStream();
    PutInPlace(written, path, keptPath);
    LoadFromFile(path);
}

void TqlxXMLDocument::WriteToFile(const std::u16string& path) {
    const std::u16string keptPath = path + u".tmp";
    PutInPlace(WriteUniqueFile(*this, keptPath), path, keptPath);
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
