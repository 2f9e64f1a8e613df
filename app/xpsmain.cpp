#include "app/xpsmain.h"

#include "platform/Conversions.h"
#include "platform/Streams.h"
#include "xml/qlxXML.h"

namespace {

constexpr char16_t kSequenceName[] = u"FixedDocumentSequence.fdseq";
constexpr char16_t kShortSequenceName[] = u"FixedDocSeq.fdseq";
constexpr size_t kMaxStemLength = 50;

// The memory a part is extracted into. A part that grows beyond the limit is
// refused there, whatever sizes the package records: a small deflated part
// can unpack to gigabytes.
class TPartBuffer : public TMemoryStream {
public:
    explicit TPartBuffer(const std::u16string& name) : name_(name) {}

    int64_t Write(const void* buffer, int64_t count) override {
        if (count > kMaxXpsPartSize - Position())
            throw EXpsLimitError(u"The part \"" + name_ + u"\" is larger than " + IntToStr(kMaxXpsPartSize >> 20) + u" MB");
        return TMemoryStream::Write(buffer, count);
    }

private:
    std::u16string name_;
};

}  // namespace

EXpsLimitError::EXpsLimitError(std::u16string message) : Exception(u"EXpsLimitError", std::move(message)) {}

TXpsConverter::TXpsConverter(IXpsLog& log, const IFontNameSource& fontNames) : log_(log), fontNames_(fontNames) {
    ZipArchiverXPS.Name = u"ZipArchiverXPS";
    ZipArchiverXPS.ExtractCorruptedFiles = false;
    ZipArchiverXPS.Options.OEMFileNames = true;
}

std::u16string ErrorBoxText(const std::u16string& message) {
    return !message.empty() && message.back() > u'.' ? message + u"." : message;
}

// The extension goes before the numbers are added, so a stem with a "." of
// its own keeps every page apart (a.b.xps gives a.b_1_1.qlt, a.b_1_2.qlt).
std::u16string OutputName(const std::u16string& sourceName, int32_t document, int32_t page) {
    const size_t slash = sourceName.rfind(u'/');
    const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
    std::u16string stem = sourceName.substr(nameStart);
    if (const size_t dot = stem.rfind(u'.'); dot != std::u16string::npos) stem.resize(dot);
    if (stem.size() > kMaxStemLength) stem.resize(kMaxStemLength);
    return sourceName.substr(0, nameStart) + stem + u"_" + IntToStr(document) + u"_" + IntToStr(page) + u".qlt";
}

void TXpsConverter::Convert(TFileStream* source) {
    log_.Clear();
    if (source == nullptr) return;
    ZipArchiverXPS.OpenStream(*source, false);
    log_.Append(u"Zip archive open");
    try {
        ConvertSequence(source->FileName());
    } catch (...) {
        CloseArchive();
        throw;
    }
    CloseArchive();
}

void TXpsConverter::CloseArchive() {
    ZipArchiverXPS.CloseStream();
    log_.Append(u"Zip archive close");
}

void TXpsConverter::ConvertSequence(const std::u16string& sourceName) {
    TZFArchiveItem item;
    const auto hasEntry = [&](const char16_t* name) { return ZipArchiverXPS.FindFirstEntry(name, item, 495, u""); };
    if (!hasEntry(kSequenceName) && !hasEntry(kShortSequenceName)) {
        log_.Append(u"This Zip is not XPS archive!");
        return;
    }
    const std::u16string sequenceName = hasEntry(kSequenceName) ? kSequenceName : kShortSequenceName;
    TPartBuffer buffer(sequenceName);
    ExtractPart(sequenceName, buffer);
    TqlxXMLDocument sequence;
    sequence.LoadFromStream(buffer, false);
    ForEachChildNamed(*sequence.Root(), u"DocumentReference", [&](const TqlxXMLItem& reference, int32_t i) {
        ConvertDocument(PartNameFromSource(reference.GetAttr(u"Source"), sequenceName), i + 1, sourceName);
    });
}

void TXpsConverter::ConvertDocument(const std::u16string& docName, int32_t document, const std::u16string& sourceName) {
    const std::u16string docLine = u"Doc" + IntToStr(document);
    const int32_t docIndex = log_.Append(docLine);
    TPartBuffer buffer(docName);
    ExtractPart(docName, buffer);
    TqlxXMLDocument fixedDocument;
    fixedDocument.LoadFromStream(buffer, false);
    ForEachChildNamed(*fixedDocument.Root(), u"PageContent", [&](const TqlxXMLItem& content, int32_t j) {
        const std::u16string pageName = PartNameFromSource(content.GetAttr(u"Source"), docName);
        const std::u16string pageLine = u"Page" + IntToStr(j + 1);
        const int32_t pageIndex = log_.Append(pageLine);
        TPartBuffer page(pageName);
        ExtractPart(pageName, page);
        ConvertFixedPage(page, OutputName(sourceName, document, j + 1), pageName);
        log_.Replace(pageIndex, pageLine + u" - Ok");
        if (OnPageDone) OnPageDone(document, j + 1);
    });
    log_.Replace(docIndex, docLine + u" - Ok");
}

void TXpsConverter::ExtractPart(const std::u16string& name, TMemoryStream& buffer) {
    ZipArchiverXPS.ExtractEntryToStream(name, buffer);
    buffer.SetPosition(0);
}
