#include "app/xpsmain.h"

#include "platform/Conversions.h"
#include "platform/Streams.h"
#include "xml/qlxXML.h"

namespace {

constexpr char16_t kSequenceName[] = u"FixedDocumentSequence.fdseq";
constexpr char16_t kShortSequenceName[] = u"FixedDocSeq.fdseq";
constexpr size_t kMaxStemLength = 50;

}  // namespace

TXpsConverter::TXpsConverter(IXpsLog& log, const IFontNameSource& fontNames) : log_(log), fontNames_(fontNames) {}

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

TXpsRunOutcome TXpsConverter::Convert(TFileStream* source) {
    log_.Clear();
    TXpsRunOutcome outcome;
    if (source == nullptr) return outcome;
    runTemplateBytes_ = 0;
    try {
        Package.Open(*source);
    } catch (...) {
        outcome.Error = DescribeCurrentError();
        return outcome;
    }
    log_.Append(u"Zip archive open");
    try {
        ConvertSequence(source->FileName(), outcome);
    } catch (...) {
        outcome.Error = DescribeCurrentError();
    }
    Package.Close();
    log_.Append(u"Zip archive close");
    return outcome;
}

void TXpsConverter::ConvertSequence(const std::u16string& sourceName, TXpsRunOutcome& outcome) {
    if (!Package.Contains(kSequenceName) && !Package.Contains(kShortSequenceName)) {
        log_.Append(u"This Zip is not XPS archive!");
        return;
    }
    outcome.IsXps = true;
    const std::u16string sequenceName = Package.Contains(kSequenceName) ? kSequenceName : kShortSequenceName;
    TMemoryStream buffer;
    ExtractPart(sequenceName, &buffer);
    TqlxXMLDocument sequence;
    sequence.LoadFromStream(buffer, false);
    ForEachChildNamed(*sequence.Root(), u"DocumentReference", [&](const TqlxXMLItem& reference, int32_t i) {
        ConvertDocument(PartNameFromSource(reference.GetAttr(u"Source"), sequenceName), i + 1, sourceName, outcome);
    });
}

void TXpsConverter::ConvertDocument(const std::u16string& docName, int32_t document, const std::u16string& sourceName,
                                    TXpsRunOutcome& outcome) {
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
        const bool done = ConvertFixedPage(page, OutputName(sourceName, document, j + 1), pageName);
        ++(done ? outcome.PagesConverted : outcome.PagesFailed);
        runTemplateBytes_ += pageTemplateBytes_;
        log_.Replace(pageIndex, pageLine + u" - Ok");
        if (OnPageDone) OnPageDone(document, j + 1);
    });
    log_.Replace(docIndex, docLine + u" - Ok");
}

void TXpsConverter::ExtractPart(const std::u16string& name, TMemoryStream* buffer) {
    if (runTemplateBytes_ > Limits.RunTemplateBytes)
        throw EXpsLimitError(u"The templates of the package take more than " + IntToStr(Limits.RunTemplateBytes) + u" bytes");
    Package.ExtractPart(name, buffer, Limits);
}
