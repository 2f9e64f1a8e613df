#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Graphics.h"

class TqlxXMLDocument;
class TqlxXMLItem;

// Template pixels per millimetre: the extended value nearest 3.77953, not 96 / 25.4.
constexpr long double PixelsPerMillimetre = 3.77953L;
// AddLine adds nothing in opaque white, the colour of the paper.
constexpr int32_t kInvisibleLineColor = 16777215;

// Builds one report template in memory and writes it to a file. The calling
// order is: constructor, AddPage once, any number of AddMemo and AddLine,
// SaveTemplate. Numbers are written in the process-wide number format.
class TqlxRepDoc {
public:
    // The name gets the extension ".qlt"; a name of nothing but blanks and
    // control characters becomes "Report.qlt".
    explicit TqlxRepDoc(const std::u16string& name);
    ~TqlxRepDoc();
    TqlxRepDoc(const TqlxRepDoc&) = delete;
    TqlxRepDoc& operator=(const TqlxRepDoc&) = delete;

    // The add operations report every failure as false. A memo or line
    // consumes its number even when it fails, and one that fails after its
    // element was added leaves that element without attributes.
    bool AddPage(long double Width, long double Height);  // page size in pixels
    // Text in UTF-8; characters a template cannot hold become U+FFFD before
    // the text is measured and written, in Font.Name too.
    bool AddMemo(const TFont& Font, std::string_view Text, long double X, long double Y);
    // The same, but a text that Font cannot measure (it cannot be realised, or
    // its face held in memory cannot load a glyph of the text) is measured and
    // written in StandIn; StoodIn says whether it was.
    bool AddMemo(const TFont& Font, const TFont& StandIn, std::string_view Text, long double X, long double Y,
                 bool& StoodIn);
    // Opaque white (16777215) adds nothing and is no failure.
    bool AddLine(int32_t Color, long double X1, long double X2, long double Y1, long double Y2);

    // Writes the file; its errors propagate. The tree is then read back from
    // the file, and nothing more can be added.
    void SaveTemplate();

    TqlxXMLDocument& Document() const { return *document_; }
    int32_t MemoCount() const { return memoCount_; }
    int32_t LineCount() const { return lineCount_; }
    const std::u16string& FileName() const { return fileName_; }

private:
    TqlxXMLItem& Band() const;

    std::unique_ptr<TqlxXMLDocument> document_;
    TqlxXMLItem* bandItem_ = nullptr;  // the title band all objects go to, once AddPage has run
    int32_t memoCount_ = 0;
    int32_t lineCount_ = 0;
    std::u16string fileName_;
};
