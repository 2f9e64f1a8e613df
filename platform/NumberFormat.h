#pragma once

#include <string>

// The characters numbers are written with.
struct TFormatSettings {
    char16_t DecimalSeparator = u'.';
};

// The number format of the user's locale as the environment names it: LC_ALL,
// else LC_NUMERIC, else LANG. "." when none is set or the locale is not
// installed. The process's C locale is neither read nor changed.
TFormatSettings LocaleFormatSettings();

// The process-wide number format, taken from LocaleFormatSettings on first
// use. A program may change it at start-up, before other threads run.
TFormatSettings& FormatSettings();

// General format: the value rounded to 15 significant digits without trailing
// zeros; fixed notation for 0 and for 0.0001 <= |value| < 1E15, else one digit,
// the fraction digits and "E" with the exponent ("1E-5", "1.5E-7", "1E20").
// Never a thousands separator. Not-a-number and infinities give "NAN", "INF", "-INF".
std::u16string FloatToStr(long double value, const TFormatSettings& settings);
// The same with the process-wide number format.
std::u16string FloatToStr(long double value);
// The general format appended to text, for callers composing long texts.
void AppendFloat(std::u16string& text, long double value, const TFormatSettings& settings);
// Whether the general format of value reads back as a finite double: the
// largest doubles are written rounded up to 15 digits ("1.79769313486232E308"),
// which no double holds. Not-a-number and infinities do not.
bool WrittenFloatFitsDouble(long double value);
