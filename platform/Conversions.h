#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

std::u16string IntToStr(int64_t value);

// The value of a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char16_t ch);

// Integer text: optional leading blanks, an optional sign, then decimal digits,
// or hexadecimal digits after "$", "x", "X", "0x" or "0X". A decimal value must
// fit a signed 32-bit integer; a hexadecimal one may use all 32 bits and wraps.
std::optional<int32_t> TryStrToInt(std::u16string_view text);
// As TryStrToInt; other text raises EConvertError "''%s'' is not a valid integer value".
int32_t StrToInt(std::u16string_view text);
