#include "platform/NumberFormat.h"

#include <langinfo.h>
#include <locale.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/CodePages.h"

namespace {

constexpr int kSignificantDigits = 15;

// The locale name the C library would use for LC_NUMERIC, without asking the
// C library (an empty variable counts as unset).
std::string NumericLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

char16_t RadixCharOf(const std::string& localeName) {
    const locale_t locale = ::newlocale(LC_NUMERIC_MASK, localeName.c_str(), static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return u'.';
    const std::u16string radix = Utf8ToUtf16(::nl_langinfo_l(RADIXCHAR, locale));
    ::freelocale(locale);
    return radix.size() == 1 ? radix[0] : u'.';
}

// A finite non-zero value rounded to kSignificantDigits: its digits without
// trailing zeros and the decimal exponent of the first digit.
struct TDecimal {
    bool Negative = false;
    std::array<char16_t, kSignificantDigits> Digits{};
    size_t DigitCount = 0;
    int Exponent = 0;

    std::u16string_view DigitText() const { return {Digits.data(), DigitCount}; }

    void SetSignificand(uint64_t significand) {
        for (size_t i = kSignificantDigits; i-- > 0;) {
            Digits[i] = static_cast<char16_t>(u'0' + significand % 10);
            significand /= 10;
        }
        DigitCount = kSignificantDigits;
        while (DigitCount > 1 && Digits[DigitCount - 1] == u'0') --DigitCount;
    }
};

TDecimal RoundByPrinting(long double value) {
    char buffer[64];
    const auto result = std::to_chars(std::begin(buffer), std::end(buffer), value, std::chars_format::scientific,
                                      kSignificantDigits - 1);
    const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    TDecimal decimal;
    size_t i = 0;
    if (text[i] == '-') {
        decimal.Negative = true;
        ++i;
    }
    const size_t exponentAt = text.find('e', i);
    uint64_t significand = 0;
    for (; i < exponentAt; ++i)
        if (text[i] != '.') significand = significand * 10 + static_cast<uint64_t>(text[i] - '0');
    decimal.SetSignificand(significand);
    std::from_chars(text.data() + exponentAt + (text[exponentAt + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    decimal.Exponent);
    return decimal;
}

constexpr int kLargestScale = 19;  // 10^19 still fits 64 bits

constexpr std::array<uint64_t, kLargestScale + 1> kPowersOfTen = [] {
    std::array<uint64_t, kLargestScale + 1> powers{};
    uint64_t power = 1;
    for (uint64_t& entry : powers) {
        entry = power;
        power *= 10;
    }
    return powers;
}();

constexpr uint64_t kSmallestSignificand = kPowersOfTen[kSignificantDigits - 1];
constexpr uint64_t kSignificandLimit = kPowersOfTen[kSignificantDigits];

// The same rounding as printing, done exactly in 128-bit integers: the value
// is m * 2^k with a 64-bit m, so m * 10^p / 2^-k can be rounded (halves to
// even) without error. Templates hold hundreds of thousands of numbers and
// printing long doubles costs far more. False for magnitudes outside the
// range this covers.
bool RoundExactly(long double value, TDecimal& decimal) {
    // The 80-bit format keeps its 64-bit mantissa with the integer bit, and a
    // biased 15-bit exponent behind it: value = mantissa * 2^(exponent - 63).
    static_assert(std::numeric_limits<long double>::digits == 64);
    uint64_t mantissa = 0;
    uint16_t signAndExponent = 0;
    std::memcpy(&mantissa, &value, sizeof mantissa);
    std::memcpy(&signAndExponent, reinterpret_cast<const char*>(&value) + sizeof mantissa, sizeof signAndExponent);
    const int binaryExponent = (signAndExponent & 0x7FFF) - 16383;
    if ((mantissa >> 63) == 0) return false;  // a subnormal value
    const int shift = 63 - binaryExponent;
    // The decimal exponent is this estimate or the next one up; 1233 / 4096
    // is log10(2) closely enough for every exponent this range reaches.
    int exponent = (binaryExponent * 1233) >> 12;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int scale = kSignificantDigits - 1 - exponent;
        if (scale < 0 || scale > kLargestScale || shift <= 0 || shift >= 128) return false;
        const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * kPowersOfTen[static_cast<size_t>(scale)];
        const auto truncated = static_cast<uint64_t>(scaled >> shift);
        if (truncated >= kSignificandLimit) {
            ++exponent;
            continue;
        }
        if (truncated < kSmallestSignificand) {
            --exponent;
            continue;
        }
        const unsigned __int128 remainder = scaled - (static_cast<unsigned __int128>(truncated) << shift);
        const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
        uint64_t significand = truncated;
        if (remainder > half || (remainder == half && (truncated & 1) != 0)) ++significand;
        if (significand == kSignificandLimit) {
            significand = kSmallestSignificand;
            ++exponent;
        }
        decimal.Negative = (signAndExponent & 0x8000) != 0;
        decimal.Exponent = exponent;
        decimal.SetSignificand(significand);
        return true;
    }
    return false;
}

TDecimal RoundToSignificantDigits(long double value) {
    TDecimal decimal;
    if (RoundExactly(value, decimal)) return decimal;
    return RoundByPrinting(value);
}

void AppendFixed(std::u16string& text, const TDecimal& decimal, char16_t separator) {
    const std::u16string_view digits = decimal.DigitText();
    if (decimal.Exponent < 0) {
        text += u'0';
        text += separator;
        text.append(static_cast<size_t>(-decimal.Exponent - 1), u'0');
        text += digits;
        return;
    }
    const auto integerDigits = static_cast<size_t>(decimal.Exponent + 1);
    text += digits.substr(0, integerDigits);
    if (digits.size() < integerDigits) text.append(integerDigits - digits.size(), u'0');
    if (digits.size() > integerDigits) {
        text += separator;
        text += digits.substr(integerDigits);
    }
}

void AppendScientific(std::u16string& text, const TDecimal& decimal, char16_t separator) {
    const std::u16string_view digits = decimal.DigitText();
    text += digits[0];
    if (digits.size() > 1) {
        text += separator;
        text += digits.substr(1);
    }
    text += u'E';
    text += AsciiToUtf16(std::to_string(decimal.Exponent));
}

}  // namespace

TFormatSettings LocaleFormatSettings() {
    TFormatSettings settings;
    const std::string name = NumericLocaleName();
    if (!name.empty()) settings.DecimalSeparator = RadixCharOf(name);
    return settings;
}

TFormatSettings& FormatSettings() {
    static TFormatSettings settings = LocaleFormatSettings();
    return settings;
}

void AppendFloat(std::u16string& text, long double value, const TFormatSettings& settings) {
    if (std::isnan(value)) {
        text += u"NAN";
    } else if (std::isinf(value)) {
        text += value < 0 ? u"-INF" : u"INF";
    } else if (value == 0) {
        text += u'0';
    } else {
        const TDecimal decimal = RoundToSignificantDigits(value);
        if (decimal.Negative) text += u'-';
        if (decimal.Exponent >= -4 && decimal.Exponent < kSignificantDigits)
            AppendFixed(text, decimal, settings.DecimalSeparator);
        else
            AppendScientific(text, decimal, settings.DecimalSeparator);
    }
}

std::u16string FloatToStr(long double value, const TFormatSettings& settings) {
    std::u16string text;
    AppendFloat(text, value, settings);
    return text;
}

std::u16string FloatToStr(long double value) { return FloatToStr(value, FormatSettings()); }

bool WrittenFloatFitsDouble(long double value) {
    // Anything smaller is written as at most "1E308".
    if (std::fabs(value) < 1e308L) return true;
    if (!std::isfinite(value)) return false;
    std::string written;
    for (const char16_t ch : FloatToStr(value, TFormatSettings{u'.'})) written.push_back(static_cast<char>(ch));
    double read = 0;
    return std::from_chars(written.data(), written.data() + written.size(), read).ec == std::errc();
}
