#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestTempFolder.h"
#include "tests/support/RunTestSupport.h"
#include "convert/XpsConverter.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"

namespace {

using TLines = std::vector<std::u16string>;

const std::u16string kNoError;

class ConversionRun : public ::testing::Test {
protected:
    // Writes the package as fileName in the folder and converts it once;
    // returns "Class: message" of an error that ended the run, else empty.
    std::u16string Run(const std::string& fileName, const std::vector<TPart>& parts) {
        WriteFileBytes(folder_.Path(fileName), PackageBytes(parts));
        TFileStream source(folder_.Path(fileName), fmOpenRead | fmShareExclusive);
        return Convert(source);
    }

    std::u16string Convert(TFileStream& source) {
        TXpsConverter converter(log_, font_);
        converter.Nested = nested_;
        converter.Limits = limits_;
        converter.OnPageDone = [this](const TXpsPageResult& page) { pagesDone_.emplace_back(page.Document, page.Page); };
        outcome_ = converter.Convert(&source);
        return outcome_.Error ? outcome_.Error->ClassName + u": " + outcome_.Error->Message : kNoError;
    }

    TLines Texts(const std::string& templateName) const { return TemplateTexts(folder_.Path(templateName)); }

    TTempFolder folder_;
    TXpsLineLog log_;
    TFixedFontName font_;
    std::vector<std::pair<int32_t, int32_t>> pagesDone_;
    bool nested_ = false;
    TXpsLimits limits_;
    TXpsRunOutcome outcome_;
};

// The part's text in UTF-16 with a byte-order mark, as office suites write it.
std::string Utf16Part(const std::string& utf8, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : Utf8ToUtf16(utf8)) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// A package whose sequence and document parts have no declaration.
std::vector<TPart> Undeclared(std::vector<TPart> parts) {
    for (const size_t entry : {kSequenceEntry, kDocumentEntry})
        parts[entry].Content.erase(0, parts[entry].Content.find("?>") + 2);
    return parts;
}

TEST_F(ConversionRun, DocumentsAndPagesAreNumberedByTheirPositionAmongAllChildren) {
    const std::string sequence = XmlPart(
        "<FixedDocumentSequence><Note/><DocumentReference Source=\"/Documents/1/FixedDocument.fdoc\"/>"
        "<DocumentReference Source=\"/Documents/2/FixedDocument.fdoc\"/></FixedDocumentSequence>");
    const std::string first = XmlPart(
        "<FixedDocument><PageContent Source=\"/Pages/a.fpage\"/><PageContent.Other/>"
        "<PageContent Source=\"/Pages/b.fpage\"/></FixedDocument>");
    const std::string second = XmlPart(
        "<FixedDocument><PageContent Source=\"/Pages/c.fpage\"><PageContent.LinkTargets/></PageContent></FixedDocument>");
    EXPECT_EQ(Run("Invoice.xps", {{"FixedDocumentSequence.fdseq", sequence},
                                  {"Documents/1/FixedDocument.fdoc", first},
                                  {"Documents/2/FixedDocument.fdoc", second},
                                  {"Pages/a.fpage", TextPage("a")},
                                  {"Pages/b.fpage", TextPage("b")},
                                  {"Pages/c.fpage", TextPage("c")}}),
              kNoError);
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc2 - Ok", u"Page1 - Ok", u"Page3 - Ok", u"Doc3 - Ok",
                                  u"Page1 - Ok", u"Zip archive close"}));
    EXPECT_EQ(folder_.Files(),
              (std::vector<std::string>{"Invoice.xps", "Invoice_2_1.qlt", "Invoice_2_3.qlt", "Invoice_3_1.qlt"}));
    EXPECT_EQ(Texts("Invoice_2_1.qlt"), TLines{u"10,20:a"});
    EXPECT_EQ(Texts("Invoice_2_3.qlt"), TLines{u"10,20:b"});
    EXPECT_EQ(Texts("Invoice_3_1.qlt"), TLines{u"10,20:c"});
    EXPECT_EQ(pagesDone_, (std::vector<std::pair<int32_t, int32_t>>{{2, 1}, {2, 3}, {3, 1}}));
}

TEST_F(ConversionRun, EitherSequenceNameServesAndTheLongOneIsPreferred) {
    std::vector<TPart> shortOnly = OneDocument({TextPage("short name")});
    shortOnly[kSequenceEntry].Name = "FixedDocSeq.fdseq";
    EXPECT_EQ(Run("short.xps", shortOnly), kNoError);
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u"Zip archive close"}));
    EXPECT_EQ(Texts("short_1_1.qlt"), TLines{u"10,20:short name"});

    std::vector<TPart> both = OneDocument({TextPage("long name")});
    both.push_back({"Documents/2/FixedDocument.fdoc", DocumentPart({"/Pages/other.fpage"})});
    both.push_back({"Pages/other.fpage", TextPage("short name")});
    both.insert(both.begin(), {"FixedDocSeq.fdseq", SequencePart({"/Documents/2/FixedDocument.fdoc"})});
    EXPECT_EQ(Run("both.xps", both), kNoError);
    EXPECT_EQ(Texts("both_1_1.qlt"), TLines{u"10,20:long name"});
}

TEST_F(ConversionRun, PackagesWithoutASequenceAtTheRoot) {
    std::vector<TPart> inFolder = OneDocument({TextPage("x")});
    inFolder[kSequenceEntry].Name = "Sub/FixedDocumentSequence.fdseq";
    EXPECT_EQ(Run("folder.xps", inFolder),
              u"EZFException: ZipArchiverXPS: File \"FixedDocumentSequence.fdseq\" not found - Native error: 00015");
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Zip archive close"}));

    std::vector<TPart> none = OneDocument({TextPage("x")});
    none.erase(none.begin() + kSequenceEntry);
    EXPECT_EQ(Run("none.xps", none), kNoError);
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"This Zip is not XPS archive!", u"Zip archive close"}));

    WriteFileBytes(folder_.Path("text.xps"), "not an archive at all");
    TFileStream text(folder_.Path("text.xps"), fmOpenRead | fmShareExclusive);
    EXPECT_EQ(Convert(text).substr(0, 14), u"EZFException: ");
    EXPECT_TRUE(log_.Lines.empty());
    EXPECT_EQ(folder_.Files(), (std::vector<std::string>{"folder.xps", "none.xps", "text.xps"}));
}

TEST_F(ConversionRun, PartsThatCannotBeReadEndTheRunAfterClosingTheArchive) {
    std::vector<TPart> noDeclaration = OneDocument({TextPage("x")});
    noDeclaration[kSequenceEntry].Content = "<FixedDocumentSequence><DocumentReference Source=\"/Documents/1/FixedDocument.fdoc\"/>"
                                   "</FixedDocumentSequence>";
    EXPECT_EQ(Run("nodecl.xps", noDeclaration), u"TqlxInvalidXMLException: Invalid file format");
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Zip archive close"}));

    std::vector<TPart> noDocument = OneDocument({TextPage("x")});
    noDocument.erase(noDocument.begin() + kDocumentEntry);
    EXPECT_EQ(Run("nodoc.xps", noDocument),
              u"EZFException: ZipArchiverXPS: File \"Documents/1/FixedDocument.fdoc\" not found - Native error: 00015");
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1", u"Zip archive close"}));

    std::vector<TPart> noSecondPage = OneDocument({TextPage("one"), TextPage("two")});
    noSecondPage.erase(noSecondPage.begin() + kFirstPageEntry + 1);
    EXPECT_EQ(Run("nopage.xps", noSecondPage),
              u"EZFException: ZipArchiverXPS: File \"Documents/1/Pages/2.fpage\" not found - Native error: 00015");
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1", u"Page1 - Ok", u"Page2", u"Zip archive close"}));
    EXPECT_EQ(Texts("nopage_1_1.qlt"), TLines{u"10,20:one"});

    std::vector<TPart> badReference = OneDocument({TextPage("x")});
    badReference[kSequenceEntry].Content = SequencePart({"/Documents/1/Fixed&#xZZ;Document.fdoc"});
    EXPECT_EQ(Run("badref.xps", badReference), u"EConvertError: ''xZZ'' is not a valid integer value");
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Zip archive close"}));
}

TEST_F(ConversionRun, RelativeReferencesResolveAgainstTheReferringPart) {
    const std::vector<TPart> parts = {
        {"FixedDocumentSequence.fdseq", SequencePart({"Documents/1/FixedDocument.fdoc"})},
        {"Documents/1/FixedDocument.fdoc",
         DocumentPart({"Pages/1.fpage", "/Documents/1/Pages/2.fpage", "../1/Pages/./3.fpage", "/Documents/1/Pages/&#x34;.fpage"})},
        {"Documents/1/Pages/1.fpage", TextPage("relative")},
        {"Documents/1/Pages/2.fpage", TextPage("absolute")},
        {"Documents/1/Pages/3.fpage", PageWith(ImageBrushPath({"../../../Resources/a.png", "/Resources/a.png"}))},
        {"Documents/1/Pages/4.fpage", TextPage("escaped")},
        {"Resources/a.png", SamplePng(2, 2)},
    };
    EXPECT_EQ(Run("refs.xps", parts), kNoError);
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u"Page2 - Ok", u"Page3 - Ok",
                                  u".png: Resources/a.png", u".png: Resources/a.png", u"Page4 - Ok", u"Zip archive close"}));
    EXPECT_EQ(Texts("refs_1_1.qlt"), TLines{u"10,20:relative"});
    EXPECT_EQ(Texts("refs_1_2.qlt"), TLines{u"10,20:absolute"});
    EXPECT_TRUE(folder_.Exists("refs_1_3.qlt"));
    EXPECT_EQ(Texts("refs_1_4.qlt"), TLines{u"10,20:escaped"});
}

TEST_F(ConversionRun, AFailingPageIsMarkedDoneAndFollowedByItsErrorLines) {
    const std::string badWidth = "<FixedPage Width=\"wide\" Height=\"1056\"><Glyphs OriginX=\"1\" OriginY=\"2\" "
                                 "FontRenderingEmSize=\"12\"/></FixedPage>";
    EXPECT_EQ(Run("fail.xps", OneDocument({badWidth, "<Canvas/>", TextPage("third")})), kNoError);
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u"-Convert error!!!",
                                  u"-ClassName: EConvertError", u"-Message: 'wide' is not a valid floating point value",
                                  u"Page2 - Ok", u"Page3 - Ok", u"Zip archive close"}));
    EXPECT_EQ(folder_.Files(), (std::vector<std::string>{"fail.xps", "fail_1_3.qlt"}));
    EXPECT_EQ(pagesDone_.size(), 3u);
}

TEST_F(ConversionRun, ImageBrushesAreNamedAndTakenFromThePackage) {
    const std::string nested = "<Canvas>" + ImageBrushPath({"/Resources/nested.png"}) + "</Canvas>";
    const std::string otherFill = "<Path Data=\"M 0,0 L 1,1\"><Path.Fill><SolidColorBrush Color=\"#FF000000\"/>"
                                  "<ImageBrush.Fake ImageSource=\"/Resources/nested.png\"/></Path.Fill>"
                                  "<Path.Stroke><ImageBrush ImageSource=\"/Resources/nested.png\"/></Path.Stroke></Path>";
    std::vector<TPart> parts = OneDocument({
        PageWith(ImageBrushPath({"/Resources/a.png", "/Resources/Images/1"}) + nested + otherFill +
                 ImageBrushPath({"/RESOURCES/B.PNG"})),
        PageWith(ImageBrushPath({"/Resources/missing.png", "/Resources/a.png"})),
        TextPage("after"),
    });
    parts.push_back({"Resources/a.png", SamplePng(2, 2)});
    parts.push_back({"Resources/Images/1", SamplePng(3, 3)});
    parts.push_back({"Resources/b.png", SamplePng(4, 4)});
    EXPECT_EQ(Run("brush.xps", parts), kNoError);
    EXPECT_EQ(log_.Lines,
              (TLines{u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u".png: Resources/a.png", u": Resources/Images/1",
                      u".PNG: RESOURCES/B.PNG", u"Page2 - Ok", u".png: Resources/missing.png", u"-Convert error!!!",
                      u"-ClassName: EZFException",
                      u"-Message: ZipArchiverXPS: File \"Resources/missing.png\" not found - Native error: 00015",
                      u"Page3 - Ok", u"Zip archive close"}));
    EXPECT_EQ(folder_.Files(), (std::vector<std::string>{"brush.xps", "brush_1_1.qlt", "brush_1_3.qlt"}));
}

TEST_F(ConversionRun, ASecondRunOnTheHeldFileGivesTheSameLogAndFiles) {
    const std::string name = "again.xps";
    WriteFileBytes(folder_.Path(name),
                   PackageBytes(OneDocument({TextPage("first"), "<FixedPage Width=\"x\"/>", TextPage("third")})));
    TFileStream source(folder_.Path(name), fmOpenRead | fmShareExclusive);
    EXPECT_EQ(Convert(source), kNoError);
    const TLines firstLog = log_.Lines;
    const std::vector<std::string> firstFiles = folder_.Files();
    const std::string firstTemplate = TemplateWithoutTimes(folder_.Path("again_1_3.qlt"));
    EXPECT_EQ(Convert(source), kNoError);
    EXPECT_EQ(log_.Lines, firstLog);
    EXPECT_EQ(log_.Lines.size(), 9u);
    EXPECT_EQ(folder_.Files(), firstFiles);
    EXPECT_EQ(TemplateWithoutTimes(folder_.Path("again_1_3.qlt")), firstTemplate);
    EXPECT_NE(firstTemplate.find("Text=\"third\""), std::string::npos);
}

TEST_F(ConversionRun, OutputNamesKeepTheFolderAndCutTheStem) {
    const std::vector<TPart> twoPages = OneDocument({TextPage("one"), TextPage("two")});
    const std::string longStem(60, 'L');
    EXPECT_EQ(Run(longStem + ".xps", twoPages), kNoError);
    EXPECT_TRUE(folder_.Exists(longStem.substr(0, 50) + "_1_2.qlt"));

    EXPECT_EQ(Run("a.b.xps", twoPages), kNoError);
    EXPECT_EQ(Texts("a.b_1_1.qlt"), TLines{u"10,20:one"});
    EXPECT_EQ(Texts("a.b_1_2.qlt"), TLines{u"10,20:two"});

    std::filesystem::create_directory(std::filesystem::path(NativePath(folder_.Path("dir.v2"))));
    EXPECT_EQ(Run("dir.v2/package", twoPages), kNoError);
    EXPECT_TRUE(folder_.Exists("dir.v2/package_1_1.qlt"));
    EXPECT_FALSE(folder_.Exists("a.qlt"));
    EXPECT_FALSE(folder_.Exists("dir.qlt"));
}

TEST_F(ConversionRun, Utf16PartsReadAsTheirText) {
    for (const bool bigEndian : {false, true}) {
        std::vector<TPart> parts = OneDocument({TextPage("caf\xC3\xA9 \xF0\x9D\x84\x9E")});
        for (const size_t entry : {kSequenceEntry, kDocumentEntry, kFirstPageEntry})
            parts[entry].Content = Utf16Part(parts[entry].Content, bigEndian);
        EXPECT_EQ(Run("utf16.xps", parts), kNoError);
        EXPECT_EQ(Texts("utf16_1_1.qlt"), TLines{u"10,20:caf\u00E9 \U0001D11E"});
    }
}

TEST_F(ConversionRun, PartsWithoutADeclarationNeedTheNestedMode) {
    const std::vector<TPart> office = Undeclared(OneDocument(
        {PageWith("<Canvas><Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"9\" UnicodeString=\"in\"/></Canvas>")}));
    EXPECT_EQ(Run("office.xps", office), u"TqlxInvalidXMLException: Invalid file format");
    EXPECT_TRUE(outcome_.RefusedUndeclaredPart);
    EXPECT_FALSE(outcome_.SkippedCanvasContent);
    nested_ = true;
    EXPECT_EQ(Run("office.xps", office), kNoError);
    EXPECT_FALSE(outcome_.NestedModeWouldHelp());
    EXPECT_EQ(Texts("office_1_1.qlt"), TLines{u"1,2:in"});

    // Declared parts convert in the flat mode, which only hints at what it left.
    nested_ = false;
    EXPECT_EQ(Run("flat.xps", OneDocument({PageWith("<Canvas><Canvas><Path Data=\"M 0,0 L 1,1\"/></Canvas></Canvas>")})),
              kNoError);
    EXPECT_TRUE(outcome_.SkippedCanvasContent);
    EXPECT_FALSE(outcome_.RefusedUndeclaredPart);
    EXPECT_TRUE(outcome_.Complete());
    EXPECT_EQ(Run("flat.xps", OneDocument({PageWith("<Canvas><Canvas.Resources><Path/></Canvas.Resources></Canvas>")})),
              kNoError);
    EXPECT_FALSE(outcome_.NestedModeWouldHelp());
}

TEST_F(ConversionRun, TheNestedModeFindsTheSequenceThroughThePackageRelationships) {
    nested_ = true;
    const struct {
        std::string target, type;
    } cases[] = {
        {"/Documents/Seq.fdseq", "http://schemas.microsoft.com/xps/2005/06/fixedrepresentation"},
        {"Documents/Seq.fdseq", "http://schemas.openxps.org/oxps/v1.0/fixedrepresentation"},
    };
    for (const auto& c : cases) {
        std::vector<TPart> parts = OneDocument({TextPage("found")});
        parts[kSequenceEntry].Name = "Documents/Seq.fdseq";
        parts[kRelsEntry].Content = XmlPart("<Relationships><Relationship Type=\"http://x/thumbnail\" Target=\"/t.png\"/>"
                                            "<Relationship Type=\"" + c.type + "\" Target=\"" + c.target + "\"/></Relationships>");
        EXPECT_EQ(Run("rels.xps", parts), kNoError) << c.target;
        EXPECT_EQ(Texts("rels_1_1.qlt"), TLines{u"10,20:found"});
    }
    nested_ = false;
    std::vector<TPart> parts = OneDocument({TextPage("x")});
    parts[kSequenceEntry].Name = "Documents/Seq.fdseq";
    EXPECT_EQ(Run("rels.xps", parts), kNoError);
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"This Zip is not XPS archive!", u"Zip archive close"}));
}

TEST_F(ConversionRun, ReferencesKeepTheirLettersAndApostrophes) {
    std::vector<TPart> parts = OneDocument({PageWith(ImageBrushPath({"/Resources/caf\xC3\xA9&apos;s.png"}))});
    parts[kDocumentEntry].Content = DocumentPart({"/Documents/1/Pages/&#x31;.fpage"});
    parts.push_back({"Resources/caf\xC3\xA9's.png", SamplePng(2, 2)});
    TTestZipArchive archive = PackageArchive(parts);
    archive.Entries.back().CentralExtra = UnicodeNameField(u"Resources/caf\u00E9's.png");
    WriteFileBytes(folder_.Path("names.xps"), TestZipBytes(archive));
    TFileStream source(folder_.Path("names.xps"), fmOpenRead | fmShareExclusive);
    EXPECT_EQ(Convert(source), kNoError);
    EXPECT_EQ(log_.Lines, (TLines{u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u".png: Resources/caf\u00E9's.png",
                                  u"Zip archive close"}));
}

// A remote dictionary is read once and serves every page naming it, from
// the page's resources or a canvas's; one that cannot be had leaves its keys out.
TEST_F(ConversionRun, RemoteDictionariesLendTheirKeysToThePagesNamingThem) {
    nested_ = true;
    const auto naming = [](const std::string& source, const std::string& scope = "FixedPage") {
        return "<" + scope + "." + "Resources><ResourceDictionary Source=\"" + source + "\"/></" + scope + ".Resources>";
    };
    const std::string rule = "<Path Stroke=\"{StaticResource ink}\" Data=\"{StaticResource rule}\"/>";
    const std::string keys = "<SolidColorBrush x:Key=\"ink\" Color=\"#FF0000FF\"/><PathGeometry x:Key=\"rule\" Figures=\"M 0,0 L 50,0\"/>";
    const struct {
        std::string page;
        size_t lines;
    } cases[] = {
        {PageWith(naming("/Resources/d.dict") + rule), 1},
        {PageWith("<Canvas>" + naming("../../../Resources/d.dict", "Canvas") + rule + "</Canvas>"), 1},
        {PageWith(naming("/Resources/missing.dict") + rule), 0},
        {PageWith(naming("/Resources/broken.dict") + rule), 0},
        {PageWith(naming("/Resources/onward.dict") + rule), 0},  // its own Source is not followed
    };
    std::vector<std::string> pages;
    for (const auto& c : cases) pages.push_back(c.page);
    std::vector<TPart> parts = OneDocument(pages);
    parts.push_back({"Resources/d.dict", "<ResourceDictionary>" + keys + "</ResourceDictionary>"});
    parts.push_back({"Resources/broken.dict", "<ResourceDictionary>" + keys + "</Path>"});
    parts.push_back({"Resources/onward.dict", "<ResourceDictionary Source=\"/Resources/d.dict\"/>"});
    EXPECT_EQ(Run("remote.xps", parts), kNoError);
    EXPECT_TRUE(outcome_.Complete());
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(TemplateLineCount(folder_.Path("remote_1_" + std::to_string(i + 1) + ".qlt")), cases[i].lines) << i;
}

// Spool files store parts as pieces, among the pieces of other parts.
TEST_F(ConversionRun, PartsStoredAsPiecesAreThePiecesJoined) {
    std::vector<TPart> parts = OneDocument({TextPage("pieces"), PageWith(ImageBrushPath({"/Resources/a.png"}))});
    parts.push_back({"Resources/a.png", SamplePng(2, 2)});
    const std::vector<TPart> pieces = StoredAsPieces(parts, {std::string(kXpsSequencePart), "Documents/1/FixedDocument.fdoc",
        "Documents/1/Pages/1.fpage", "Documents/1/Pages/2.fpage", "Resources/a.png"}, 3);
    const TLines log = {u"Zip archive open", u"Doc1 - Ok", u"Page1 - Ok", u"Page2 - Ok", u".png: Resources/a.png",
                        u"Zip archive close"};
    const std::u16string noDocument =
        u"EZFException: ZipArchiverXPS: File \"Documents/1/FixedDocument.fdoc\" not found - Native error: 00015";
    const struct {
        const char* name;
        std::string dropped;  // a piece left out
        TXpsLimits limits;
        std::u16string error;
        TLines log;
    } cases[] = {
        {"all there", "", {}, kNoError, log},
        {"the run counts a part once", "", {.RunParts = 5}, kNoError, log},
        {"a missing piece", "Documents/1/FixedDocument.fdoc/[1].piece", {}, noDocument, {log[0], u"Doc1", log[5]}},
        {"a missing last piece", "Documents/1/FixedDocument.fdoc/[2].last.piece", {}, noDocument, {log[0], u"Doc1", log[5]}},
        {"more pieces than a run joins", "", {.RunPieces = 8},
         u"EXpsLimitError: The package joins more than 8 pieces into parts", {log[0], u"Doc1", u"Page1", log[5]}},
        {"beyond the limits", "", {.PartBytes = 100},
         u"EXpsLimitError: The part \"FixedDocumentSequence.fdseq\" is larger than 100 bytes", {log[0], log[5]}},
    };
    for (const bool nested : {false, true}) {
        nested_ = nested;
        limits_ = {};
        EXPECT_EQ(Run("whole.xps", parts), kNoError);
        for (const auto& c : cases) {
            std::vector<TPart> spoilt = pieces;
            ASSERT_EQ(std::erase_if(spoilt, [&](const TPart& part) { return part.Name == c.dropped; }),
                      c.dropped.empty() ? 0u : 1u) << c.name;
            limits_ = c.limits;
            EXPECT_EQ(Run("pieces.xps", spoilt), c.error) << c.name;
            EXPECT_EQ(log_.Lines, c.log) << c.name;
            EXPECT_TRUE(!c.error.empty() || TemplateWithoutTimes(folder_.Path("pieces_1_1.qlt")) ==
                                                TemplateWithoutTimes(folder_.Path("whole_1_1.qlt"))) << c.name;
        }
    }
}

}  // namespace
