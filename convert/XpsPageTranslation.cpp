#include "convert/XpsPageTranslation.h"

#include <filesystem>
#include <optional>
#include <string_view>

#include "convert/XpsContentReading.h"
#include "convert/XpsLog.h"
#include "convert/XpsPackage.h"
#include "convert/XpsFonts.h"
#include "convert/XpsTextJoiner.h"
#include "convert/XpsThinRectangles.h"
#include "convert/XpsValues.h"
#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/NumberFormat.h"
#include "template/crtqlt.h"
#include "xml/qlxXML.h"

namespace {

// The template's reader holds its numbers as doubles: a page whose numbers
// leave their range, as written, would give a template of "INF" or of numbers
// no reader takes.
void CheckTemplateNumber(long double value) {
    if (!WrittenFloatFitsDouble(value))
        throw EConvertError(u"'" + FloatToStr(value, XpsFormatSettings()) + u"' is too large for a template");
}

// The extension of an image part name: from its last "." unless a "\\" or ":"
// comes after it; the "/" of a part name does not end it.
std::u16string ImageExtension(const std::u16string& name) {
    const size_t last = name.find_last_of(u".\\:");
    return last != std::u16string::npos && name[last] == u'.' ? name.substr(last) : std::u16string();
}

int64_t FileSize(const std::u16string& fileName) {
    std::error_code unknown;
    const uintmax_t size = std::filesystem::file_size(NativePath(fileName), unknown);
    return unknown ? 0 : static_cast<int64_t>(size);
}

// What the reading finds becomes the objects of one template.
class TPageTranslation : public IXpsContentSink {
public:
    TPageTranslation(TqlxRepDoc& repDoc, const std::u16string& pageName, const TXpsPageContext& context)
        : repDoc_(repDoc), pageName_(pageName), context_(context) {}

    void AddText(const TXpsTextRun& run) override {
        font_.Charset = kXpsTextCharset;
        font_.Color = run.Color;
        font_.Height = -RoundEmSize(run.EmSize);
        font_.Name = context_.FontName;
        CheckTemplateNumber(run.Origin.X);
        CheckTemplateNumber(run.Origin.Y);
        CheckObjectRoom();
        const std::string text = Utf16ToUtf8(run.Text);
        const TXpsDocumentFont* face =
            context_.DocumentFonts != nullptr ? context_.DocumentFonts->FindOfRun(*run.Glyphs, pageName_) : nullptr;
        if (face == nullptr) {
            repDoc_.AddMemo(font_, text, run.Origin.X, run.Origin.Y);
            return;
        }
        // A face that cannot measure the text (a glyph it cannot load) fails
        // the run over to the chosen family, as a part that cannot be had does.
        bool stoodIn = false;
        repDoc_.AddMemo(FaceFont(*face, *run.Glyphs), font_, text, run.Origin.X, run.Origin.Y, stoodIn);
        if (stoodIn) context_.DocumentFonts->FellBack(*face);
    }

    void AddLine(int32_t color, const TXpsLine& line) override {
        for (const long double value : {line.From.X, line.From.Y, line.To.X - line.From.X, line.To.Y - line.From.Y})
            CheckTemplateNumber(value);
        CheckObjectRoom();
        repDoc_.AddLine(color, line.From.X, line.To.X, line.From.Y, line.To.Y);
    }

    // Images put nothing into the template: each image brush of the path's
    // fill is named in the log and read through, so a missing or damaged
    // image still fails its page.
    void PathDone(const TqlxXMLItem& path) override {
        ForEachChildNamed(path, u"Path.Fill", [&](const TqlxXMLItem& fill, int32_t) {
            ForEachChildNamed(fill, u"ImageBrush", [&](const TqlxXMLItem& brush, int32_t) {
                const std::u16string name = PartNameFromSource(RawXpsText(brush, u"ImageSource", true), pageName_);
                context_.Log.Append(ImageExtension(name) + u": " + name);
                context_.ReadPart(name);
            });
        });
    }

private:
    TFont FaceFont(const TXpsDocumentFont& face, const TqlxXMLItem& glyphs) const {
        TFont font = font_;
        TakeFace(font, face);
        font.Style |= SimulatedStyles(glyphs.GetAttr(u"StyleSimulations"));
        return font;
    }

    // Every object costs the template a few hundred bytes in memory and on disk.
    void CheckObjectRoom() const {
        const int32_t maxObjects = context_.Limits.PageObjects;
        if (repDoc_.MemoCount() + repDoc_.LineCount() >= maxObjects)
            throw EXpsLimitError(u"The page makes more than " + IntToStr(maxObjects) + u" objects");
    }

    TqlxRepDoc& repDoc_;
    const std::u16string& pageName_;
    const TXpsPageContext& context_;
    TFont font_;
};

// The reading hands its content through the joining of text lines, when it
// is on, and the stage that decides which thin rectangles are rules. A
// failure while that stage holds content releases it first: what it holds
// came before, and so do the errors it may raise.
bool ReadContent(const TqlxXMLItem& page, IXpsContentSink& translation, const std::u16string& pageName,
                 const TXpsPageContext& context) {
    TXpsThinRectangles rectangles(translation, context.Limits.PageObjects);
    std::optional<TXpsTextJoiner> joiner;
    if (context.TextLines != nullptr) joiner.emplace(rectangles, context, pageName);
    IXpsContentSink& first = joiner ? static_cast<IXpsContentSink&>(*joiner) : rectangles;
    bool skipped = false;
    try {
        skipped = context.Reading.ReadPage(page, {pageName, context.Parts, context.Limits}, first);
        if (joiner) joiner->Flush();
    } catch (...) {
        rectangles.Release();
        throw;
    }
    rectangles.Release();
    return skipped;
}

}  // namespace

void TranslatePage(const TqlxXMLItem& root, const std::u16string& outName, const std::u16string& pageName,
                   const TXpsPageContext& context, TXpsPageResult& result) {
    if (root.Name != u"FixedPage") {
        result.Status = TXpsPageStatus::NotAPage;
        return;
    }
    const long double width = XpsNumberAttr(root, u"Width");
    const long double height = XpsNumberAttr(root, u"Height");
    CheckTemplateNumber(width);
    CheckTemplateNumber(height);
    TqlxRepDoc repDoc(outName);
    repDoc.AddPage(width, height);
    TPageTranslation translation(repDoc, pageName, context);
    result.SkippedCanvasContent = ReadContent(root, translation, pageName, context);
    repDoc.SaveTemplate();
    result.Status = TXpsPageStatus::Written;
    result.TemplateName = repDoc.FileName();
    result.TemplateBytes = FileSize(result.TemplateName);
}
