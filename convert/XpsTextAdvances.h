#pragma once

// How far a text run advances along its baseline, in ems of its font size:
// the advances its Indices give (in hundredths of the em), and for the
// glyphs they leave out the widths of their characters in the face the run's
// FontUri names, read as the fonts of the document read it whether or not
// text objects take it, else in the chosen family. Each character is
// measured once per face in a conversion run, at a large size so that the
// whole points the measuring engine sizes fonts in cost no precision; the
// engine adds no kerning, so a text is as wide as its characters together.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/Graphics.h"

class TXpsFontParts;
struct TXpsTextRun;

class TXpsTextAdvances {
public:
    explicit TXpsTextAdvances(TXpsFontParts& fontParts);

    // Forgets every width: at the end of a run, before its faces go.
    void Clear();

    // Nothing when the run's Indices are malformed or a character cannot be
    // measured. pageName is the run's page, chosenFamily the family its text
    // object would otherwise take.
    std::optional<long double> AdvanceOf(const TXpsTextRun& run, std::u16string_view pageName,
                                         const std::u16string& chosenFamily);

private:
    static constexpr double kUnmeasured = -1;

    // The widths of the characters measured so far in one face, in ems:
    // kUnmeasured for one not measured yet, NaN for one that cannot be.
    struct TFaceWidths {
        TFont Font;
        std::array<double, 128> Ascii;
        std::unordered_map<char32_t, double> Others;

        TFaceWidths() { Ascii.fill(kUnmeasured); }
        double& Of(char32_t ch) {
            return ch < Ascii.size() ? Ascii[ch] : Others.try_emplace(ch, kUnmeasured).first->second;
        }
    };

    TFaceWidths& WidthsOf(const TXpsTextRun& run, std::u16string_view pageName, const std::u16string& chosenFamily);
    std::optional<long double> MeasureText(std::u16string_view text, TFaceWidths& widths);

    TXpsFontParts& fontParts_;
    std::map<std::pair<const std::string*, int32_t>, TFaceWidths> faceWidths_;  // by the face's bytes and index
    std::map<std::u16string, TFaceWidths> familyWidths_;                        // by the chosen family
    // The widths the last run took, by its FontUri as written and its page.
    TFaceWidths* lastWidths_ = nullptr;
    std::u16string lastUri_;
    std::u16string lastPage_;
};
