#include "template/qlxGraphicUtilsSurface.h"

#include "template/qlxGraphicUtilsFonts.h"

namespace {

// The face name a logical font can hold.
constexpr size_t kFaceNameLength = 31;

TFontRequest RequestOf(const TFont& font) {
    TFontRequest request;
    request.Name = font.Name.substr(0, kFaceNameLength);
    request.Height = font.Height;
    request.Bold = (font.Style & fsBold) != 0;
    request.Italic = (font.Style & fsItalic) != 0;
    request.Charset = font.Charset;
    request.Data = font.FaceData;
    request.FaceIndex = font.FaceIndex;
    return request;
}

}  // namespace

TqlxMeasuringSurface::TqlxMeasuringSurface() = default;

TqlxMeasuringSurface::~TqlxMeasuringSurface() = default;

void TqlxMeasuringSurface::AssignFont(const std::u16string& name, int32_t height, TFontStyles style, uint8_t charset,
                                      int32_t color, const TFontData& faceData, int32_t faceIndex) {
    std::lock_guard guard(lock_);
    const bool reshaped = font_.Name != name || font_.Height != height || font_.Style != style ||
                          font_.Charset != charset || font_.FaceData != faceData || font_.FaceIndex != faceIndex;
    if (font_.Name != name) font_.Name = name;
    font_.Height = height;
    font_.Style = style;
    font_.Charset = charset;
    font_.Color = color;
    if (font_.FaceData != faceData) font_.FaceData = faceData;
    font_.FaceIndex = faceIndex;
    if (reshaped) realised_ = nullptr;
}

int64_t TqlxMeasuringSurface::TextExtent(std::u16string_view text) {
    std::lock_guard guard(lock_);
    if (realised_ == nullptr) {
        if (!realiser_) realiser_ = std::make_unique<TFontRealiser>();
        realised_ = &realiser_->Realise(RequestOf(font_));
    }
    return realised_->TextWidth(text);
}
