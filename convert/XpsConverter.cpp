#include "convert/XpsConverter.h"
#include "convert/XpsContentReading.h"
#include "convert/XpsValues.h"

#include <cstring>

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Streams.h"
#include "xml/qlxXML.h"

namespace {

constexpr char16_t kSequenceName[] = u"FixedDocumentSequence.fdseq";
constexpr char16_t kShortSequenceName[] = u"FixedDocSeq.fdseq";
constexpr char16_t kPackageRelationships[] = u"_rels/.rels";
// The relationship type's last segment, the same in XPS and OpenXPS.
constexpr std::u16string_view kFixedRepresentation = u"/fixedrepresentation";
constexpr size_t kMaxStemLength = 50;
constexpr char16_t kDefaultFontName[] = u"Arial";

// The reader's legacy mode, which the text chain depends on, is chosen by a
// version 1.0 declaration without "standalone".
constexpr std::string_view kPageDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// Where the part's markup begins once its own declaration (with the byte-order
// mark and blanks in front of it) is dropped; 0 when it has none. A second
// declaration would otherwise open an element that swallows the page.
size_t SkipOwnDeclaration(const uint8_t* bytes, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (i < size && IsXmlBlank(bytes[i])) ++i;
    const std::string_view rest = text.substr(i);
    if (!rest.starts_with("<?xml") || rest.size() < 6 || !(IsXmlBlank(rest[5]) || rest[5] == '?')) return 0;
    const size_t end = rest.find("?>");
    return end == std::string_view::npos ? 0 : i + end + 2;
}

bool HasDeclaration(TMemoryStream& part) { return SkipOwnDeclaration(part.Memory(), static_cast<size_t>(part.Size())) > 0; }

// The page's declaration, then the part without its own.
void BuildPageBuffer(TMemoryStream& part, TMemoryStream& buffer) {
    const auto size = static_cast<size_t>(part.Size());
    const size_t skip = SkipOwnDeclaration(part.Memory(), size);
    buffer.SetSize(static_cast<int64_t>(kPageDeclaration.size() + size - skip));
    std::memcpy(buffer.Memory(), kPageDeclaration.data(), kPageDeclaration.size());
    if (size > skip) std::memcpy(buffer.Memory() + kPageDeclaration.size(), part.Memory() + skip, size - skip);
    buffer.SetPosition(0);
}

}  // namespace

TXpsConverter::TXpsConverter(IXpsLog& log, const IFontNameSource& fontNames)
    : log_(log),
      fontNames_(fontNames),
      fontParts_([this](const std::u16string& name, TMemoryStream& buffer) { ExtractPart(name, &buffer); }),
      partTrees_([this](const std::u16string& name, TqlxXMLDocument& document) { LoadPart(name, document); }) {}

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

TXpsRunOutcome TXpsConverter::Convert(TFileStream* source) {
    log_.Clear();
    TXpsRunOutcome outcome;
    if (source == nullptr) return outcome;
    runTemplateBytes_ = 0;
    textAdvances_.Clear();
    fontParts_.Clear();
    partTrees_.Clear();
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
    if (DocumentFonts) outcome.FontPartsFallenBack = fontParts_.FailedParts();
    textAdvances_.Clear();
    fontParts_.Clear();
    partTrees_.Clear();
    return outcome;
}

void TXpsConverter::ConvertSequence(const std::u16string& sourceName, TXpsRunOutcome& outcome) {
    const std::u16string sequenceName = FindSequence();
    if (sequenceName.empty()) {
        log_.Append(u"This Zip is not XPS archive!");
        return;
    }
    outcome.IsXps = true;
    for (const TReference& document : ReadReferences(sequenceName, u"DocumentReference", outcome))
        ConvertDocument(PartNameFromSource(document.Source, sequenceName), document.Number, sourceName, outcome);
}

std::u16string TXpsConverter::FindSequence() {
    if (Reading().FindsSequenceAtRoot()) {
        for (const char16_t* name : {kSequenceName, kShortSequenceName})
            if (Package.HasEntry(name)) return name;
        return SequenceFromRelationships();
    }
    if (!Package.Contains(kSequenceName) && !Package.Contains(kShortSequenceName)) return {};
    return Package.Contains(kSequenceName) ? kSequenceName : kShortSequenceName;
}

std::u16string TXpsConverter::SequenceFromRelationships() {
    if (!Package.HasEntry(kPackageRelationships)) return {};
    TMemoryStream buffer;
    ExtractMarkup(kPackageRelationships, buffer);
    TqlxXMLDocument relationships;
    LoadMarkup(kPackageRelationships, buffer, relationships, !HasDeclaration(buffer));
    std::u16string target;
    ForEachChildNamed(*relationships.Root(), u"Relationship", [&](const TqlxXMLItem& relationship, int32_t) {
        if (target.empty() && relationship.GetAttr(u"Type").ends_with(kFixedRepresentation))
            target = PartNameFromSource(RawXpsText(relationship, u"Target", relationships.LegacyEncoding), u"");
    });
    return target;
}

// Only the references are kept, not the part's tree, while the run goes on.
std::vector<TXpsConverter::TReference> TXpsConverter::ReadReferences(const std::u16string& partName,
                                                                     std::u16string_view element,
                                                                     TXpsRunOutcome& outcome) {
    TMemoryStream buffer;
    ExtractMarkup(partName, buffer);
    TqlxXMLDocument part;
    const bool undeclared = !HasDeclaration(buffer);
    const bool readAsPage = undeclared && Reading().ReadsUndeclaredParts();
    try {
        LoadMarkup(partName, buffer, part, readAsPage);
    } catch (const TqlxInvalidXMLException&) {
        outcome.RefusedUndeclaredPart = undeclared && !readAsPage;
        throw;
    }
    std::vector<TReference> references;
    ForEachChildNamed(*part.Root(), element, [&](const TqlxXMLItem& reference, int32_t i) {
        references.push_back({i + 1, RawXpsText(reference, u"Source", part.LegacyEncoding)});
    });
    return references;
}

void TXpsConverter::ConvertDocument(const std::u16string& docName, int32_t document, const std::u16string& sourceName,
                                    TXpsRunOutcome& outcome) {
    const std::u16string docLine = u"Doc" + IntToStr(document);
    const int32_t docIndex = log_.Append(docLine);
    for (const TReference& content : ReadReferences(docName, u"PageContent", outcome)) {
        const std::u16string pageName = PartNameFromSource(content.Source, docName);
        const std::u16string pageLine = u"Page" + IntToStr(content.Number);
        const int32_t pageIndex = log_.Append(pageLine);
        TMemoryStream page;
        ExtractMarkup(pageName, page);
        TXpsPageResult result = ConvertFixedPage(page, OutputName(sourceName, document, content.Number), pageName);
        result.Document = document;
        result.Page = content.Number;
        ++(result.Status == TXpsPageStatus::Written ? outcome.PagesConverted : outcome.PagesFailed);
        outcome.SkippedCanvasContent = outcome.SkippedCanvasContent || result.SkippedCanvasContent;
        runTemplateBytes_ += result.TemplateBytes;
        log_.Replace(pageIndex, pageLine + u" - Ok");
        if (OnPageDone) OnPageDone(result);
    }
    log_.Replace(docIndex, docLine + u" - Ok");
}

void TXpsConverter::LoadMarkup(const std::u16string& partName, TMemoryStream& part, TqlxXMLDocument& document,
                               bool likeAPage) {
    document.MaxElements = Limits.PartElements;
    try {
        if (!likeAPage) {
            document.LoadFromStream(part, false);
            return;
        }
        TMemoryStream buffer;
        BuildPageBuffer(part, buffer);
        document.LoadFromStream(buffer, false);
    } catch (const TqlxXMLElementLimitException&) {
        throw EXpsLimitError(u"The part \"" + partName + u"\" holds more than " + IntToStr(Limits.PartElements) +
                             u" elements");
    }
}

void TXpsConverter::LoadPart(const std::u16string& partName, TqlxXMLDocument& document) {
    TMemoryStream buffer;
    ExtractMarkup(partName, buffer);
    LoadMarkup(partName, buffer, document, true);
}

void TXpsConverter::CheckTemplateRoom() const {
    if (runTemplateBytes_ > Limits.RunTemplateBytes)
        throw EXpsLimitError(u"The templates of the package take more than " + IntToStr(Limits.RunTemplateBytes) + u" bytes");
}

void TXpsConverter::ExtractPart(const std::u16string& name, TMemoryStream* buffer) {
    CheckTemplateRoom();
    Package.ExtractPart(name, buffer);
}

void TXpsConverter::ExtractMarkup(const std::u16string& name, TMemoryStream& buffer) {
    CheckTemplateRoom();
    Package.ExtractMarkup(name, buffer);
}

const TXpsContentReading& TXpsConverter::Reading() const {
    return Nested ? TXpsContentReading::Nested() : TXpsContentReading::Default();
}

TXpsPageContext TXpsConverter::PageContext() {
    const std::u16string chosen = fontNames_.FontName();
    return {Reading(),
            Limits,
            chosen.empty() ? kDefaultFontName : chosen,
            DocumentFonts ? &fontParts_ : nullptr,
            log_,
            [this](const std::u16string& partName) { ExtractPart(partName, nullptr); },
            &partTrees_,
            TextLines ? &textAdvances_ : nullptr};
}

TXpsPageResult TXpsConverter::ConvertFixedPage(TMemoryStream& pageStream, const std::u16string& outName,
                                               const std::u16string& pageName) {
    TXpsPageResult result;
    try {
        TqlxXMLDocument page;
        LoadMarkup(pageName, pageStream, page, true);
        TranslatePage(*page.Root(), outName, pageName, PageContext(), result);
    } catch (...) {
        const TErrorDescription error = DescribeCurrentError();
        LogPageError(error.ClassName, error.Message);
        result.Status = TXpsPageStatus::Failed;
    }
    return result;
}

void TXpsConverter::LogPageError(const std::u16string& className, const std::u16string& message) {
    log_.Append(u"-Convert error!!!");
    log_.Append(u"-ClassName: " + className);
    log_.Append(u"-Message: " + message);
}
