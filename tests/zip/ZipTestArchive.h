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

inline TTestZipEntry StoredEntry(std::string name, std::string content) {
    TTestZipEntry entry;
    entry.Name = std::move(name);
    entry.Content = std::move(content);
    return entry;
}

inline TTestZipEntry DeflatedEntry(std::string name, std::string content) {
    TTestZipEntry entry = StoredEntry(std::move(name), std::move(content));
    entry.Method = 8;
    return entry;
}

inline TTestZipArchive ArchiveOf(std::vector<TTestZipEntry> entries) {
    TTestZipArchive archive;
    archive.Entries = std::move(entries);
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
