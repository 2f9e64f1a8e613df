#pragma once

#include <cstdint>
#include <string>

#include "platform/Exceptions.h"

class TqlxXMLReader;

// A file that holds no report page with a title band and a paper size.
class ETemplateFormatError : public Exception {
public:
    ETemplateFormatError();
};

// A picture of a written template as SVG, drawn where the template places its
// objects: its paper, each text object as a thinly outlined box with its text
// inside, each line object as its line. The picture's user units are the
// template's pixels. An object without the numbers that place it (one whose
// measuring failed has no attributes at all), or whose edges lie beyond a
// double's range, draws nothing.
class TTemplatePicture {
public:
    // Reads the template file with the project's XML reader; its errors
    // propagate, and a file that is no template raises ETemplateFormatError.
    explicit TTemplatePicture(const std::u16string& templateName);

    // The template's text and line objects, drawn or not.
    int32_t TextCount() const { return textCount_; }
    int32_t LineCount() const { return lineCount_; }

    // The SVG text in UTF-8.
    const std::string& Svg() const { return svg_; }
    // Written as templates are: a new file beside pictureName, renamed over it.
    void SaveToFile(const std::u16string& pictureName) const;

private:
    // The objects of the band whose start tag was read last, up to its end tag.
    void DrawObjects(TqlxXMLReader& reader, double bandTop);

    std::string svg_;
    int32_t textCount_ = 0;
    int32_t lineCount_ = 0;
};

// The picture beside a template: the same stem, the extension ".svg".
std::u16string PictureName(const std::u16string& templateName);
// Draws the template and writes its picture beside it; returns the picture's name.
std::u16string WritePictureBeside(const std::u16string& templateName);
