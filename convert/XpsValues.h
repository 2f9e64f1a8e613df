#pragma once

// The values XPS markup writes: numbers, colours, part names and the texts
// of attributes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/NumberFormat.h"

class TqlxXMLItem;

// The number format XPS numbers are read with: the user's, but with "." as
// the decimal separator whatever the locale says.
const TFormatSettings& XpsFormatSettings();
// The length of the XPS number text starts with, 0 when it starts with none.
size_t XpsNumberLength(std::u16string_view text);
// The whole text, blanks around it allowed, as an XPS number; raises
// EConvertError "'%s' is not a valid floating point value" otherwise.
long double XpsStrToFloat(std::u16string_view text);
[[noreturn]] void RaiseInvalidXpsNumber(std::u16string_view text);
// The element's attribute as an XPS number; a missing one fails as the empty text does.
long double XpsNumberAttr(const TqlxXMLItem& item, std::u16string_view name);

// The colour that stands for "no usable colour".
constexpr int32_t kNoXpsColor = -16777216;
int32_t XpsColorToColor(std::u16string_view text);
// Every colour syntax the nested mode reads: "#..." as XpsColorToColor, and
// scRGB "sc#A,R,G,B" or "sc#R,G,B" (linear values, each clamped to 0..1,
// red, green and blue turned to sRGB); anything else, ContextColor among
// them, is no usable colour. A value that is no number raises EConvertError.
int32_t ReadXpsColor(std::u16string_view text);
// An attribute's text with the characters the part wrote, references still
// unexpanded: markup read in the reader's legacy mode keeps a character per
// byte, and those bytes are UTF-8.
std::u16string RawXpsText(const TqlxXMLItem& item, std::u16string_view name, bool legacy);
// XMLUnescape, and "&apos;" for an apostrophe as anywhere in XML.
std::u16string XpsUnescape(std::u16string_view text);
// The archive entry a Source names, unescaped; relative references resolve
// against the folder of the part that holds them.
std::u16string PartNameFromSource(std::u16string_view source, std::u16string_view referringPart);
// FontRenderingEmSize to a whole pixel height, halves to the even neighbour;
// EInvalidOp when it or its negation does not fit 32 bits.
int32_t RoundEmSize(long double emSize);
