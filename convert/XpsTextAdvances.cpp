#include "convert/XpsTextAdvances.h"

#include <cmath>
#include <limits>

#include "convert/XpsContentReading.h"
#include "convert/XpsFonts.h"
#include "convert/XpsPageTranslation.h"
#include "convert/XpsValues.h"
#include "platform/CodePages.h"
#include "template/qlxGraphicUtils.h"
#include "xml/qlxXML.h"

namespace {

constexpr int32_t kMeasuringPixels = 1024;

// What a run's Indices say of its advances: the sum of those given, in ems,
// and the characters of the glyphs left to the font.
struct TIndexedAdvances {
    long double Ems = 0;
    std::u16string Unmeasured;
};

std::optional<size_t> ReadCount(std::u16string_view digits) {
    digits = TrimXmlBlanks(digits);
    if (digits.empty() || digits.size() > 6) return std::nullopt;
    size_t count = 0;
    for (const char16_t ch : digits) {
        if (ch < u'0' || ch > u'9') return std::nullopt;
        count = count * 10 + static_cast<size_t>(ch - u'0');
    }
    return count;
}

// Glyph entries "(chars:glyphs)index,advance,uOffset,vOffset", every part
// optional, one after another. An entry without a cluster of its own is a
// glyph of the cluster before it, or of the next character; a cluster's
// characters are measured once whichever of its glyphs lacks an advance.
class TIndicesReader {
public:
    explicit TIndicesReader(std::u16string_view text) : text_(text) {}

    // False when a cluster is malformed; a malformed advance raises EConvertError.
    bool Read(std::u16string_view entry) {
        entry = TrimXmlBlanks(entry);
        if (entry.starts_with(u'(')) {
            const size_t close = entry.find(u')');
            if (close == std::u16string_view::npos || !ReadCluster(entry.substr(1, close - 1))) return false;
            entry.remove_prefix(close + 1);
        } else if (glyphsLeft_ == 0) {
            StartCluster(1, 1);
        }
        --glyphsLeft_;
        std::u16string_view advance;
        if (const size_t comma = entry.find(u','); comma != std::u16string_view::npos) {
            advance = entry.substr(comma + 1);
            advance = TrimXmlBlanks(advance.substr(0, advance.find(u',')));
        }
        if (advance.empty()) {
            if (!clusterMeasured_) result_.Unmeasured += cluster_;
            clusterMeasured_ = true;
            return true;
        }
        result_.Ems += XpsStrToFloat(advance) / 100;
        return true;
    }

    // The characters no entry reached are measured too.
    TIndexedAdvances Finish() {
        if (next_ < text_.size()) result_.Unmeasured += text_.substr(next_);
        return result_;
    }

private:
    // "chars" or "chars:glyphs".
    bool ReadCluster(std::u16string_view counts) {
        const size_t colon = counts.find(u':');
        const std::optional<size_t> chars = ReadCount(counts.substr(0, colon));
        const std::optional<size_t> glyphs =
            colon == std::u16string_view::npos ? 1 : ReadCount(counts.substr(colon + 1));
        if (!chars || !glyphs || *glyphs == 0) return false;
        StartCluster(*chars, *glyphs);
        return true;
    }

    void StartCluster(size_t chars, size_t glyphs) {
        cluster_ = next_ < text_.size() ? text_.substr(next_, chars) : std::u16string_view();
        next_ += chars;
        glyphsLeft_ = glyphs;
        clusterMeasured_ = false;
    }

    std::u16string_view text_;
    size_t next_ = 0;  // the first character no cluster took yet
    std::u16string_view cluster_;
    size_t glyphsLeft_ = 0;
    bool clusterMeasured_ = false;
    TIndexedAdvances result_;
};

// Nothing when the Indices are malformed.
std::optional<TIndexedAdvances> ReadIndices(std::u16string_view indices, std::u16string_view text) {
    TIndicesReader reader(text);
    try {
        if (!indices.empty()) {
            size_t start = 0;
            for (size_t end; (end = indices.find(u';', start)) != std::u16string_view::npos; start = end + 1)
                if (!reader.Read(indices.substr(start, end - start))) return std::nullopt;
            if (!reader.Read(indices.substr(start))) return std::nullopt;
        }
    } catch (const EConvertError&) {
        return std::nullopt;
    }
    return reader.Finish();
}

// The character's width in ems of the font's height; NaN when it cannot be measured.
double MeasureCharacter(std::u16string_view character, const TFont& font) {
    try {
        return static_cast<double>(MeasureTextWidth(character, font) / kMeasuringPixels);
    } catch (const Exception&) {
        return std::numeric_limits<double>::quiet_NaN();
    }
}

// The font characters are measured in, at the measuring size: the face from
// its own bytes, else the chosen family.
TFont MeasuringFont(const TXpsDocumentFont* face, const std::u16string& chosenFamily) {
    TFont font;
    font.Name = chosenFamily;
    font.Charset = kXpsTextCharset;
    font.Height = -kMeasuringPixels;
    font.PixelsPerInch = 96;
    if (face != nullptr) TakeFace(font, *face);
    return font;
}

}  // namespace

TXpsTextAdvances::TXpsTextAdvances(TXpsFontParts& fontParts) : fontParts_(fontParts) {}

void TXpsTextAdvances::Clear() {
    faceWidths_.clear();
    familyWidths_.clear();
    lastWidths_ = nullptr;
}

// Without a comma the Indices give no advance, and every character goes to the font.
std::optional<long double> TXpsTextAdvances::AdvanceOf(const TXpsTextRun& run, std::u16string_view pageName,
                                                       const std::u16string& chosenFamily) {
    const std::u16string_view indices = run.Glyphs->GetRawAttr(u"Indices");
    if (indices.find(u',') == std::u16string_view::npos)
        return MeasureText(run.DrawnText(), WidthsOf(run, pageName, chosenFamily));
    const std::optional<TIndexedAdvances> advances = ReadIndices(indices, run.DrawnText());
    if (!advances || advances->Unmeasured.empty()) return advances ? std::optional(advances->Ems) : std::nullopt;
    const std::optional<long double> measured =
        MeasureText(advances->Unmeasured, WidthsOf(run, pageName, chosenFamily));
    if (!measured) return std::nullopt;
    return advances->Ems + *measured;
}

// The runs of a page mostly name the font the run before them named.
TXpsTextAdvances::TFaceWidths& TXpsTextAdvances::WidthsOf(const TXpsTextRun& run, std::u16string_view pageName,
                                                          const std::u16string& chosenFamily) {
    const std::u16string_view fontUri = run.Glyphs->GetRawAttr(u"FontUri");
    if (lastWidths_ != nullptr && fontUri == lastUri_ && pageName == lastPage_) return *lastWidths_;
    const TXpsDocumentFont* face = fontParts_.FindOfRun(*run.Glyphs, pageName);
    TFaceWidths& widths =
        face != nullptr ? faceWidths_[{face->Data.get(), face->FaceIndex}] : familyWidths_[chosenFamily];
    if (widths.Font.Name.empty()) widths.Font = MeasuringFont(face, chosenFamily);
    lastWidths_ = &widths;
    lastUri_ = fontUri;
    lastPage_ = pageName;
    return widths;
}

// A surrogate pair is one character.
std::optional<long double> TXpsTextAdvances::MeasureText(std::u16string_view text, TFaceWidths& widths) {
    double ems = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = StartsSurrogatePair(text, i) ? 2 : 1;
        const char32_t ch = length == 1 ? text[i] : PairedCharacter(text[i], text[i + 1]);
        double& width = widths.Of(ch);
        if (width == kUnmeasured) width = MeasureCharacter(text.substr(i, length), widths.Font);
        if (std::isnan(width)) return std::nullopt;
        ems += width;
        i += length;
    }
    return ems;
}
