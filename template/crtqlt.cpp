#include "template/crtqlt.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "platform/NumberFormat.h"
#include "template/qlxGraphicUtils.h"
#include "xml/qlxXML.h"

namespace {

std::u16string TemplateFileName(const std::u16string& name) {
    const bool blank = std::all_of(name.begin(), name.end(), [](char16_t ch) { return ch <= u' '; });
    std::u16string fileName = blank ? u"Report" : name;
    const size_t delimiter = fileName.find_last_of(u"./");
    if (delimiter != std::u16string::npos && fileName[delimiter] == u'.') fileName.erase(delimiter);
    return fileName + u".qlt";
}

// The local date and time as days since 30 December 1899, the time of day
// (with its milliseconds) as the fraction.
long double CurrentDayCount() {
    namespace chrono = std::chrono;
    const chrono::system_clock::time_point now = chrono::system_clock::now();
    const auto second = chrono::floor<chrono::seconds>(now);
    const std::time_t clock = chrono::system_clock::to_time_t(second);
    std::tm local{};
    ::localtime_r(&clock, &local);
    const chrono::sys_days date{chrono::year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday};
    const chrono::sys_days dayZero{chrono::year{1899} / chrono::December / 30};
    const long double milliseconds = (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000.0L +
                                     chrono::duration_cast<chrono::milliseconds>(now - second).count();
    return (date - dayZero).count() + milliseconds / 86400000;
}

// An attribute text: each attribute as name="value", one blank between them.
// Values are written as given, so text must be escaped before.
class TAttrText {
public:
    TAttrText& Add(std::u16string_view name, std::u16string_view value) {
        Open(name);
        text_ += value;
        text_ += u'"';
        return *this;
    }
    TAttrText& Real(std::u16string_view name, long double value) {
        Open(name);
        AppendFloat(text_, value, FormatSettings());
        text_ += u'"';
        return *this;
    }
    TAttrText& Integer(std::u16string_view name, int64_t value) { return Add(name, IntToStr(value)); }
    const std::u16string& Text() const { return text_; }

private:
    // The separating blank, the name and the opening quotation mark.
    void Open(std::u16string_view name) {
        if (text_.empty()) text_.reserve(kTypicalLength);
        else text_ += u' ';
        text_ += name;
        text_ += u"=\"";
    }

    static constexpr size_t kTypicalLength = 320;
    std::u16string text_;
};

// The text of a text object as it is measured and written.
std::u16string MemoText(std::string_view text) { return ReplaceNonXmlChars(Utf8ToUtf16(text)); }

std::u16string ReportAttributes() {
    return TAttrText()
        .Add(u"Version", u"4.7")
        .Add(u"DotMatrixReport", u"False")
        .Add(u"IniFile", u"\\Software\\Quill Reports")
        .Add(u"PreviewOptions.Buttons", u"2047")
        .Add(u"PreviewOptions.Zoom", u"1")
        .Add(u"PrintOptions.Printer", u"Default")
        .Add(u"PrintOptions.PrintOnSheet", u"0")
        .Real(u"ReportOptions.CreateDate", CurrentDayCount())
        .Add(u"ReportOptions.Description.Text", u"")
        .Real(u"ReportOptions.LastChange", CurrentDayCount())
        .Add(u"ScriptLanguage", u"PascalScript")
        .Add(u"ScriptText.Text", u"begin&#13;&#10;&#13;&#10;end.")
        .Add(u"StoreInDFM", u"False")
        .Add(u"PropData", u"")
        .Text();
}

std::u16string DataPageAttributes() {
    return TAttrText().Add(u"Height", u"1000").Add(u"Left", u"0").Add(u"Top", u"0").Add(u"Width", u"1000").Text();
}

std::u16string PageAttributes(long double width, long double height) {
    return TAttrText()
        .Add(u"Name", u"BasePage")
        .Add(u"Font.Charset", u"204")
        .Add(u"Font.Color", u"0")
        .Add(u"Font.Height", u"-13")
        .Add(u"Font.Name", u"Arial")
        .Add(u"Font.Style", u"0")
        .Real(u"PaperWidth", width / PixelsPerMillimetre)
        .Real(u"PaperHeight", height / PixelsPerMillimetre)
        .Add(u"LeftMargin", u"0")
        .Add(u"RightMargin", u"0")
        .Add(u"TopMargin", u"0")
        .Add(u"BottomMargin", u"0")
        .Add(u"ColumnWidth", u"0")
        .Add(u"ColumnPositions.Text", u"")
        .Add(u"HGuides.Text", u"")
        .Add(u"VGuides.Text", u"")
        .Text();
}

std::u16string BandAttributes(long double width, long double height) {
    return TAttrText()
        .Add(u"Name", u"rtMain")
        .Real(u"Height", height)
        .Add(u"Left", u"0")
        .Add(u"Top", u"18,89765")
        .Real(u"Width", width)
        .Add(u"Stretched", u"True")
        .Text();
}

}  // namespace

TqlxRepDoc::TqlxRepDoc(const std::u16string& name)
    : document_(std::make_unique<TqlxXMLDocument>()), fileName_(TemplateFileName(name)) {
    TqlxXMLItem* root = document_->Root();
    root->Name = u"TqlxReport";
    root->AttrText = ReportAttributes();
    TqlxXMLItem* dataPage = root->AddChild();
    dataPage->Name = u"TqlxDataPage";
    dataPage->AttrText = DataPageAttributes();
}

TqlxRepDoc::~TqlxRepDoc() = default;

bool TqlxRepDoc::AddPage(long double Width, long double Height) {
    try {
        TqlxXMLItem* page = document_->Root()->AddChild();
        page->Name = u"TqlxReportPage";
        page->AttrText = PageAttributes(Width, Height);
        bandItem_ = page->AddChild();
        bandItem_->Name = u"TqlxReportTitle";
        bandItem_->AttrText = BandAttributes(Width, Height);
        return true;
    } catch (...) {
        return false;
    }
}

bool TqlxRepDoc::AddMemo(const TFont& Font, std::string_view Text, long double X, long double Y) {
    bool stoodIn = false;
    return AddMemo(Font, Font, Text, X, Y, stoodIn);
}

bool TqlxRepDoc::AddMemo(const TFont& Font, const TFont& StandIn, std::string_view Text, long double X, long double Y,
                         bool& StoodIn) {
    ++memoCount_;
    StoodIn = false;
    try {
        TqlxXMLItem* item = Band().AddChild();
        item->Name = u"TqlxMemoView";
        const std::u16string text = MemoText(Text);
        long double textWidth = 0;
        try {
            textWidth = MeasureTextWidth(text, Font);
        } catch (const Exception&) {
            if (&StandIn == &Font) throw;
            StoodIn = true;
            textWidth = MeasureTextWidth(text, StandIn);
        }
        const TFont& font = StoodIn ? StandIn : Font;
        const long double width = textWidth + 2 * PixelsPerMillimetre;
        const long double height = -static_cast<long double>(font.Height) + 2 * PixelsPerMillimetre;
        item->AttrText = TAttrText()
                             .Add(u"Name", u"Memo" + IntToStr(memoCount_))
                             .Real(u"Left", X)
                             .Real(u"Top", Y)
                             .Real(u"Width", width)
                             .Real(u"Height", height)
                             .Add(u"ShowHint", u"False")
                             .Add(u"StretchMode", u"smActualHeight")
                             .Add(u"AutoWidth", u"True")
                             .Add(u"DisplayFormat.DecimalSeparator", u",")
                             .Integer(u"Font.Charset", font.Charset)
                             .Integer(u"Font.Color", font.Color)
                             .Integer(u"Font.Height", font.Height)
                             .Add(u"Font.Name", XMLEscape(ReplaceNonXmlChars(font.Name)))
                             .Integer(u"Font.Style", font.Style)
                             .Add(u"ParentFont", u"False")
                             .Add(u"Text", XMLEscape(text))
                             .Text();
        return true;
    } catch (...) {
        return false;
    }
}

bool TqlxRepDoc::AddLine(int32_t Color, long double X1, long double X2, long double Y1, long double Y2) {
    if (Color == kInvisibleLineColor) return true;
    ++lineCount_;
    try {
        TqlxXMLItem* item = Band().AddChild();
        item->Name = u"TqlxLineView";
        item->AttrText = TAttrText()
                             .Add(u"Name", u"Line" + IntToStr(lineCount_))
                             .Real(u"Left", X1)
                             .Real(u"Top", Y1 + 4 * PixelsPerMillimetre)
                             .Real(u"Width", X2 - X1)
                             .Real(u"Height", Y2 - Y1)
                             .Add(u"ShowHint", u"False")
                             .Integer(u"Frame.Color", Color)
                             .Add(u"Frame.Typ", u"4")
                             .Text();
        return true;
    } catch (...) {
        return false;
    }
}

void TqlxRepDoc::SaveTemplate() {
    // Saving rebuilds the tree from the file: the old elements are gone.
    bandItem_ = nullptr;
    document_->SaveToFile(fileName_);
}

TqlxXMLItem& TqlxRepDoc::Band() const {
    if (bandItem_ == nullptr) throw Exception(u"The template has no page to add objects to");
    return *bandItem_;
}
