#include "platform/Conversions.h"

#include "platform/Exceptions.h"

std::u16string IntToStr(int64_t value) {
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char16_t digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::u16string text;
    text.reserve(n + 1);
    if (negative) text.push_back(u'-');
    while (n > 0) text.push_back(digits[--n]);
    return text;
}

int HexDigitValue(char16_t ch) {
    if (ch >= u'0' && ch <= u'9') return ch - u'0';
    if (ch >= u'a' && ch <= u'f') return ch - u'a' + 10;
    if (ch >= u'A' && ch <= u'F') return ch - u'A' + 10;
    return -1;
}

namespace {

// Length of a hexadecimal prefix at the start of text, 0 when there is none.
size_t HexPrefixLength(std::u16string_view text) {
    if (text.empty()) return 0;
    if (text[0] == u'$' || text[0] == u'x' || text[0] == u'X') return 1;
    if (text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) return 2;
    return 0;
}

}  // namespace

std::optional<int32_t> TryStrToInt(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    const size_t prefix = HexPrefixLength(text.substr(i));
    const bool hex = prefix > 0;
    i += prefix;
    if (i >= text.size()) return std::nullopt;
    uint64_t value = 0;
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (; i < text.size(); ++i) {
        const int digit = hex ? HexDigitValue(text[i]) : (text[i] >= u'0' && text[i] <= u'9' ? text[i] - u'0' : -1);
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > limit) return std::nullopt;
    }
    const uint32_t bits = static_cast<uint32_t>(negative ? 0 - value : value);
    return static_cast<int32_t>(bits);
}

int32_t StrToInt(std::u16string_view text) {
    if (auto value = TryStrToInt(text)) return *value;
    throw EConvertError(u"''" + QuotedInMessage(text) + u"'' is not a valid integer value");
}
