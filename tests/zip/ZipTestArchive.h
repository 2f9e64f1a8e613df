#pragma once

#include <string>
#include <string_view>

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
