#include "convert/XpsTextJoiner.h"

#include <cmath>
#include <string_view>

#include "convert/XpsFonts.h"
#include "convert/XpsPackage.h"
#include "convert/XpsPageTranslation.h"
#include "convert/XpsTextAdvances.h"
#include "xml/qlxXML.h"

namespace {

// The thresholds, in ems of the mapped font size, as the packages of the
// corpus and the office exports measured bear them out (README, "Whole lines
// of text"). Runs of a line end within a hundredth of an em of where the next
// starts, or a word space (a quarter em) before it; table columns and tab
// stops leave an em and more.
constexpr long double kMinGap = -0.2L;
constexpr long double kMaxGap = 0.8L;
constexpr long double kWordSpace = 0.15L;
// Baselines agree within this share of the height; sizes within this share.
constexpr long double kSameBaseline = 0.05L;
constexpr long double kSameHeight = 0.005L;
// A transform whose off-diagonal terms are this small against its scale
// neither rotates nor skews.
constexpr long double kUpright = 1e-9L;
// No page reaches so far; a run beyond it joins nothing.
constexpr long double kMaxCoordinate = 1e9L;

bool IsBlank(char16_t ch) {
    return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n' || ch == u'\u00A0' || ch == u'\u3000' ||
           (ch >= u'\u2000' && ch <= u'\u200B');
}

bool IsPlausible(long double value) { return std::fabs(value) <= kMaxCoordinate; }

// Neither rotates, skews nor mirrors: the run's baseline runs left to right on the page.
bool IsUpright(const TXpsMatrix& m) {
    const long double scale = std::fmax(std::fabs(m.M11), std::fabs(m.M22));
    return m.M11 > 0 && m.M22 > 0 && std::fabs(m.M12) <= kUpright * scale && std::fabs(m.M21) <= kUpright * scale;
}

// Neither right to left (an odd BidiLevel; a level that is no number is
// taken as such) nor sideways.
bool RunsLeftToRight(const TqlxXMLItem& glyphs) {
    const std::u16string_view level = TrimXmlBlanks(glyphs.GetRawAttr(u"BidiLevel"));
    for (const char16_t ch : level)
        if (ch < u'0' || ch > u'9') return false;
    const std::u16string_view sideways = TrimXmlBlanks(glyphs.GetRawAttr(u"IsSideways"));
    return (level.empty() || (level.back() - u'0') % 2 == 0) && sideways != u"true" && sideways != u"1";
}

}  // namespace

TXpsTextJoiner::TXpsTextJoiner(IXpsContentSink& next, const TXpsPageContext& context, const std::u16string& pageName)
    : next_(next), context_(context), pageName_(pageName) {}

void TXpsTextJoiner::AddText(const TXpsTextRun& run) {
    if (!CanJoin(run)) {
        Flush();
        next_.AddText(run);
        return;
    }
    const TRunFont font = FontOf(run);
    if (const std::optional<long double> gap = GapTo(run, font)) {
        Append(run, *gap);
    } else {
        Flush();
        pending_ = run;
    }
    last_ = run;
    lastFont_ = font;
}

void TXpsTextJoiner::AddLine(int32_t color, const TXpsLine& line) { next_.AddLine(color, line); }

void TXpsTextJoiner::AddRectangle(int32_t color, const TXpsRect& rectangle) { next_.AddRectangle(color, rectangle); }

void TXpsTextJoiner::PathDone(const TqlxXMLItem& path) { next_.PathDone(path); }

void TXpsTextJoiner::Flush() {
    if (!pending_) return;
    next_.AddText(*pending_);
    pending_.reset();
}

bool TXpsTextJoiner::CanJoin(const TXpsTextRun& run) const {
    return !run.DrawnText().empty() && run.EmSize > 0 &&
           IsPlausible(run.EmSize) && IsPlausible(run.Origin.X) && IsPlausible(run.Origin.Y) &&
           IsUpright(run.Transform);
}

// Without the fonts of the document, FontUri as written: its text stays in
// the page's tree while the joiner lives.
TXpsTextJoiner::TRunFont TXpsTextJoiner::FontOf(const TXpsTextRun& run) const {
    const TFontStyles simulated = SimulatedStyles(run.Glyphs->GetRawAttr(u"StyleSimulations"));
    if (context_.DocumentFonts == nullptr) return {run.Glyphs->GetRawAttr(u"FontUri"), simulated};
    if (const TXpsDocumentFont* face = context_.DocumentFonts->FindOfRun(*run.Glyphs, pageName_))
        return {face->Family, face->Style | simulated};
    return {context_.FontName, 0};
}

std::optional<long double> TXpsTextJoiner::GapTo(const TXpsTextRun& run, const TRunFont& font) const {
    if (!pending_ || run.Color != last_.Color || !(font == lastFont_)) return std::nullopt;
    const long double em = last_.EmSize;
    if (std::fabs(run.EmSize - em) > kSameHeight * em || std::fabs(run.Origin.Y - last_.Origin.Y) > kSameBaseline * em)
        return std::nullopt;
    if (pending_->Text.size() + 1 + run.Text.size() > size_t(context_.Limits.TextCharacters)) return std::nullopt;
    const std::optional<long double> end = EndOf(last_);
    if (!end) return std::nullopt;
    const long double gap = (run.Origin.X - *end) / em;
    if (!(gap >= kMinGap && gap <= kMaxGap) || !RunsLeftToRight(*last_.Glyphs) || !RunsLeftToRight(*run.Glyphs))
        return std::nullopt;
    return gap;
}

// The advance runs along the run's own x axis, which the transform scales
// by M11 while the em scales by M22.
std::optional<long double> TXpsTextJoiner::EndOf(const TXpsTextRun& run) const {
    const std::optional<long double> advance = context_.TextLines->AdvanceOf(run, pageName_, context_.FontName);
    if (!advance) return std::nullopt;
    return run.Origin.X + *advance * run.EmSize * run.Transform.M11 / run.Transform.M22;
}

void TXpsTextJoiner::Append(const TXpsTextRun& run, long double gap) {
    std::u16string& text = pending_->Text;
    const std::u16string_view drawn = run.DrawnText();
    if (gap >= kWordSpace && !IsBlank(text.back()) && !IsBlank(drawn.front())) text += u' ';
    text += drawn;
}
