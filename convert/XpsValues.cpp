#include "convert/XpsValues.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "platform/NumberFormat.h"
#include "xml/qlxXML.h"

namespace {

bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }
bool IsSign(char16_t ch) { return ch == u'+' || ch == u'-'; }

size_t SkipDigits(std::u16string_view text, size_t i) {
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i;
}

size_t SkipSpaces(std::u16string_view text, size_t i) {
    while (i < text.size() && text[i] == u' ') ++i;
    return i;
}

// An XPS number taken apart: its sign, the digits before and after the
// decimal separator, and the exponent with its sign.
struct TXpsNumberText {
    bool Negative = false;
    std::u16string_view Integer;
    std::u16string_view Fraction;
    std::u16string_view Exponent;
};

// The number text, blanks around it allowed, taken apart. Only ASCII can
// match, so the text need not go through the 8-bit code page first.
std::optional<TXpsNumberText> SplitXpsNumber(std::u16string_view text) {
    const size_t start = SkipSpaces(text, 0);
    const size_t length = XpsNumberLength(text.substr(start));
    if (length == 0 || SkipSpaces(text, start + length) != text.size()) return std::nullopt;
    const std::u16string_view number = text.substr(start, length);
    TXpsNumberText parts;
    size_t i = 0;
    if (IsSign(number[i])) parts.Negative = number[i++] == u'-';
    const size_t integerEnd = SkipDigits(number, i);
    parts.Integer = number.substr(i, integerEnd - i);
    i = integerEnd;
    if (i < number.size() && number[i] == u'.') {
        const size_t fractionEnd = SkipDigits(number, i + 1);
        parts.Fraction = number.substr(i + 1, fractionEnd - i - 1);
        i = fractionEnd;
    }
    if (i < number.size()) parts.Exponent = number.substr(i + 1);
    return parts;
}

// 10^k for k up to 27 is exact in 80 bits, and so is any 19-digit integer: one
// multiplication or division of the two then rounds exactly as a full decimal
// conversion would. Pages hold tens of thousands of numbers, nearly all short.
std::optional<long double> ConvertShortNumber(const TXpsNumberText& number) {
    constexpr int kMaxDigits = 19;
    constexpr int kMaxScale = 27;
    uint64_t mantissa = 0;
    int digits = 0;
    for (const std::u16string_view part : {number.Integer, number.Fraction}) {
        for (const char16_t ch : part) {
            if (digits == 0 && ch == u'0') continue;
            if (++digits > kMaxDigits) return std::nullopt;
            mantissa = mantissa * 10 + static_cast<uint64_t>(ch - u'0');
        }
    }
    auto scale = -static_cast<int64_t>(number.Fraction.size());
    if (!number.Exponent.empty()) {
        const auto exponent = TryStrToInt(number.Exponent);
        if (!exponent || *exponent > kMaxScale || *exponent < -kMaxScale) return std::nullopt;
        scale += *exponent;
    }
    if (mantissa == 0) return number.Negative ? -0.0L : 0.0L;
    if (scale > kMaxScale || scale < -kMaxScale) return std::nullopt;
    long double power = 1;
    for (int64_t k = 0; k < (scale < 0 ? -scale : scale); ++k) power *= 10;
    const auto value = static_cast<long double>(mantissa);
    const long double magnitude = scale < 0 ? value / power : value * power;
    return number.Negative ? -magnitude : magnitude;
}

void AppendAscii(std::string& out, std::u16string_view digits) {
    for (const char16_t ch : digits) out.push_back(static_cast<char>(ch));
}

// Any other number goes through a full decimal conversion; false when its
// magnitude lies beyond the extended range.
bool ConvertLongNumber(const TXpsNumberText& number, long double& value) {
    std::string text = number.Negative ? "-0" : "0";
    AppendAscii(text, number.Integer);
    text.push_back('.');
    AppendAscii(text, number.Fraction);
    text.push_back('0');
    if (!number.Exponent.empty()) {
        text.push_back('e');
        AppendAscii(text, number.Exponent);
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The text without the spaces and control characters (codes up to 32) at its ends.
std::u16string_view TrimSpacesAndControls(std::u16string_view text) {
    while (!text.empty() && text.front() <= u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() <= u' ') text.remove_suffix(1);
    return text;
}

// A linear scRGB component, clamped to 0..1, as an sRGB byte.
uint32_t SrgbByte(long double linear) {
    const long double c = std::clamp(linear, 0.0L, 1.0L);
    const long double encoded = c <= 0.0031308L ? 12.92L * c : 1.055L * std::pow(c, 1 / 2.4L) - 0.055L;
    return static_cast<uint32_t>(std::lround(encoded * 255));
}

// "sc#" then three or four numbers separated by commas, alpha first when there are four.
int32_t ScRgbToColor(std::u16string_view values) {
    std::vector<long double> numbers;
    for (size_t start = 0;;) {
        const size_t comma = values.find(u',', start);
        numbers.push_back(XpsStrToFloat(values.substr(start, comma == std::u16string_view::npos ? comma : comma - start)));
        if (comma == std::u16string_view::npos || numbers.size() > 4) break;
        start = comma + 1;
    }
    if (numbers.size() == 3) numbers.insert(numbers.begin(), 1);
    if (numbers.size() != 4) return kNoXpsColor;
    const auto alpha = static_cast<uint32_t>(std::lround(std::clamp(numbers[0], 0.0L, 1.0L) * 255));
    const uint32_t abgr = alpha << 24 | SrgbByte(numbers[3]) << 16 | SrgbByte(numbers[2]) << 8 | SrgbByte(numbers[1]);
    return static_cast<int32_t>(abgr - 0xFF000000u);
}

// Removes "." segments and lets ".." climb one folder, never above the root.
std::u16string NormaliseSegments(std::u16string_view path) {
    std::vector<std::u16string_view> segments;
    size_t start = 0;
    while (true) {
        const size_t slash = path.find(u'/', start);
        const std::u16string_view segment = path.substr(start, slash == std::u16string_view::npos ? slash : slash - start);
        if (segment == u"..") {
            if (!segments.empty()) segments.pop_back();
        } else if (segment != u".") {
            segments.push_back(segment);
        }
        if (slash == std::u16string_view::npos) break;
        start = slash + 1;
    }
    std::u16string result;
    for (size_t k = 0; k < segments.size(); ++k) {
        if (k > 0) result.push_back(u'/');
        result.append(segments[k]);
    }
    return result;
}

}  // namespace

// sign? digits ("." digits)? (("e" | "E") sign? digits)?, with a digit or
// the "." before any exponent; an exponent without digits is no part of it.
size_t XpsNumberLength(std::u16string_view text) {
    size_t i = 0;
    if (i < text.size() && IsSign(text[i])) ++i;
    const size_t mantissa = i;
    i = SkipDigits(text, i);
    if (i < text.size() && text[i] == u'.') i = SkipDigits(text, i + 1);
    if (i == mantissa) return 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        size_t exponent = i + 1;
        if (exponent < text.size() && IsSign(text[exponent])) ++exponent;
        const size_t end = SkipDigits(text, exponent);
        if (end > exponent) i = end;
    }
    return i;
}

const TFormatSettings& XpsFormatSettings() {
    static const TFormatSettings settings = [] {
        TFormatSettings xps = LocaleFormatSettings();
        xps.DecimalSeparator = u'.';
        return xps;
    }();
    return settings;
}

void RaiseInvalidXpsNumber(std::u16string_view text) {
    throw EConvertError(u"'" + QuotedInMessage(text) + u"' is not a valid floating point value");
}

long double XpsStrToFloat(std::u16string_view text) {
    const auto number = SplitXpsNumber(text);
    if (!number) RaiseInvalidXpsNumber(text);
    if (const auto value = ConvertShortNumber(*number)) return *value;
    long double value = 0;
    if (!ConvertLongNumber(*number, value)) RaiseInvalidXpsNumber(text);
    return value;
}

long double XpsNumberAttr(const TqlxXMLItem& item, std::u16string_view name) { return XpsStrToFloat(item.GetAttr(name)); }

int32_t XpsColorToColor(std::u16string_view text) {
    if (TrimSpacesAndControls(text).size() < 2 || text.front() != u'#') return kNoXpsColor;
    std::u16string argb(text);
    // The sRGB form without alpha is opaque.
    if (argb.size() == 7) argb.insert(1, u"FF");
    if (argb.size() < 9) return kNoXpsColor;
    std::u16string abgr = u"$";
    for (size_t position : {2, 3, 8, 9, 6, 7, 4, 5}) abgr.push_back(argb[position - 1]);
    const uint32_t value = static_cast<uint32_t>(StrToInt(abgr));
    return static_cast<int32_t>(value - 0xFF000000u);
}

int32_t ReadXpsColor(std::u16string_view text) {
    constexpr std::u16string_view kScRgb = u"sc#";
    return text.starts_with(kScRgb) ? ScRgbToColor(text.substr(kScRgb.size())) : XpsColorToColor(text);
}

std::u16string RawXpsText(const TqlxXMLItem& item, std::u16string_view name, bool legacy) {
    const std::u16string_view raw = item.GetRawAttr(name);
    return legacy ? Utf8ToUtf16(Utf16ToAnsi(raw)) : std::u16string(raw);
}

// "&apos;" becomes a character reference first: the text is then unescaped
// in one pass, so "&amp;apos;" still stands for the text "&apos;".
std::u16string XpsUnescape(std::u16string_view text) {
    constexpr std::u16string_view kApostrophe = u"&apos;";
    if (text.find(kApostrophe) == std::u16string_view::npos) return XMLUnescape(text);
    std::u16string numbered;
    size_t from = 0;
    for (size_t at = text.find(kApostrophe); at != std::u16string_view::npos; at = text.find(kApostrophe, from)) {
        numbered.append(text.substr(from, at - from)).append(u"&#39;");
        from = at + kApostrophe.size();
    }
    numbered.append(text.substr(from));
    return XMLUnescape(numbered);
}

std::u16string PartNameFromSource(std::u16string_view source, std::u16string_view referringPart) {
    const std::u16string name = XpsUnescape(source);
    if (!name.empty() && name.front() == u'/') return name.substr(1);
    const size_t slash = referringPart.rfind(u'/');
    const std::u16string_view folder = slash == std::u16string_view::npos ? std::u16string_view() : referringPart.substr(0, slash + 1);
    return NormaliseSegments(std::u16string(folder) + name);
}

// The font height is the negated size, so the range is that of both.
int32_t RoundEmSize(long double emSize) {
    const long double rounded = std::rint(emSize);
    if (!(std::fabs(rounded) <= std::numeric_limits<int32_t>::max()))
        throw EInvalidOp(u"the em size " + FloatToStr(emSize, XpsFormatSettings()) + u" does not fit a font height");
    return static_cast<int32_t>(rounded);
}
