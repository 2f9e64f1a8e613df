#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Streams.h"
#include "tests/support/TestZipWriter.h"
#include "zip/ZipArchiver.h"

// An archive held in memory and the converter's component opened on it.
struct TOpenedArchive {
    explicit TOpenedArchive(std::string_view bytes) {
        Zip.Name = u"ZipArchiverXPS";
        Zip.Options.OEMFileNames = true;
        LoadStream(Stream, bytes);
        Zip.OpenStream(Stream, false);
    }

    TZFDirManager& Dir() { return *Zip.DirManager(); }
    TZFDirArray& Entries() { return Zip.DirManager()->Entries; }
    TDirItem& Entry(int32_t i) { return Entries().EntryAt(i); }

    std::string Extract(const std::u16string& name) {
        TMemoryStream out;
        Zip.ExtractEntryToStream(name, out);
        return StreamBytes(out);
    }

    TMemoryStream Stream;
    TZipArchiver Zip;
};

// Names that all shared one chain of the name index while its hash rotated by
// two bits and added each code unit by exclusive or: sixteen such rotations
// make a full turn, so a name of one 16-unit half written twice hashed to 0.
inline std::string CollidingName(int i) {
    char half[17];
    std::snprintf(half, sizeof half, "p/%010d.xml", i);
    return std::string(half) + half;
}

// The most keys a lookup may compare: the length of the longest chain of the
// index, or every key while the index waits to be rebuilt.
inline int LongestChain(const TZFHashedStringList& names) {
    const TZFStringHash* hash = names.Hash();
    if (!hash || !names.HashValid()) return names.Count();
    const uint32_t slots = static_cast<uint32_t>(hash->SlotCount());
    std::vector<int> lengths(slots);
    int longest = 0;
    for (int32_t i = 0; i < names.Count(); ++i)
        longest = std::max(longest, ++lengths[TZFStringHash::HashOf(names[i]) % slots]);
    return longest;
}

// Entry i, stored, holds the text of i.
inline TTestZipArchive CollidingNamesArchive(int count) {
    TTestZipArchive archive;
    archive.Zip64Records = count > 0xFFFE;  // the 16-bit count of the end record cannot hold more
    archive.Entries.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) archive.Entries.push_back(StoredEntry(CollidingName(i), std::to_string(i)));
    return archive;
}

// The native error of what a call raises, or -1 when it raises nothing of the component's.
template <typename Call>
int32_t NativeErrorOf(Call&& call) {
    try {
        call();
    } catch (const EZFException& e) {
        return e.NativeError;
    }
    return -1;
}

inline std::u16string MessageOf(const Exception& e) { return e.Message(); }
