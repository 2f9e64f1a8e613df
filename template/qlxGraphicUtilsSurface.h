#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Graphics.h"

class TFontRealiser;
class TRealisedFont;

// The off-screen surface text is measured on, with its own font and its own
// lock; one logical unit is one pixel. The font is realised again only after
// an attribute that shapes the glyphs changed.
class TqlxMeasuringSurface {
public:
    TqlxMeasuringSurface();
    ~TqlxMeasuringSurface();
    TqlxMeasuringSurface(const TqlxMeasuringSurface&) = delete;
    TqlxMeasuringSurface& operator=(const TqlxMeasuringSurface&) = delete;

    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }

    // The surface font; its Height is in the surface's pixels.
    const TFont& Font() const { return font_; }
    // Assigns each attribute that differs from the surface font's; faceData
    // and faceIndex name a face held in memory (TFont::FaceData).
    void AssignFont(const std::u16string& name, int32_t height, TFontStyles style, uint8_t charset, int32_t color,
                    const TFontData& faceData = nullptr, int32_t faceIndex = 0);

    // The advance width of text in the surface font, in pixels.
    int64_t TextExtent(std::u16string_view text);

private:
    std::recursive_mutex lock_;
    TFont font_;
    std::unique_ptr<TFontRealiser> realiser_;  // made on the first measurement
    TRealisedFont* realised_ = nullptr;        // null until the font is realised again
};
