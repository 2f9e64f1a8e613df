#include <gtest/gtest.h>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "tests/support/TestErrors.h"
#include "tests/xml/XmlTestSupport.h"
#include "xml/qlxXML.h"

namespace {

std::u16string Names(const TqlxXMLItem& parent) {
    std::u16string names;
    for (int32_t i = 0; i < parent.ChildCount(); ++i) names += parent.Child(i)->Name;
    return names;
}

TEST(XMLItem, ChildListKeepsOrderAndOwnership) {
    TqlxXMLItem root, other;
    for (const char16_t* name : {u"a", u"b", u"c"}) AddElement(&root, name);
    TqlxXMLItem* moved = AddElement(&other, u"m");
    EXPECT_EQ(root.IndexOfName(u"b"), 1);
    EXPECT_EQ(root.IndexOfName(u"B"), -1);
    EXPECT_EQ(root.FindOrAddChild(u"b"), root.Child(1));
    EXPECT_EQ(root.FindOrAddChild(u"d")->Name, u"d");
    EXPECT_EQ(Names(root), u"abcd");

    root.AttachChild(moved);
    EXPECT_EQ(other.ChildCount(), 0);
    EXPECT_EQ(moved->Parent(), &root);
    root.AttachChild(root.Child(0));
    EXPECT_EQ(Names(root), u"bcdma");
    root.InsertChild(1, root.Child(3));
    EXPECT_EQ(Names(root), u"bmcda");
    root.InsertChild(5, new TqlxXMLItem());
    EXPECT_EQ(root.ChildCount(), 6);
    EXPECT_THROW(root.InsertChild(7, root.Child(0)), EListError);
    EXPECT_THROW(root.InsertChild(-1, root.Child(0)), EListError);
    EXPECT_EQ(Names(root), u"bmcda");

    delete root.Child(1);
    EXPECT_EQ(Names(root), u"bcda");
    EXPECT_EQ(root.IndexOfChild(moved), -1);
}

TEST(XMLItem, LeafAndClearedElements) {
    TqlxXMLItem leaf;
    EXPECT_EQ(leaf.IndexOfChild(&leaf), -1);
    EXPECT_EQ(ErrorRaisedBy<EListError>([&] { leaf.Child(0); }).Message, u"List index out of bounds (0)");
    TqlxXMLItem item;
    item.Name = u"n";
    item.AttrText = u"a=\"1\"";
    AddElement(AddElement(&item, u"x"), u"y");
    EXPECT_THROW(item.Child(1), EListError);
    EXPECT_THROW(item.Child(-1), EListError);
    item.ClearChildren();
    EXPECT_EQ(item.ChildCount(), 0);
    EXPECT_EQ(item.Name, u"n");
    EXPECT_EQ(item.AttrText, u"a=\"1\"");
    EXPECT_TRUE(item.ChildrenLoaded);
    item.Swappable = true;
    item.ClearChildren();
    EXPECT_FALSE(item.ChildrenLoaded);
}

TEST(XMLItem, DestroyingAVeryDeepTreeNeedsNoDeepRecursion) {
    auto root = std::make_unique<TqlxXMLItem>();
    TqlxXMLItem* item = root.get();
    for (int i = 0; i < 300000; ++i) item = item->AddChild();
    root.reset();
    SUCCEED();
}

TEST(XMLItem, AttributeLookupFollowsTheKeyRule) {
    struct {
        std::u16string attrText, name;
        bool present;
        std::u16string value;
    } const cases[] = {
        {u"Fill=\"#FF000000\" Data=\"M 0,0 L 10,0\"", u"fill", true, u"#FF000000"},
        {u"Fill=\"#FF000000\" Data=\"M 0,0 L 10,0\"", u"Data", true, u"M 0,0 L 10,0"},
        {u"Fill=\"#FF000000\"", u"Stroke", false, u""},
        {u"Fill=\"#FF000000\"", u"ill", false, u""},
        {u"Path.Fill=\"x\" Fill=\"y\"", u"Fill", true, u"y"},
        {u"Path.Fill=\"x\" x:Fill=\"x\" StrokeFill=\"x\"", u"Fill", false, u""},
        {u"Fill = \"x\" Fill='x'", u"Fill", false, u""},
        {u"Fill=\"red\"\r\nStroke=\"blue\"", u"Stroke", true, u"blue"},
        {u"Fill=\"red\"\tStroke=\"blue\"", u"Stroke", true, u"blue"},
        {u"Fill=\"red\"\r\n  Stroke=\"blue\"", u"Stroke", true, u"blue"},
        {u"\nFill=\"red\"", u"Fill", true, u"red"},
        {u"Fill=\"a\vStroke=\"b\"", u"Stroke", false, u""},
        {u"Fill=\"\" fill=\"2\"", u"FILL", true, u""},
        {u"Fill=\"open", u"Fill", true, u""},
        {u"\u00E9t\u00E9=\"summer\"", u"\u00C9T\u00C9", true, u"summer"},
        {u"Text=\"a &amp;lt; b\"", u"Text", true, u"a &lt; b"},
    };
    TqlxXMLItem item;
    for (const auto& c : cases) {
        item.AttrText = c.attrText;
        EXPECT_EQ(item.HasAttr(c.name), c.present) << Utf16ToUtf8(c.attrText);
        EXPECT_EQ(item.GetAttr(c.name), c.value) << Utf16ToUtf8(c.attrText);
    }
    item.AttrText = u"Text=\"a &amp;lt; &#233;\" Open=\"x";
    EXPECT_EQ(item.GetRawAttr(u"text"), u"a &amp;lt; &#233;");
    EXPECT_EQ(item.GetRawAttr(u"Open"), u"");
    EXPECT_EQ(item.GetRawAttr(u"Missing"), u"");
    item.AttrText = u"Bad=\"&#12x;\"";
    EXPECT_EQ(item.GetRawAttr(u"Bad"), u"&#12x;");
    EXPECT_EQ(ErrorRaisedBy<EConvertError>([&] { item.GetAttr(u"Bad"); }).Message,
              u"''12x'' is not a valid integer value");
}

TEST(XMLItem, SetAttrReplacesInPlaceOrAppends) {
    struct {
        std::u16string attrText, name, value, expected;
    } const cases[] = {
        {u"a=\"1\" b=\"2\"", u"A", u"x<y", u"A=\"x&#60;y\" b=\"2\""},
        {u"a=\"1\" b=\"2\"", u"b", u"", u"a=\"1\" b=\"\""},
        {u"a=\"1\"", u"c", u"3", u"a=\"1\" c=\"3\""},
        {u"a=\"1\" ", u"c", u"3", u"a=\"1\" c=\"3\""},
        {u"", u"c", u"3", u"c=\"3\""},
        {u"x=\"1\"\tc=\"open", u"x", u"2", u"x=\"2\"\tc=\"open"},
        {u"c=\"open", u"C", u"q\"", u"C=\"q&#34;\""},
    };
    TqlxXMLItem item;
    for (const auto& c : cases) {
        item.AttrText = c.attrText;
        item.SetAttr(c.name, c.value);
        EXPECT_EQ(item.AttrText, c.expected);
    }
}

// Every case is escaped as a short text and, behind a long prefix, as a long one.
TEST(XMLEscape, ShortAndLongTextsFollowTheTable) {
    const std::u16string prefix(40, u'x');
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"AT&T", u"AT&#38;T"},
        {u"&quot;", u"&#34;"},
        {u"a&quot", u"a&#38;quot"},
        {u"\"<>", u"&#34;&#60;&#62;"},
        {u"it's\t\u00E9\u4E00", u"it's\t\u00E9\u4E00"},
        {u"\r\n", u"&#13;&#10;"},
        {u"&amp;&quot;&", u"&#38;amp;&#34;&#38;"},
        {u"", u""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(XMLEscape(text), expected);
        EXPECT_EQ(XMLEscape(prefix + text), prefix + expected);
    }
    // Long enough for the buffer to grow several times.
    EXPECT_EQ(XMLEscape(std::u16string(1000, u'<')).size(), 5000u);
    EXPECT_EQ(XMLEscape(std::u16string(31, u'"')).size(), 155u);
}

TEST(XMLUnescape, ExpandsEntitiesAndCharacterReferences) {
    EXPECT_EQ(XMLUnescape(u"&lt;&gt;&amp;&quot;"), u"<>&\"");
    EXPECT_EQ(XMLUnescape(u"&#65;&#x42;&#X43;&#$44;&#0x45;&#  70;"), u"ABCDEF");
    EXPECT_EQ(XMLUnescape(u"&#65601;&#x10FFFF;"), u"\U00010041\U0010FFFF");
    EXPECT_EQ(XMLUnescape(u"&#-1;&#xDFFF;&#x110000;&#xFFFFFFFF;"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(XMLUnescape(u"&apos;&LT;&lt&"), u"&apos;&LT;&lt&");
    EXPECT_EQ(XMLUnescape(u"a&#9"), u"a&#9");
    EXPECT_EQ(XMLUnescape(u"&#12 no semicolon"), u"&#12 no semicolon");
    EXPECT_EQ(XMLUnescape(u"&amp;lt;"), u"&lt;");
    EXPECT_EQ(XMLUnescape(u"&#38;amp;"), u"&amp;");
    EXPECT_THROW(XMLUnescape(u"&#12x;"), EConvertError);
    EXPECT_THROW(XMLUnescape(u"&#2147483648;"), EConvertError);
    EXPECT_THROW(XMLUnescape(u"&#;;"), EConvertError);
}

TEST(XMLUnescape, ManyReferencesWithoutTheirEndTakeOnePass) {
    // Once scanned to the end for each "&#", this text took hours.
    std::u16string text;
    for (int i = 0; i < 1'000'000; ++i) text += u"&#";
    EXPECT_TRUE(XMLUnescape(text) == text);
    // A reference runs to the first ";" after it, however far.
    EXPECT_THROW(XMLUnescape(text + u"1;"), EConvertError);
    EXPECT_EQ(XMLUnescape(u"&#65;&#66;x&#"), u"ABx&#");
}

}  // namespace
