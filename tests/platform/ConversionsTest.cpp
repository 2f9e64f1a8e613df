#include <gtest/gtest.h>

#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "tests/support/TestErrors.h"

namespace {

TEST(Conversions, IntToStrWritesPlainDecimal) {
    EXPECT_EQ(IntToStr(0), u"0");
    EXPECT_EQ(IntToStr(-16777216), u"-16777216");
    EXPECT_EQ(IntToStr(INT64_MIN), u"-9223372036854775808");
}

TEST(Conversions, StrToIntReadsDecimalAndHexForms) {
    EXPECT_EQ(StrToInt(u"65"), 65);
    EXPECT_EQ(StrToInt(u"  -12"), -12);
    EXPECT_EQ(StrToInt(u"+7"), 7);
    EXPECT_EQ(StrToInt(u"x41"), 0x41);
    EXPECT_EQ(StrToInt(u"X4e2d"), 0x4E2D);
    EXPECT_EQ(StrToInt(u"$FF"), 255);
    EXPECT_EQ(StrToInt(u"0x10"), 16);
    EXPECT_EQ(StrToInt(u"0X10"), 16);
    EXPECT_EQ(StrToInt(u"$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt(u"2147483647"), INT32_MAX);
    EXPECT_EQ(StrToInt(u"-2147483648"), INT32_MIN);
}

TEST(Conversions, StrToIntRefusesOtherText) {
    for (const char16_t* text : {u"", u" ", u"12x", u"2147483648", u"$100000000", u"x", u"1 ", u"1.5", u"--1"})
        EXPECT_FALSE(TryStrToInt(text).has_value()) << std::string(text, text + std::char_traits<char16_t>::length(text));
    const TRaisedError error = ErrorRaisedBy<EConvertError>([] { StrToInt(u"12x"); });
    EXPECT_EQ(error.ClassName, u"EConvertError");
    EXPECT_EQ(error.Message, u"''12x'' is not a valid integer value");
}

TEST(Exceptions, CarryTheirClassNamesAndMessages) {
    EXPECT_EQ(EListError(5).Message(), u"List index out of bounds (5)");
    EXPECT_EQ(EListError(-1).ClassName(), u"EListError");
    EXPECT_EQ(EReadError().Message(), u"Stream read error");
    EXPECT_EQ(EReadError().ClassName(), u"EReadError");
    EXPECT_EQ(EWriteError().Message(), u"Stream write error");
    EXPECT_EQ(EStreamError().Message(), u"Out of memory while expanding memory stream");
    EXPECT_STREQ(EConvertError(u"\u00E9").what(), "\xC3\xA9");
}

}  // namespace
