#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "platform/NumberFormat.h"

namespace {

constexpr long double kPixelsPerMillimetre = 3.77953L;

std::u16string Point(long double value) { return FloatToStr(value, TFormatSettings{u'.'}); }
std::u16string Comma(long double value) { return FloatToStr(value, TFormatSettings{u','}); }

TEST(NumberFormat, WritesTemplateValuesWithEitherSeparator) {
    EXPECT_EQ(Point(816 / kPixelsPerMillimetre), u"215.899860564673");
    EXPECT_EQ(Point(1056 / kPixelsPerMillimetre), u"279.399819554283");
    EXPECT_EQ(Point(793.76L / kPixelsPerMillimetre), u"210.015531031636");
    EXPECT_EQ(Point(20 + 4 * kPixelsPerMillimetre), u"35.11812");
    EXPECT_EQ(Point(0.00001L - 0), u"1E-5");
    EXPECT_EQ(Point(0.0001L - 0), u"0.0001");
    EXPECT_EQ(Point(30 + 2 * kPixelsPerMillimetre), u"37.55906");

    EXPECT_EQ(Comma(816 / kPixelsPerMillimetre), u"215,899860564673");
    EXPECT_EQ(Comma(20 + 4 * kPixelsPerMillimetre), u"35,11812");
    EXPECT_EQ(Comma(0.00001L), u"1E-5");
    EXPECT_EQ(Comma(0.0001L), u"0,0001");
}

TEST(NumberFormat, RoundsTheExactBinaryValueWithHalvesToEven) {
    // These halves are exact in binary, so they are true ties.
    EXPECT_EQ(Point(123456789012345.5L), u"123456789012346");
    EXPECT_EQ(Point(123456789012344.5L), u"123456789012344");
    EXPECT_EQ(Point(-123456789012344.5L), u"-123456789012344");
    EXPECT_EQ(Point(999999999999999.5L), u"1E15");
    EXPECT_EQ(Point(0.1L), u"0.1");
    EXPECT_EQ(Point(2.0L / 3), u"0.666666666666667");
    EXPECT_EQ(Point(0.00012345678901234567L), u"0.000123456789012346");
    EXPECT_EQ(Point(1.5E-7L), u"1.5E-7");
    EXPECT_EQ(Point(1234567.890123456789E300L), u"1.23456789012346E306");
}

TEST(NumberFormat, ChoosesFixedOrScientificAfterRounding) {
    EXPECT_EQ(Point(0), u"0");
    EXPECT_EQ(Point(-0.0L), u"0");
    EXPECT_EQ(Point(96), u"96");
    EXPECT_EQ(Point(-2.5L), u"-2.5");
    EXPECT_EQ(Point(999999999999999.0L), u"999999999999999");
    EXPECT_EQ(Point(1E15L), u"1E15");
    EXPECT_EQ(Point(1E20L), u"1E20");
    EXPECT_EQ(Point(-1.5E-7L), u"-1.5E-7");
    EXPECT_EQ(Point(123456789012345678.0L), u"1.23456789012346E17");
    EXPECT_EQ(Comma(1.25E-9L), u"1,25E-9");
    // Rounding to 15 digits carries into the next decade and decides the notation.
    EXPECT_EQ(Point(9.9999999999999999L), u"10");
    EXPECT_EQ(Point(999999999999999.9L), u"1E15");
    EXPECT_EQ(Point(0.0000999999999999999999L), u"0.0001");
    EXPECT_EQ(Point(0.00009999L), u"9.999E-5");
    EXPECT_EQ(Point(1.0L / 3), u"0.333333333333333");
    EXPECT_EQ(Point(45123.4567891234L), u"45123.4567891234");
    EXPECT_EQ(Point(std::numeric_limits<long double>::infinity()), u"INF");
    EXPECT_EQ(Point(-std::numeric_limits<long double>::infinity()), u"-INF");
    EXPECT_EQ(Point(std::numeric_limits<long double>::quiet_NaN()), u"NAN");
}

// Keeps the locale variables of the environment as they were.
class LocaleEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
    }
    void TearDown() override {
        for (size_t i = 0; i < std::size(kNames); ++i) {
            if (saved_[i])
                ::setenv(kNames[i], saved_[i]->c_str(), 1);
            else
                ::unsetenv(kNames[i]);
        }
    }
    static constexpr const char* kNames[] = {"LC_ALL", "LC_NUMERIC", "LANG"};
    std::vector<std::optional<std::string>> saved_;
};

TEST_F(LocaleEnvironment, SeparatorFollowsTheEnvironmentInOrderOfPrecedence) {
    EXPECT_EQ(LocaleFormatSettings().DecimalSeparator, u'.');
    ::setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(LocaleFormatSettings().DecimalSeparator, u',');
    ::setenv("LC_NUMERIC", "en_US.UTF-8", 1);
    EXPECT_EQ(LocaleFormatSettings().DecimalSeparator, u'.');
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(LocaleFormatSettings().DecimalSeparator, u',');
    ::setenv("LC_ALL", "", 1);
    EXPECT_EQ(LocaleFormatSettings().DecimalSeparator, u'.');
    ::setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
    ::setenv("LANG", "C", 1);
    EXPECT_EQ(LocaleFormatSettings().DecimalSeparator, u',');
    ::setenv("LC_NUMERIC", "xx_NOWHERE.UTF-8", 1);
    EXPECT_EQ(LocaleFormatSettings().DecimalSeparator, u'.');
}

TEST_F(LocaleEnvironment, LeavesTheCLocaleAlone) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(LocaleFormatSettings().DecimalSeparator, u',');
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
}

TEST_F(LocaleEnvironment, FormattingIgnoresTheCLocale) {
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    const std::u16string written = Point(2.5L);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(written, u"2.5");
}

}  // namespace
