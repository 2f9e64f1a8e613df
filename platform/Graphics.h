#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

// a * b / c from a 64-bit product, rounded to the nearest integer with halves
// away from zero. -1 when c is 0 or the result does not fit 32 bits.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// The screen's logical pixels per inch: 96 unless the GUI sets it from the
// screen at start-up. Values below 1 are ignored.
int32_t ScreenPixelsPerInch();
void SetScreenPixelsPerInch(int32_t pixelsPerInch);

using TFontStyles = uint32_t;
constexpr TFontStyles fsBold = 1;
constexpr TFontStyles fsItalic = 2;
constexpr TFontStyles fsUnderline = 4;
constexpr TFontStyles fsStrikeOut = 8;

// The bytes of a font file held in memory: a TrueType or OpenType font, or a
// collection of them.
using TFontData = std::shared_ptr<const std::string>;

// A font description, not a realised font. An empty name stands for the
// system's default face; a height of 0 for the default size.
struct TFont {
    std::u16string Name;
    uint8_t Charset = 1;  // the "default" character set
    int32_t Color = 0;    // 0x00BBGGRR, the top byte free for the caller
    int32_t Height = 0;   // negative: the character (em) height in pixels; positive: the cell height
    TFontStyles Style = 0;
    int32_t PixelsPerInch = ScreenPixelsPerInch();  // the device the height is meant for
    // When set, the face is the FaceIndex-th of these bytes, whether or not
    // it is installed, and the name only says what it is called.
    TFontData FaceData;
    int32_t FaceIndex = 0;

    // The size in whole points.
    int32_t Size() const {
        const int32_t pixels = MulDiv(Height, 72, PixelsPerInch);
        return pixels == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max() : -pixels;
    }
};

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};
