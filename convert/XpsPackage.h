#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Exceptions.h"
#include "zip/ZipArchiver.h"

class TMemoryStream;
class TStream;

// How much the converter takes on for one package. A small package can
// unpack to gigabytes, or name the same parts over and over; without limits
// it could make the converter fill memory or disk, or run for days. No real
// document comes near any of them.
struct TXpsLimits {
    int64_t PartBytes = 8 << 20;                   // a sequence, document or page part, unpacked
    int64_t PartElements = 1 << 20;                // the elements of one such part
    int32_t PageObjects = 100'000;                 // the text and line objects of one page
    int32_t TextCharacters = 65'536;               // the text of one run, in UTF-16 units
    int64_t RunUnpackedBytes = int64_t(1) << 30;   // all parts a run unpacks, images included
    int32_t RunParts = 1'000'000;                  // the parts a run takes out of the package
    int32_t RunPieces = 1'000'000;                 // the pieces a run joins into parts stored so
    int64_t RunTemplateBytes = int64_t(1) << 30;   // the templates a run writes
};

// A package asks for more than the limits allow.
class EXpsLimitError : public Exception {
public:
    explicit EXpsLimitError(std::u16string message);
};

// Runs read, which takes a part out of the package; false when the package
// fails the part: it is missing, damaged or beyond the run's limits. Running
// out of memory or failing to read the package file go on, as anywhere.
template <typename Read>
bool ReadOptionalPart(Read&& read) {
    try {
        read();
        return true;
    } catch (const EZFException&) {
        return false;
    } catch (const EXpsLimitError&) {
        return false;
    }
}

// An entry of the package as its directory records it.
struct TXpsPackageEntry {
    std::u16string Name;
    uint64_t UnpackedSize = 0;
};

// An XPS package read through the ZIP component, set up the way the
// converter reads packages: its messages carry the component's name, damaged
// entries are refused and stored names are read in the OEM code page. The
// conversion run and the command line's listing and extraction share it, so
// their errors read alike. While open, it counts what it unpacks and takes.
//
// A part is taken by its name. The directory's index finds the name as
// stored, letter case aside; failing that, a part stored as pieces,
// NAME/[0].piece, NAME/[1].piece, ... NAME/[n].last.piece, is the pieces
// joined in order (spool files and some drivers write parts so, among the
// pieces of other parts), and one piece missing makes the part missing;
// failing that, the component's search finds the name written with "\" or
// with a trailing "." too. That search reads "*" and "?" as wildcards, and a
// few such characters against long names cost seconds, so a name holding one,
// or one longer than a search takes, is found by the index alone. Each search
// scans the whole directory: a name found missing is remembered until the
// package is opened again.
class TXpsPackage {
public:
    TXpsPackage();
    ~TXpsPackage();
    TXpsPackage(const TXpsPackage&) = delete;
    TXpsPackage& operator=(const TXpsPackage&) = delete;

    TZipArchiver& Archive() { return archive_; }

    // What the parts taken out of the package may come to.
    TXpsLimits Limits;

    // Opens the archive held in source, which stays the caller's and must
    // outlive the opening; the counts start again from nothing.
    void Open(TStream& source);
    void Close();

    // Whether a search finds an entry of that name, in any folder, or the
    // package holds the part as pieces.
    bool Contains(const std::u16string& name);
    // Whether the directory holds an entry of exactly that name, letter case
    // and the kind of slash aside, or every piece of a part of that name.
    bool HasEntry(const std::u16string& name);
    // The entries in directory order.
    std::vector<TXpsPackageEntry> Entries();

    // Takes the named part out of the package into buffer, rewound, or only
    // reads it through when buffer is null. A part or a run beyond the limits
    // is refused as its bytes arrive, whatever sizes the package records; a
    // part stored as pieces counts as one part of their joined size.
    void ExtractPart(const std::u16string& name, TMemoryStream* buffer);
    // Takes a sequence, document, page or relationships part out like
    // ExtractPart; a part written in UTF-16 (it starts with a byte-order mark)
    // becomes UTF-8, so that the reader sees the same markup either way.
    void ExtractMarkup(const std::u16string& name, TMemoryStream& buffer);
    // Writes the named entry's bytes (or the part's pieces, joined) to out as
    // they are unpacked, under no limits but the component's own and the
    // count of pieces: never more than the size the directory records, the
    // CRC checked at the end, when the bytes are out already.
    void ExtractEntry(const std::u16string& name, std::ostream& out);

private:
    // Writes the part's bytes to destination, or raises the component's
    // not-found error.
    void ExtractNamed(const std::u16string& name, TStream& destination);
    // The entries of a part stored as pieces, in order; none when the part
    // is not stored so or a piece is missing.
    std::vector<std::u16string> PieceNames(const std::u16string& name);
    bool HasStoredEntry(const std::u16string& name);

    TZipArchiver archive_;
    // The names found missing since the package was opened.
    std::unordered_set<std::u16string> missing_;
    // What the package has unpacked and taken since it was opened.
    int64_t unpackedBytes_ = 0;
    int32_t partsTaken_ = 0;
    int64_t piecesJoined_ = 0;
};
