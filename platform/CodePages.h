#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// Text in memory is UTF-16; byte text always names the code page it is in.
enum class TCodePage {
    Ansi,  // the 8-bit code page: Windows-1252, all 256 bytes round-trip
    Oem,   // IBM 437, the code page of stored ZIP names
    Utf8,
};

std::u16string DecodeBytes(std::string_view bytes, TCodePage codePage);
// Characters the code page cannot hold become "?".
std::string EncodeText(std::u16string_view text, TCodePage codePage);

// Malformed input becomes U+FFFD, one per maximal ill-formed subsequence.
std::u16string Utf8ToUtf16(std::string_view bytes);
// A surrogate pair becomes one four-byte sequence; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// The same, appended to bytes.
void AppendUtf8(std::string& bytes, std::u16string_view text);

// UTF-16 surrogates: a high one followed by a low one stands for one
// character beyond U+FFFF; either alone stands for none.
constexpr bool IsHighSurrogate(char16_t ch) { return ch >= 0xD800 && ch <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t ch) { return ch >= 0xDC00 && ch <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t ch) { return ch >= 0xD800 && ch <= 0xDFFF; }
constexpr bool StartsSurrogatePair(std::u16string_view text, size_t i) {
    return IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
}
constexpr char32_t PairedCharacter(char16_t high, char16_t low) {
    return 0x10000 + ((char32_t{high} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
}
// Appends ch, which is no surrogate and at most U+10FFFF, as one unit or a pair.
void AppendCharacter(std::u16string& text, char32_t ch);
// A unit XML text may hold on its own: a tab, a line break, or from the blank
// up, neither a surrogate (which it holds in pairs only) nor U+FFFE or U+FFFF.
constexpr bool IsXmlUnit(char16_t ch) {
    return ch < 0x20 ? ch == u'\t' || ch == u'\n' || ch == u'\r' : ch < 0xD800 || (ch >= 0xE000 && ch < 0xFFFE);
}

// The length of the longest start of text, at most maxUnits long, that does not split a surrogate pair.
size_t CharacterPrefixLength(std::u16string_view text, size_t maxUnits);

// File names and arguments are bytes, mostly but not always UTF-8 (a Latin-1
// name, say). Each byte that is no part of well-formed UTF-8 becomes the lone
// surrogate U+DC80..U+DCFF and goes back to the same byte, so that any name
// survives its trip through UTF-16 exactly. Other lone surrogates become U+FFFD.
std::u16string NameBytesToUtf16(std::string_view bytes);
std::string Utf16ToNameBytes(std::u16string_view name);
// UTF-8 to print, where a name's escaped byte shows as "\xNN".
std::string PrintableText(std::u16string_view text);
// The same for a name, which must print as one unambiguous run of text:
// control characters (below 32, and 127) show as "\n", "\t", "\r" or "\xNN",
// and a backslash as "\\".
std::string PrintableName(std::u16string_view text);

std::u16string AnsiToUtf16(std::string_view bytes);
std::string Utf16ToAnsi(std::u16string_view text);
char16_t AnsiByteToChar(unsigned char byte);
unsigned char CharToAnsiByte(char16_t ch);

// Re-encodes OEM bytes as ANSI bytes, as stored ZIP names need.
std::string OemToAnsi(std::string_view bytes);

// A one-to-one, length-keeping upper-case mapping (ASCII, Latin-1, Latin
// Extended-A, basic Greek and Cyrillic), independent of the C library's locale.
extern const std::array<char16_t, 65536> kUpperCaseTable;
inline char16_t UpperChar(char16_t ch) { return kUpperCaseTable[ch]; }
std::u16string UpperCase(std::u16string_view text);

// ASCII-only letter folding, for names compared "without regard to ASCII case".
inline char16_t AsciiLowerChar(char16_t ch) { return (ch >= u'A' && ch <= u'Z') ? char16_t(ch + 32) : ch; }
inline char16_t AsciiUpperChar(char16_t ch) { return (ch >= u'a' && ch <= u'z') ? char16_t(ch - 32) : ch; }
std::u16string AsciiLowerCase(std::u16string_view text);

// Widens 7-bit text; for literals and numbers only.
std::u16string AsciiToUtf16(std::string_view ascii);
