#include "platform/CodePages.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Windows-1252 0x80..0x9F; its five unassigned bytes keep the C1 character of
// the same value so that every byte survives a round trip.
constexpr std::array<char16_t, 32> kAnsiHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// IBM 437 0x80..0xFF.
constexpr std::array<char16_t, 128> kOemHigh = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

struct SingleByteCodePage {
    std::array<char16_t, 256> toChar{};
    std::array<unsigned char, 65536> toByte{};

    // Bytes from 0x80 on take their characters from high; the rest stand for themselves.
    template <size_t N>
    explicit SingleByteCodePage(const std::array<char16_t, N>& high) {
        toByte.fill('?');
        for (unsigned b = 0; b < 256; ++b) {
            toChar[b] = (b >= 0x80 && b < 0x80 + N) ? high[b - 0x80] : char16_t(b);
            toByte[toChar[b]] = static_cast<unsigned char>(b);
        }
    }
};

const SingleByteCodePage& AnsiPage() {
    static const SingleByteCodePage page(kAnsiHigh);
    return page;
}

const SingleByteCodePage& OemPage() {
    static const SingleByteCodePage page(kOemHigh);
    return page;
}

// Text is mostly ASCII, which every code page here keeps as it is: blocks of
// it are converted whole, in vector registers, instead of unit by unit.
using TByteBlock = uint8_t __attribute__((vector_size(16)));
using TUnitBlock = char16_t __attribute__((vector_size(32)));
using THalfUnitBlock = char16_t __attribute__((vector_size(16)));
using THalfByteBlock = uint8_t __attribute__((vector_size(8)));
constexpr size_t kAsciiBlock = 16;

// Widens 16 bytes when all of them are ASCII; false otherwise.
bool WidenAsciiBlock(const unsigned char* in, char16_t* out) {
    uint64_t halves[2];
    std::memcpy(halves, in, sizeof halves);
    if (((halves[0] | halves[1]) & 0x8080808080808080ull) != 0) return false;
    TByteBlock bytes;
    std::memcpy(&bytes, in, sizeof bytes);
    const TUnitBlock units = __builtin_convertvector(bytes, TUnitBlock);
    std::memcpy(out, &units, sizeof units);
    return true;
}

// Narrows eight units when all of them are ASCII; false otherwise.
bool NarrowAsciiBlock(const char16_t* in, char* out) {
    uint64_t halves[2];
    std::memcpy(halves, in, sizeof halves);
    if (((halves[0] | halves[1]) & 0xFF80FF80FF80FF80ull) != 0) return false;
    THalfUnitBlock units;
    std::memcpy(&units, in, sizeof units);
    const THalfByteBlock bytes = __builtin_convertvector(units, THalfByteBlock);
    std::memcpy(out, &bytes, sizeof bytes);
    return true;
}

std::u16string DecodeSingleByte(std::string_view bytes, const SingleByteCodePage& page) {
    std::u16string text(bytes.size(), u'\0');
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    while (i < bytes.size()) {
        if (i + kAsciiBlock <= bytes.size() && WidenAsciiBlock(in + i, &text[i])) {
            i += kAsciiBlock;
            continue;
        }
        text[i] = page.toChar[in[i]];
        ++i;
    }
    return text;
}

std::string EncodeSingleByte(std::u16string_view text, const SingleByteCodePage& page) {
    std::string bytes(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<char>(page.toByte[text[i]]);
    return bytes;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// What an ill-formed sequence decodes to, unlike any character.
constexpr uint32_t kIllFormed = 0xFFFFFFFF;

char16_t HighSurrogateOf(char32_t ch) { return static_cast<char16_t>(0xD800 + ((ch - 0x10000) >> 10)); }
char16_t LowSurrogateOf(char32_t ch) { return static_cast<char16_t>(0xDC00 + (ch & 0x3FF)); }

// A byte of a name that is no part of well-formed UTF-8 stands in UTF-16 as
// the lone surrogate that no well-formed text decodes to.
constexpr char16_t kEscapedByteBase = 0xDC00;
char16_t EscapedByte(unsigned char byte) { return static_cast<char16_t>(kEscapedByteBase + byte); }
bool IsEscapedByte(char16_t ch) { return ch >= kEscapedByteBase + 0x80 && ch <= kEscapedByteBase + 0xFF; }

// Decodes one sequence starting at bytes[i]; returns the number of bytes it
// consumed, which for an ill-formed sequence (cp kIllFormed) is its maximal
// valid prefix (at least 1).
size_t DecodeUtf8Sequence(std::string_view bytes, size_t i, uint32_t& cp) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = at(i);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        cp = kIllFormed;
        return 1;
    }
    for (size_t k = 1; k < length; ++k) {
        if (i + k >= bytes.size()) {
            cp = kIllFormed;
            return k;
        }
        const unsigned char byte = at(i + k);
        const bool inRange = k == 1 ? (byte >= low && byte <= high) : IsContinuation(byte);
        if (!inRange) {
            cp = kIllFormed;
            return k;
        }
        cp = (cp << 6) | (byte & 0x3F);
    }
    return length;
}

constexpr std::array<char16_t, 65536> BuildUpperTable() {
    std::array<char16_t, 65536> table{};
    for (unsigned ch = 0; ch < table.size(); ++ch) table[ch] = static_cast<char16_t>(ch);
    const auto shiftRange = [&](unsigned first, unsigned last, int delta) {
        for (unsigned ch = first; ch <= last; ++ch) table[ch] = static_cast<char16_t>(int(ch) + delta);
    };
    // Pairs in which the upper-case letter precedes its lower-case twin.
    const auto pairRange = [&](unsigned first, unsigned last, unsigned upperParity) {
        for (unsigned ch = first; ch <= last; ++ch)
            if (ch % 2 != upperParity) table[ch] = static_cast<char16_t>(ch - 1);
    };
    shiftRange(u'a', u'z', -32);
    shiftRange(0xE0, 0xF6, -32);
    shiftRange(0xF8, 0xFE, -32);
    table[0xFF] = 0x178;
    pairRange(0x100, 0x12F, 0);
    pairRange(0x132, 0x137, 0);
    pairRange(0x139, 0x148, 1);
    pairRange(0x14A, 0x177, 0);
    pairRange(0x179, 0x17E, 1);
    shiftRange(0x3B1, 0x3C1, -32);
    shiftRange(0x3C3, 0x3CB, -32);
    table[0x3C2] = 0x3A3;
    table[0x3AC] = 0x386;
    shiftRange(0x3AD, 0x3AF, -37);
    table[0x3CC] = 0x38C;
    shiftRange(0x3CD, 0x3CE, -63);
    shiftRange(0x430, 0x44F, -32);
    shiftRange(0x450, 0x45F, -80);
    return table;
}

}  // namespace

// Built at compile time: attribute lookups upper-case every character they pass.
constinit const std::array<char16_t, 65536> kUpperCaseTable = BuildUpperTable();

std::u16string DecodeBytes(std::string_view bytes, TCodePage codePage) {
    switch (codePage) {
        case TCodePage::Ansi: return AnsiToUtf16(bytes);
        case TCodePage::Oem: return DecodeSingleByte(bytes, OemPage());
        case TCodePage::Utf8: return Utf8ToUtf16(bytes);
    }
    return {};
}

std::string EncodeText(std::u16string_view text, TCodePage codePage) {
    switch (codePage) {
        case TCodePage::Ansi: return Utf16ToAnsi(text);
        case TCodePage::Oem: return EncodeSingleByte(text, OemPage());
        case TCodePage::Utf8: return Utf16ToUtf8(text);
    }
    return {};
}

namespace {

// An ill-formed sequence becomes one U+FFFD, or with escapeBytes each of its bytes its escape.
std::u16string DecodeUtf8(std::string_view bytes, bool escapeBytes) {
    // Never longer than the input.
    std::u16string text(bytes.size(), u'\0');
    char16_t* out = text.data();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    size_t i = 0;
    while (i < size) {
        if (i + kAsciiBlock <= size && WidenAsciiBlock(in + i, out)) {
            out += kAsciiBlock;
            i += kAsciiBlock;
            continue;
        }
        if (in[i] < 0x80) {
            *out++ = in[i++];
            continue;
        }
        uint32_t cp;
        const size_t used = DecodeUtf8Sequence(bytes, i, cp);
        if (cp == kIllFormed && escapeBytes) {
            for (size_t k = 0; k < used; ++k) *out++ = EscapedByte(in[i + k]);
        } else if (cp == kIllFormed) {
            *out++ = kReplacement;
        } else if (cp < 0x10000) {
            *out++ = static_cast<char16_t>(cp);
        } else {
            *out++ = HighSurrogateOf(cp);
            *out++ = LowSurrogateOf(cp);
        }
        i += used;
    }
    text.resize(static_cast<size_t>(out - text.data()));
    return text;
}

// A lone surrogate becomes U+FFFD, or with escapedBytes an escaped byte the byte it stands for.
void EncodeUtf8(std::string& bytes, std::u16string_view text, bool escapedBytes) {
    // One UTF-16 unit never takes more than three bytes (a pair takes four).
    const size_t start = bytes.size();
    bytes.resize(start + 3 * text.size());
    char* out = bytes.data() + start;
    const auto put = [&](uint32_t byte) { *out++ = static_cast<char>(byte); };
    for (size_t i = 0; i < text.size(); ++i) {
        while (i + 8 <= text.size() && NarrowAsciiBlock(text.data() + i, out)) {
            out += 8;
            i += 8;
        }
        if (i == text.size()) break;
        uint32_t cp = text[i];
        if (cp < 0x80) {
            put(cp);
            continue;
        }
        if (StartsSurrogatePair(text, i)) {
            cp = PairedCharacter(text[i], text[i + 1]);
            ++i;
        } else if (escapedBytes && IsEscapedByte(text[i])) {
            put(cp - kEscapedByteBase);
            continue;
        } else if (IsSurrogate(text[i])) {
            cp = kReplacement;
        }
        if (cp < 0x800) {
            put(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            put(0xE0 | (cp >> 12));
            put(0x80 | ((cp >> 6) & 0x3F));
        } else {
            put(0xF0 | (cp >> 18));
            put(0x80 | ((cp >> 12) & 0x3F));
            put(0x80 | ((cp >> 6) & 0x3F));
        }
        put(0x80 | (cp & 0x3F));
    }
    bytes.resize(static_cast<size_t>(out - bytes.data()));
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) { return DecodeUtf8(bytes, false); }

void AppendUtf8(std::string& bytes, std::u16string_view text) { EncodeUtf8(bytes, text, false); }

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string bytes;
    AppendUtf8(bytes, text);
    return bytes;
}

size_t CharacterPrefixLength(std::u16string_view text, size_t maxUnits) {
    if (maxUnits >= text.size()) return text.size();
    return maxUnits > 0 && StartsSurrogatePair(text, maxUnits - 1) ? maxUnits - 1 : maxUnits;
}

void AppendCharacter(std::u16string& text, char32_t ch) {
    if (ch <= 0xFFFF) {
        text.push_back(static_cast<char16_t>(ch));
        return;
    }
    text.push_back(HighSurrogateOf(ch));
    text.push_back(LowSurrogateOf(ch));
}

std::u16string NameBytesToUtf16(std::string_view bytes) { return DecodeUtf8(bytes, true); }

std::string Utf16ToNameBytes(std::u16string_view name) {
    std::string bytes;
    EncodeUtf8(bytes, name, true);
    return bytes;
}

namespace {

void AppendHexByte(std::string& printed, unsigned byte) {
    static constexpr char kHexDigits[] = "0123456789abcdef";
    printed += {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
}

// The characters with an escape of their own; the backslash is doubled
// because every escape starts with one. Nothing for the others.
std::string_view ShortEscape(char16_t ch) {
    switch (ch) {
        case u'\n': return "\\n";
        case u'\t': return "\\t";
        case u'\r': return "\\r";
        case u'\\': return "\\\\";
        default: return {};
    }
}

bool IsControl(char16_t ch) { return ch < 0x20 || ch == 0x7F; }

std::string Printable(std::u16string_view text, bool escapeControls) {
    std::string printed;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i];
        const bool escaped = IsEscapedByte(ch);
        if (!escaped && !(escapeControls && (IsControl(ch) || ch == u'\\'))) continue;
        AppendUtf8(printed, text.substr(start, i - start));
        if (escaped) AppendHexByte(printed, ch - kEscapedByteBase);
        else if (const std::string_view escape = ShortEscape(ch); !escape.empty()) printed += escape;
        else AppendHexByte(printed, ch);
        start = i + 1;
    }
    AppendUtf8(printed, text.substr(start));
    return printed;
}

}  // namespace

std::string PrintableText(std::u16string_view text) { return Printable(text, false); }

std::string PrintableName(std::u16string_view text) { return Printable(text, true); }

std::u16string AnsiToUtf16(std::string_view bytes) { return DecodeSingleByte(bytes, AnsiPage()); }

std::string Utf16ToAnsi(std::u16string_view text) { return EncodeSingleByte(text, AnsiPage()); }

char16_t AnsiByteToChar(unsigned char byte) { return AnsiPage().toChar[byte]; }

unsigned char CharToAnsiByte(char16_t ch) { return AnsiPage().toByte[ch]; }

std::string OemToAnsi(std::string_view bytes) { return Utf16ToAnsi(DecodeSingleByte(bytes, OemPage())); }


std::u16string UpperCase(std::u16string_view text) {
    std::u16string result(text);
    for (char16_t& ch : result) ch = UpperChar(ch);
    return result;
}

std::u16string AsciiLowerCase(std::u16string_view text) {
    std::u16string result(text);
    for (char16_t& ch : result) ch = AsciiLowerChar(ch);
    return result;
}

std::u16string AsciiToUtf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }
