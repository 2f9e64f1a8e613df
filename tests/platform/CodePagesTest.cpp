#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CodePages.h"

namespace {

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

TEST(CodePages, EveryAnsiByteRoundTripsThroughOneCharacter) {
    const std::string bytes = AllBytes();
    const std::u16string text = AnsiToUtf16(bytes);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(Utf16ToAnsi(text), bytes);
    EXPECT_EQ(text[0x80], u'\u20AC');
    EXPECT_EQ(text[0x9F], u'\u0178');
    for (unsigned char unassigned : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(text[unassigned], unassigned);
    EXPECT_EQ(text[0xE9], u'\u00E9');
}

TEST(CodePages, OemIsIbm437AndRoundTrips) {
    const std::string bytes = AllBytes();
    const std::u16string text = DecodeBytes(bytes, TCodePage::Oem);
    EXPECT_EQ(EncodeText(text, TCodePage::Oem), bytes);
    // The UTF-8 bytes of the two characters for "world" read as IBM 437.
    EXPECT_EQ(DecodeBytes("\xE4\xB8\x96\xE7\x95\x8C", TCodePage::Oem), u"\u03A3\u2555\u00FB\u03C4\u00F2\u00EE");
    for (int b = 0x20; b < 0x7F; ++b) EXPECT_EQ(text[b], b);
}

TEST(CodePages, UnrepresentableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(Utf16ToAnsi(u"a\u4E2Db\u0080"), "a?b?");
    EXPECT_EQ(EncodeText(u"\u00E9\u20AC", TCodePage::Oem), std::string("\x82?"));
    // OEM to ANSI keeps what both pages hold and loses the rest.
    EXPECT_EQ(OemToAnsi("\x82\xE4"), std::string("\xE9?"));
}

TEST(CodePages, Utf8RoundTripsAllPlanes) {
    const std::u16string text = u"A\u00E9\u4E2D\U0001F600z";
    const std::string bytes = Utf16ToUtf8(text);
    EXPECT_EQ(bytes, "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z");
    EXPECT_EQ(Utf8ToUtf16(bytes), text);
    // Long ASCII runs are taken in blocks; characters at and around block borders must survive.
    const std::u16string longText = u"0123456789abcdef\u00E9" + std::u16string(15, u'x') + u"\U0001F600" + u"1234567" + u"\u4E2D";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(longText)), longText);
    EXPECT_EQ(Utf8ToUtf16("abcdefgh\xFF" "abcdefg"), u"abcdefgh\uFFFDabcdefg");
}

TEST(CodePages, MalformedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");                 // cut at the end
    EXPECT_EQ(Utf8ToUtf16("\xE4\xB8z"), u"\uFFFDz");           // cut before a letter
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");       // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
}

TEST(CodePages, LoneSurrogatesAreWrittenAsReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

// Every string of one or two bytes, and longer ones around the borders of
// well-formed UTF-8 (overlong, surrogate, beyond U+10FFFF, cut short).
std::vector<std::string> NameSamples() {
    std::vector<std::string> samples;
    for (unsigned first = 0; first < 256; ++first) {
        samples.push_back(std::string(1, char(first)));
        for (unsigned second = 0; second < 256; ++second) samples.push_back({char(first), char(second)});
    }
    for (const char* longer : {"\xEF\xBF\xBD\xE0\x9F\xBF\xED\x9F\xBF\xED\xA0\x80\xF0\x8F\xBF\xBF",
                               "\xF0\x9F\x98\x80\xF0\x9F\x98\xF4\x8F\xBF\xBF\xF4\x90\x80\x80", "0123456789abcdef\xFF" "0123456789abcdef"})
        samples.push_back(longer);
    return samples;
}

TEST(CodePages, EveryNameRoundTripsThroughUtf16) {
    for (const std::string& bytes : NameSamples()) {
        const std::u16string name = NameBytesToUtf16(bytes);
        ASSERT_EQ(Utf16ToNameBytes(name), bytes) << testing::PrintToString(bytes);
        // Well-formed text reads as it always did.
        if (Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes) {
            ASSERT_EQ(name, Utf8ToUtf16(bytes));
        }
    }
    // A Latin-1 name and the name with the replacement character are two names.
    EXPECT_EQ(NameBytesToUtf16("caf\xE9.xps"), u"caf\xDCE9.xps");
    EXPECT_NE(NameBytesToUtf16("caf\xE9.xps"), NameBytesToUtf16("caf\xEF\xBF\xBD.xps"));
    // Text is written as before: escaped bytes only mean bytes in names.
    EXPECT_EQ(Utf16ToUtf8(u"caf\xDCE9"), "caf\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToNameBytes(u"\xD800x\xDC7F"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(CodePages, UpperCaseKeepsLengthAndCoversLatinLetters) {
    EXPECT_EQ(UpperCase(u"fill=\"x\" \u00E9\u00FF\u00DF\u00F7"), u"FILL=\"X\" \u00C9\u0178\u00DF\u00F7");
    EXPECT_EQ(UpperCase(u"\u0101\u013A\u017E\u03B1\u03C2\u0436\u0451"), u"\u0100\u0139\u017D\u0391\u03A3\u0416\u0401");
    EXPECT_EQ(UpperChar(u'1'), u'1');
    EXPECT_EQ(AsciiLowerCase(u"AbC\u00C9"), u"abc\u00C9");
}

}  // namespace
