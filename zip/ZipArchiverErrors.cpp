#include "zip/ZipArchiverErrors.h"

#include <array>
#include <cstdio>
#include <utility>

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "zip/ZipArchiver.h"

namespace {

const std::array<std::u16string, 38> kMessages = {
    u"Unknown error",
    u"Index out of bounds",
    u"Invalid compression mode. Mode must be in [0-9] range",
    u"Unexpected nil pointer",
    u"Invalid size or check sum of file or unsupported compression format",
    u"File name is blank. Specify appropriate file name",
    u"File \"%s\" not found",
    u"Archive is not open",
    u"SFXStub property is not specified",
    u"Cannot create file \"%s\"",
    u"Cannot create directory \"%s\"",
    u"Internal error. Update is not started",
    u"Cannot open file \"%s\"",
    u"Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    u"Cannot delete file \"%s\"",
    u"In-memory archive can be created only",
    u"File is open in read-only mode",
    u"Invalid compressed size, rfs.size = %d, count = %d",
    u"Invalid archive file.",
    u"Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    u"Archive is open. You should close it beore performing this operation.",
    u"Unable to create directory",
    u"Cannot find Zip64 directory end record",
    u"Cannot compress file '%s'. Zip64 mode is not enabled",
    u"Cannot open archive file. Opening aborted or invalid file",
    u"Write to stream error",
    u"Cannot place SFX stub on volume. Volume size limit is too small",
    u"Archive is damaged. Open failed",
    u"MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation instead of MakeSFX",
    u"Archive already has SFX stub",
    u"Multi-volume archive is not allowed for custom stream",
    u"Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to add files several "
    u"times",
    u"Deflate64 compression method is not supported",
    u"MakeSFX error",
    u"Hashed list of file names is invalid",
    u"Cannot delete folder \"%s\"",
    u"File name is too long: \r\n\"%s\"",
    u"Multiple transactions are not supported for multi-volume archives",
};

struct TCodePair {
    int32_t Code;
    int32_t Index;
};

// Codes 0 to 62 in ascending order, each with the position of its message.
constexpr std::array<TCodePair, 63> kCodes = {{
    {0, 0},   {1, 1},   {2, 1},   {3, 1},   {4, 1},   {5, 2},   {6, 3},   {7, 1},   {8, 4},
    {9, 5},   {10, 5},  {11, 6},  {12, 6},  {13, 7},  {14, 7},  {15, 6},  {16, 1},  {17, 8},
    {18, 6},  {19, 9},  {20, 10}, {21, 1},  {22, 11}, {23, 9},  {24, 1},  {25, 11}, {26, 13},
    {27, 14}, {28, 15}, {29, 5},  {30, 6},  {31, 6},  {32, 16}, {33, 12}, {34, 17}, {35, 18},
    {36, 19}, {37, 20}, {38, 6},  {39, 21}, {40, 22}, {41, 23}, {42, 6},  {43, 23}, {44, 24},
    {45, 24}, {46, 25}, {47, 26}, {48, 27}, {49, 28}, {50, 29}, {51, 30}, {52, 31}, {53, 6},
    {54, 6},  {55, 32}, {56, 33}, {57, 27}, {58, 34}, {59, 34}, {60, 35}, {61, 36}, {62, 37},
}};

std::u16string ArgText(const TZFMessageArg& arg) {
    if (const auto* text = std::get_if<std::u16string>(&arg)) return *text;
    return IntToStr(std::get<int64_t>(arg));
}

// Fills "%s" and "%d" in order and turns "%%" into "%". A placeholder without
// an argument stays as written: building a message must never fail.
std::u16string FormatBody(const std::u16string& pattern, std::initializer_list<TZFMessageArg> args) {
    std::u16string result;
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char16_t ch = pattern[i];
        const char16_t conversion = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
        if (ch == u'%' && conversion == u'%') {
            result += u'%';
            ++i;
        } else if (ch == u'%' && (conversion == u's' || conversion == u'd') && next != args.end()) {
            result += ArgText(*next++);
            ++i;
        } else {
            result += ch;
        }
    }
    return result;
}

// The code right-aligned in five columns with the blanks shown as zeros.
std::u16string PaddedCode(int32_t code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%5d", code);
    std::u16string text = AsciiToUtf16(buffer);
    for (char16_t& ch : text)
        if (ch == u' ') ch = u'0';
    return text;
}

std::u16string BuildMessage(int32_t code, const TZFBaseArchiver* component, std::u16string body) {
    if (component != nullptr && !component->Name.empty()) body = component->Name + u": " + body;
    return body + u" - Native error: " + PaddedCode(code);
}

}  // namespace

int32_t ZFMessageIndex(int32_t code) {
    for (const TCodePair& pair : kCodes)
        if (pair.Code == code) return pair.Index;
    return 0;
}

const std::u16string& ZFMessageText(int32_t index) { return kMessages.at(static_cast<size_t>(index)); }

EZFException::EZFException(int32_t code, const TZFBaseArchiver* component)
    : Exception(u"EZFException", BuildMessage(code, component, ZFMessageText(ZFMessageIndex(code)))),
      NativeError(code),
      MessageIndex(ZFMessageIndex(code)) {}

EZFException::EZFException(int32_t code, const TZFBaseArchiver* component, std::initializer_list<TZFMessageArg> args)
    : Exception(u"EZFException",
                BuildMessage(code, component, FormatBody(ZFMessageText(ZFMessageIndex(code)), args))),
      NativeError(code),
      MessageIndex(ZFMessageIndex(code)) {}
