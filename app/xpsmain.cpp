#include "app/xpsmain.h"

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Streams.h"
#include "xml/qlxXML.h"

namespace {

constexpr char16_t kSequenceName[] = u"FixedDocumentSequence.fdseq";
constexpr char16_t kShortSequenceName[] = u"FixedDocSeq.fdseq";
constexpr size_t kMaxStemLength = 50;

// Passes a part's bytes on as they are unpacked, to a buffer or nowhere,
// counting them against the limits: whatever sizes the package records, a
// part or a run that grows too large is stopped there.
class TPartSink : public TMemoryStream {
public:
    TPartSink(const std::u16string& name, TMemoryStream* target, const TXpsLimits& limits, int64_t& runUnpackedBytes)
        : name_(name), target_(target), limits_(limits), runUnpackedBytes_(runUnpackedBytes) {}

    int64_t Write(const void* buffer, int64_t count) override {
        if (target_ != nullptr && count > limits_.PartBytes - target_->Position())
            throw EXpsLimitError(u"The part \"" + name_ + u"\" is larger than " + IntToStr(limits_.PartBytes) + u" bytes");
        if (count > limits_.RunUnpackedBytes - runUnpackedBytes_)
            throw EXpsLimitError(u"The package unpacks to more than " + IntToStr(limits_.RunUnpackedBytes) + u" bytes");
        runUnpackedBytes_ += count;
        return target_ != nullptr ? target_->Write(buffer, count) : count;
    }

private:
    const std::u16string& name_;
    TMemoryStream* target_;
    const TXpsLimits& limits_;
    int64_t& runUnpackedBytes_;
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
    stem.resize(CharacterPrefixLength(stem, kMaxStemLength));
    return sourceName.substr(0, nameStart) + stem + u"_" + IntToStr(document) + u"_" + IntToStr(page) + u".qlt";
}

void TXpsConverter::Convert(TFileStream* source) {
    log_.Clear();
    if (source == nullptr) return;
    runUnpackedBytes_ = runTemplateBytes_ = 0;
    runParts_ = 0;
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
    TMemoryStream buffer;
    ExtractPart(sequenceName, &buffer);
    TqlxXMLDocument sequence;
    sequence.LoadFromStream(buffer, false);
    ForEachChildNamed(*sequence.Root(), u"DocumentReference", [&](const TqlxXMLItem& reference, int32_t i) {
        ConvertDocument(PartNameFromSource(reference.GetAttr(u"Source"), sequenceName), i + 1, sourceName);
    });
}

void TXpsConverter::ConvertDocument(const std::u16string& docName, int32_t document, const std::u16string& sourceName) {
    const std::u16string docLine = u"Doc" + IntToStr(document);
    const int32_t docIndex = log_.Append(docLine);
    TMemoryStream buffer;
    ExtractPart(docName, &buffer);
    TqlxXMLDocument fixedDocument;
    fixedDocument.LoadFromStream(buffer, false);
    ForEachChildNamed(*fixedDocument.Root(), u"PageContent", [&](const TqlxXMLItem& content, int32_t j) {
        const std::u16string pageName = PartNameFromSource(content.GetAttr(u"Source"), docName);
        const std::u16string pageLine = u"Page" + IntToStr(j + 1);
        const int32_t pageIndex = log_.Append(pageLine);
        TMemoryStream page;
        ExtractPart(pageName, &page);
        ConvertFixedPage(page, OutputName(sourceName, document, j + 1), pageName);
        runTemplateBytes_ += pageTemplateBytes_;
        log_.Replace(pageIndex, pageLine + u" - Ok");
        if (OnPageDone) OnPageDone(document, j + 1);
    });
    log_.Replace(docIndex, docLine + u" - Ok");
}

void TXpsConverter::ExtractPart(const std::u16string& name, TMemoryStream* buffer) {
    if (runTemplateBytes_ > Limits.RunTemplateBytes)
        throw EXpsLimitError(u"The templates of the package take more than " + IntToStr(Limits.RunTemplateBytes) + u" bytes");
    if (++runParts_ > Limits.RunParts)
        throw EXpsLimitError(u"The package refers to more than " + IntToStr(Limits.RunParts) + u" parts");
    TPartSink sink(name, buffer, Limits, runUnpackedBytes_);
    ZipArchiverXPS.ExtractEntryToStream(name, sink);
    if (buffer != nullptr) buffer->SetPosition(0);
}
