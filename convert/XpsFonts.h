#pragma once

// The fonts a package embeds, for text objects that keep the family, weight
// and slant of their runs. A Glyphs element names its font part by FontUri,
// relative to its page; a fragment ("#1") names the face in a collection.
// A part named "*.odttf" is obfuscated: its first 32 bytes are XORed with a
// key made from the GUID of its file name. Each part is taken out of the
// package once per run and kept, with what FreeType reads of its faces, until
// the run ends; a part or face that cannot be had is remembered as failed,
// and its runs fall back to the chosen family. What a run keeps is bounded,
// in bytes and in faces, whatever the package names.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Graphics.h"

class TMemoryStream;
class TqlxXMLItem;

// A face of a font part, as a text object takes it.
struct TXpsDocumentFont {
    std::u16string Family;
    TFontStyles Style = 0;  // fsBold and fsItalic as the face itself says
    TFontData Data;         // the part's bytes, de-obfuscated
    int32_t FaceIndex = 0;
    std::u16string PartName;
};

// The styles a Glyphs element's StyleSimulations adds to its face's own.
TFontStyles SimulatedStyles(std::u16string_view styleSimulations);
// Makes font the face's: its family, its own styles and its bytes.
void TakeFace(TFont& font, const TXpsDocumentFont& face);

// The font parts of one conversion run.
class TXpsFontParts {
public:
    // Takes the named part out of the package into buffer; raises when it cannot.
    using TTakePart = std::function<void(const std::u16string& name, TMemoryStream& buffer)>;

    explicit TXpsFontParts(TTakePart takePart);

    // Forgets every part, face and failure.
    void Clear();
    // The face a FontUri of the page pageName names; null when its runs fall back.
    const TXpsDocumentFont* Find(std::u16string_view fontUri, std::u16string_view pageName);
    // The face a Glyphs element's FontUri names; null when it names none or its runs fall back.
    const TXpsDocumentFont* FindOfRun(const TqlxXMLItem& glyphs, std::u16string_view pageName);
    // A run of the face fell back all the same: a glyph it needs cannot be loaded.
    void FellBack(const TXpsDocumentFont& face);
    // The parts whose runs fell back, each once, in the order they first did.
    const std::vector<std::u16string>& FailedParts() const { return failedParts_; }

private:
    struct TPart {
        TFontData Data;  // null: the part could not be had
        bool Failed = false;
    };

    const std::optional<TXpsDocumentFont>& FindFace(std::u16string_view fontUri, std::u16string_view pageName);
    TPart& PartNamed(const std::u16string& name);
    void MarkFailed(TPart& part, const std::u16string& name);
    TFontData TakePart(const std::u16string& name);

    TTakePart takePart_;
    std::map<std::u16string, TPart> parts_;
    std::map<std::pair<std::u16string, int32_t>, std::optional<TXpsDocumentFont>> faces_;  // nullopt: failed
    std::vector<std::u16string> failedParts_;
    int64_t heldBytes_ = 0;
    // The last reference found: the runs of a page mostly name the face the
    // run before them named, and resolving a reference costs more than
    // measuring the run.
    std::u16string lastUri_;
    std::u16string lastPage_;
    const std::optional<TXpsDocumentFont>* lastFace_ = nullptr;
};
