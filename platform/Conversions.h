#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

std::u16string IntToStr(int64_t value);

// The value of a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char16_t ch);

// The blanks that separate a tag's name from its attributes and one
// attribute from the next: a space, a tab, a carriage return or a line feed.
// The settings store's lines are trimmed of the same.
constexpr bool IsXmlBlank(char16_t ch) { return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n'; }
// The text without the XML blanks at its ends.
constexpr std::u16string_view TrimXmlBlanks(std::u16string_view text) {
    while (!text.empty() && IsXmlBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsXmlBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Integer text: optional leading blanks, an optional sign, then decimal digits,
// or hexadecimal digits after "$", "x", "X", "0x" or "0X". A decimal value must
// fit a signed 32-bit integer; a hexadecimal one may use all 32 bits and wraps.
std::optional<int32_t> TryStrToInt(std::u16string_view text);
// As TryStrToInt; other text raises EConvertError "''%s'' is not a valid integer value".
int32_t StrToInt(std::u16string_view text);
