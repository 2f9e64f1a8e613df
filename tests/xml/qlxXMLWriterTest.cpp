#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/qlxXML.h"

namespace {

// A template as the report builder composes it.
void BuildTemplate(TqlxXMLDocument& doc) {
    TqlxXMLItem* root = doc.Root();
    root->Name = u"TqlxReport";
    root->AttrText = u"Version=\"1\" Name=\"Report\"";
    AddElement(root, u"TqlxDataPage", u"Height=\"1000\" Left=\"0\" Top=\"0\" Width=\"1000\"");
    TqlxXMLItem* page = AddElement(root, u"TqlxReportPage", u"PaperWidth=\"210\"");
    TqlxXMLItem* band = AddElement(page, u"TqlxBand", u"Height=\"1056\"");
    AddElement(band, u"TqlxText", u"Left=\"96\" Text=\"a&#60;b\"");
    AddElement(band, u"TqlxLine", u"Left=\"1\"");
}

TEST(XMLWriter, OneLineAndIndentedOutputByteForByte) {
    TqlxXMLDocument doc;
    BuildTemplate(doc);
    EXPECT_EQ(Save(doc), std::string(kUtf8Declaration) +
                             "<TqlxReport Version=\"1\" Name=\"Report\">"
                             "<TqlxDataPage Height=\"1000\" Left=\"0\" Top=\"0\" Width=\"1000\"/>"
                             "<TqlxReportPage PaperWidth=\"210\"><TqlxBand Height=\"1056\">"
                             "<TqlxText Left=\"96\" Text=\"a&#60;b\"/><TqlxLine Left=\"1\"/>"
                             "</TqlxBand></TqlxReportPage></TqlxReport>");
    doc.Indented = true;
    EXPECT_EQ(Save(doc), std::string(kUtf8Declaration) +
                             "\r\n<TqlxReport Version=\"1\" Name=\"Report\">\r\n"
                             "  <TqlxDataPage Height=\"1000\" Left=\"0\" Top=\"0\" Width=\"1000\"/>\r\n"
                             "  <TqlxReportPage PaperWidth=\"210\">\r\n"
                             "    <TqlxBand Height=\"1056\">\r\n"
                             "      <TqlxText Left=\"96\" Text=\"a&#60;b\"/>\r\n"
                             "      <TqlxLine Left=\"1\"/>\r\n"
                             "    </TqlxBand>\r\n"
                             "  </TqlxReportPage>\r\n"
                             "</TqlxReport>\r\n");
}

TEST(XMLWriter, EncodingsContentAndAttributeParts) {
    TqlxXMLDocument doc;
    TqlxXMLItem* root = doc.Root();
    root->Name = u"r\u00E9\u4E00";
    root->AttrText = u"Name=\"Gr\u00F6\u00DFe\" S=\"\U0001F600\"";
    AddElement(root, u"lead", u" x=\"1\"");
    AddElement(root, u"c")->Content = u"a<\u00E9";
    TqlxXMLItem* withChild = AddElement(root, u"p");
    withChild->Content = u"dropped";
    AddElement(withChild, u"q");
    AddElement(root, u"s")->Swappable = true;
    AddElement(root, u"t", u"x=\"1\" ")->Swappable = true;
    EXPECT_EQ(Save(doc).substr(kUtf8Declaration.size()),
              "<r\xE9? Name=\"Gr\xC3\xB6\xC3\x9F" "e\" S=\"\xF0\x9F\x98\x80\">"
              "<lead x=\"1\"/><c>a<\xC3\xA9</c><p><q/></p><s ld=\"0\"/><t x=\"1\" ld=\"0\"/></r\xE9?>");
}

TEST(XMLWriter, RoundTripKeepsNamesAndAttributeTexts) {
    TqlxXMLDocument doc;
    BuildTemplate(doc);
    doc.Root()->Child(0)->Content = u"gone";
    doc.Root()->Child(1)->AttrText = u"A=\"\u00E9&#13;&#10;\"\tB=\"2\"";
    const std::string text = Save(doc);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    TqlxXMLDocument copy;
    Load(copy, text);
    EXPECT_FALSE(copy.LegacyEncoding);
    EXPECT_EQ(Save(copy), Save(doc).replace(text.find(">gone</TqlxDataPage>"), 20, "/>"));
    EXPECT_EQ(copy.Root()->Child(1)->GetAttr(u"A"), u"\u00E9\r\n");
    EXPECT_EQ(copy.Root()->Child(0)->Content, u"");
}

// Records the size of every write.
class TRecordingStream : public TMemoryStream {
public:
    std::vector<int64_t> writes;
    int64_t limit = -1;  // bytes accepted in total before writes come up short
    int64_t Write(const void* buffer, int64_t count) override {
        writes.push_back(count);
        if (limit >= 0 && Size() + count > limit) return TMemoryStream::Write(buffer, limit - Size());
        return TMemoryStream::Write(buffer, count);
    }
};

TEST(XMLWriter, OutputGoesOutInBlocksOverFourKilobytes) {
    TqlxXMLDocument doc;
    doc.Root()->Name = u"r";
    for (int i = 0; i < 2000; ++i) AddElement(doc.Root(), u"e", u"v=\"" + std::u16string(i % 50, u'x') + u"\"");
    TRecordingStream stream;
    doc.SaveToStream(stream);
    ASSERT_GT(stream.writes.size(), 2u);
    for (size_t i = 0; i + 1 < stream.writes.size(); ++i) EXPECT_GT(stream.writes[i], 4096);
    EXPECT_EQ(BytesOf(stream), Save(doc));

    TRecordingStream full;
    full.limit = 5000;
    EXPECT_THROW(doc.SaveToStream(full), EWriteError);
}

TEST(XMLWriter, DeepTreesAreWrittenWithoutDeepRecursion) {
    TqlxXMLDocument doc;
    TqlxXMLItem* item = doc.Root();
    item->Name = u"r";
    for (int i = 0; i < 200000; ++i) item = AddElement(item, u"a");
    const std::string text = Save(doc);
    EXPECT_EQ(text.size(), kUtf8Declaration.size() + 3 + 199999 * 7 + 4 + 4);
    EXPECT_THROW(Load(doc, text), TqlxInvalidXMLException);
}

}  // namespace
