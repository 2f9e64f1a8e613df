#include <gtest/gtest.h>

#include <string>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/qlxXML.h"
#include "xml/qlxXMLReader.h"

namespace {

std::string Legacy(std::string_view body) { return std::string(kLegacyDeclaration) + std::string(body); }

bool Rejects(std::string_view text, std::u16string_view message = u"Invalid file format") {
    TqlxXMLDocument doc;
    try {
        Load(doc, text);
    } catch (const TqlxInvalidXMLException& e) {
        EXPECT_EQ(e.ClassName(), u"TqlxInvalidXMLException");
        EXPECT_EQ(e.Message(), message);
        return true;
    }
    return false;
}

// Names of the subtree in document order, children in brackets.
std::u16string Shape(const TqlxXMLItem& item) {
    std::u16string shape = item.Name;
    if (item.ChildCount() == 0) return shape;
    shape += u"[";
    for (int32_t i = 0; i < item.ChildCount(); ++i) shape += (i > 0 ? u"," : u"") + Shape(*item.Child(i));
    return shape + u"]";
}

std::u16string ShapeOf(std::string_view text) {
    TqlxXMLDocument doc;
    return Shape(*Load(doc, text));
}

TEST(XMLReader, LegacyPageWithByteOrderMark) {
    TqlxXMLDocument doc;
    const TqlxXMLItem* root =
        Load(doc, Legacy("\xEF\xBB\xBF<FixedPage Width=\"816\">\r\n <Glyphs UnicodeString=\"caf\xC3\xA9\"/></FixedPage>"));
    EXPECT_EQ(root->Name, u"FixedPage");
    EXPECT_EQ(root->AttrText, u"Width=\"816\"");
    EXPECT_TRUE(doc.LegacyEncoding);
    ASSERT_EQ(root->ChildCount(), 1);
    const std::u16string text = root->Child(0)->GetAttr(u"UnicodeString");
    EXPECT_EQ(text, u"caf\u00C3\u00A9");
    EXPECT_EQ(Utf16ToAnsi(text), "caf\xC3\xA9");
    EXPECT_EQ(root->Child(0)->Content, u"");
}

TEST(XMLReader, DeclarationChoosesTheEncoding) {
    const std::pair<std::string, bool> cases[] = {
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?>", true},
        {"<?xml version='1.0'?>", true},
        {"<?xml version=\"1.0\" standalone=\"yes\"?>", false},
        {"<?xml version=\"1.1\"?>", false},
        {"<?xml?>", false},
        {"<?xml version=\"1.?>", false},
        {"<?xml-stylesheet version=\"1.0\"?>", true},
        {"<!-- first > < -->\r\n<?xml version=\"1.0\"?>", true},
    };
    for (const auto& [declaration, legacy] : cases) {
        TqlxXMLDocument doc;
        const TqlxXMLItem* root = Load(doc, declaration + "<a t=\"\xC3\xA9\"/>");
        EXPECT_EQ(doc.LegacyEncoding, legacy) << declaration;
        EXPECT_EQ(root->GetAttr(u"t"), legacy ? u"\u00C3\u00A9" : u"\u00E9") << declaration;
    }
    EXPECT_TRUE(Rejects(""));
    EXPECT_TRUE(Rejects("<FixedPage/>"));
    EXPECT_TRUE(Rejects("<?XML version=\"1.0\"?><a/>"));
    EXPECT_TRUE(Rejects("<!-- only a comment -->"));
    TqlxXMLDocument doc;
    EXPECT_EQ(Load(doc, kLegacyDeclaration)->Name, u"");
    EXPECT_EQ(doc.Root()->ChildCount(), 0);
}

TEST(XMLReader, ScannerSkipsTextCommentsAndStrayMarks) {
    EXPECT_EQ(ShapeOf(Legacy("<a>text &amp; > more<b/>\xEF\xBB\xBF<c></c> tail</a>")), u"a[b,c]");
    EXPECT_EQ(ShapeOf(Legacy("<a><!-- <x/> > --><b/><!----><c/></a>")), u"a[b,c]");
    // A third dash restarts the count: "--->" does not close a comment.
    EXPECT_EQ(ShapeOf(Legacy("<a><!-- x ---><b/> --><c/></a>")), u"a[c]");
    EXPECT_EQ(ShapeOf(Legacy("<a><!-- - -> --><b/><!--x--></a>")), u"a[b]");
    // A ">" inside a quoted value ends the tag; the rest is text.
    TqlxXMLDocument doc;
    EXPECT_EQ(Load(doc, Legacy("<a t=\"1>2\"/>"))->AttrText, u"t=\"1");
    EXPECT_TRUE(Rejects(Legacy("<a t=\"1<2\"/>")));
    EXPECT_TRUE(Rejects(Legacy("<a><b")));
    EXPECT_TRUE(Rejects(Legacy("<a><![CDATA[x<y]]></a>")));
    // Text after the root is never read.
    EXPECT_EQ(ShapeOf(Legacy("<a/><b><<<")), u"a");
}

TEST(XMLReader, TagsAreSplitAtTheFirstBlank) {
    TqlxXMLDocument doc;
    TqlxXMLItem* root = Load(doc, Legacy("<r a=\"1\"><e x=\"1\" /><f/ ><g\r\n x=\"2\"/><h  y=\"3\"/><i\tz=\"4\"/>"
                                         "<j\nk=\"5\"\nl=\"6\"\n></j\t></r >"));
    ASSERT_EQ(Shape(*root), u"r[e,f,g,h,i,j]");
    EXPECT_EQ(root->AttrText, u"a=\"1\"");
    EXPECT_EQ(root->Child(0)->AttrText, u"x=\"1\" ");
    EXPECT_EQ(root->Child(1)->AttrText, u"");
    EXPECT_EQ(root->Child(2)->AttrText, u"\n x=\"2\"");
    EXPECT_EQ(root->Child(3)->AttrText, u" y=\"3\"");
    EXPECT_EQ(root->Child(4)->AttrText, u"z=\"4\"");
    EXPECT_EQ(root->Child(5)->GetAttr(u"l"), u"6");
    // The writer puts the blank before the slash back.
    root->Child(0)->Name = u"z";
    EXPECT_NE(Save(doc).find("<z x=\"1\" />"), std::string::npos);
}

TEST(XMLReader, EndTagsMustNameTheOpenElement) {
    EXPECT_TRUE(Rejects(Legacy("<a><b></a>")));
    EXPECT_TRUE(Rejects(Legacy("<a></A>")));
    EXPECT_EQ(ShapeOf(Legacy("<a></a\t>")), u"a");
    EXPECT_EQ(ShapeOf(Legacy("<a\r\n x=\"1\"></a>")), u"a");
    EXPECT_TRUE(Rejects(Legacy("<r><a><?pi x?></a></r>")));
    EXPECT_TRUE(Rejects(Legacy("<r><!DOCTYPE r></r>")));
    EXPECT_EQ(ShapeOf(Legacy("<a><b/>")), u"a[b]");
    EXPECT_EQ(ShapeOf(Legacy("<a><b></b x>")), u"a[b]");
    EXPECT_EQ(ShapeOf(Legacy("<a><b><></a>")), u"a[b]");
    EXPECT_EQ(ShapeOf(Legacy("<r><?pi?><b/><c/>")), u"r[?pi?[b,c]]");
    EXPECT_EQ(ShapeOf(Legacy("<a:b.c xmlns:a=\"u\" xml:lang=\"en\"><a:b.c.D/></a:b.c>")), u"a:b.c[a:b.c.D]");
}

TEST(XMLReader, FailedLoadKeepsTheCompleteChildrenOfTheRoot) {
    TqlxXMLDocument doc;
    Load(doc, Legacy("<old><x/></old>"));
    EXPECT_TRUE(doc.LegacyEncoding);
    EXPECT_THROW(Load(doc, "<?xml version=\"1.1\"?><r t=\"1\"><a/><b><c/></b><d><e/></x></r>"), TqlxInvalidXMLException);
    EXPECT_EQ(Shape(*doc.Root()), u"r[a,b[c]]");
    EXPECT_EQ(doc.Root()->AttrText, u"t=\"1\"");
    EXPECT_FALSE(doc.LegacyEncoding);
    Load(doc, Legacy("<x/>"));
    // A failed declaration keeps the earlier encoding and leaves the root empty.
    EXPECT_THROW(Load(doc, "<FixedPage><a/></FixedPage>"), TqlxInvalidXMLException);
    EXPECT_TRUE(doc.LegacyEncoding);
    EXPECT_EQ(doc.Root()->ChildCount(), 0);
}

TEST(XMLReader, StreamStandsAfterTheRootAndStartsWhereItWas) {
    const std::string text = "junk" + Legacy("<a><b/></a> trailing");
    auto stream = StreamOf(text);
    stream->SetPosition(4);
    TqlxXMLDocument doc;
    doc.LoadFromStream(*stream, false);
    EXPECT_EQ(Shape(*doc.Root()), u"a[b]");
    EXPECT_EQ(stream->Position(), static_cast<int64_t>(text.find(" trailing")));
}

// Tags, comments and the comment opener straddle the 4096-byte blocks at every offset.
TEST(XMLReader, BlockBoundariesChangeNothing) {
    const std::string longValue(10000, 'v');
    for (size_t pad = 4040; pad < 4100; ++pad) {
        const std::string text = Legacy("<r>" + std::string(pad - kLegacyDeclaration.size(), ' ') +
                                        "<!-- c ---> --><a v=\"" + longValue + "\"/><!--x--><b/></r>");
        TqlxXMLDocument doc;
        const TqlxXMLItem* root = Load(doc, text);
        ASSERT_EQ(Shape(*root), u"r[a,b]") << pad;
        EXPECT_EQ(root->Child(0)->GetAttr(u"v").size(), longValue.size());
    }
}

// A stream that fails once its first block has been read.
class TFailingStream : public TMemoryStream {
public:
    int64_t Read(void* buffer, int64_t count) override {
        if (Position() >= 4096) throw EReadError();
        return TMemoryStream::Read(buffer, count);
    }
};

TEST(XMLReader, StreamErrorsPassThrough) {
    const std::string text = Legacy("<r><a/>" + std::string(5000, ' ') + "<b/></r>");
    TFailingStream stream;
    stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    stream.SetPosition(0);
    TqlxXMLDocument doc;
    EXPECT_THROW(doc.LoadFromStream(stream, false), EReadError);
}

std::string Nested(int depth) {
    std::string text(kLegacyDeclaration);
    for (int i = 0; i < depth; ++i) text += "<a>";
    for (int i = 0; i < depth; ++i) text += "</a>";
    return text;
}

TEST(XMLReader, NestingBeyondTheLimitIsRefused) {
    const int limit = static_cast<int>(TqlxXMLReader::kMaxNestingDepth);
    TqlxXMLDocument doc;
    const TqlxXMLItem* item = Load(doc, Nested(limit));
    int depth = 1;
    for (; item->ChildCount() > 0; item = item->Child(0)) ++depth;
    EXPECT_EQ(depth, limit);
    const std::u16string_view tooDeep = u"Invalid file format: elements nested deeper than 1024";
    EXPECT_TRUE(Rejects(Nested(limit + 1), tooDeep));
    EXPECT_TRUE(Rejects(Nested(limit).insert(kLegacyDeclaration.size() + 3 * limit, "<b/>"), tooDeep));
    EXPECT_TRUE(Rejects(Nested(100000), tooDeep));
    EXPECT_THROW(Load(doc, Nested(100000)), TqlxInvalidXMLException);
    EXPECT_EQ(doc.Root()->ChildCount(), 0);
}

}  // namespace
