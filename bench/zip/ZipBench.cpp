// Extraction of one 100 MB deflated entry against `unzip -p` on the same
// archive, opening an archive of 100 000 entries, and opening one of 100 000
// names crafted to collide in the name index and looking each of them up. The
// archives are made in the temporary folder at the first run and removed at exit.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "tests/support/TestZipWriter.h"
#include "tests/zip/ZipTestArchive.h"
#include "zip/ZipArchiver.h"

namespace {

constexpr size_t kBigEntrySize = 100 * 1000 * 1000;
constexpr int kManyEntries = 100000;

// A file that lives as long as the benchmark run.
struct TScratchArchive {
    explicit TScratchArchive(const TTestZipArchive& archive) {
        Path = Utf16ToUtf8(CreateUniqueFile(TempDirectory(), u"zipbench"));
        std::ofstream(Path, std::ios::binary) << TestZipBytes(archive);
    }
    ~TScratchArchive() { std::remove(Path.c_str()); }

    std::string Path;
};

// Page-like XML with varying numbers: it deflates about as well as XPS parts do.
std::string PageLikeText(size_t size) {
    std::string text;
    text.reserve(size + 100);
    for (unsigned line = 0; text.size() < size; ++line) {
        text += "<Glyphs OriginX=\"" + std::to_string(96 + line % 613) + "\" OriginY=\"" +
                std::to_string((line * 7919u) % 100003) + "\" UnicodeString=\"Line " + std::to_string(line) +
                "\" Fill=\"#FF000000\"/>\n";
    }
    text.resize(size);
    return text;
}

const TScratchArchive& BigArchive() {
    static const TScratchArchive archive = [] {
        TTestZipEntry entry;
        entry.Name = "Documents/1/Pages/1.fpage";
        entry.Content = PageLikeText(kBigEntrySize);
        entry.Method = 8;
        TTestZipArchive zip;
        zip.Entries.push_back(std::move(entry));
        return TScratchArchive(zip);
    }();
    return archive;
}

const TScratchArchive& ManyEntryArchive() {
    static const TScratchArchive archive = [] {
        TTestZipArchive zip;
        zip.Zip64Records = true;  // the 16-bit count of the end record cannot hold them
        for (int i = 0; i < kManyEntries; ++i) {
            TTestZipEntry entry;
            entry.Name = "Documents/1/Pages/" + std::to_string(i) + ".fpage";
            entry.Content = "<FixedPage/>";
            zip.Entries.push_back(std::move(entry));
        }
        return TScratchArchive(zip);
    }();
    return archive;
}

void BM_ExtractDeflated100MB(benchmark::State& state) {
    TFileStream file(Utf8ToUtf16(BigArchive().Path), fmOpenRead | fmShareDenyWrite);
    TZipArchiver zip;
    zip.Options.OEMFileNames = true;
    zip.OpenStream(file, false);
    for (auto _ : state) {
        TMemoryStream out;
        zip.ExtractEntryToStream(u"Documents/1/Pages/1.fpage", out);
        benchmark::DoNotOptimize(out.Memory());
        if (out.Size() != int64_t(kBigEntrySize)) state.SkipWithError("wrong size");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBigEntrySize));
}
BENCHMARK(BM_ExtractDeflated100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_UnzipPipe100MB(benchmark::State& state) {
    const std::string command = "unzip -p '" + BigArchive().Path + "' Documents/1/Pages/1.fpage >/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("unzip failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBigEntrySize));
}
BENCHMARK(BM_UnzipPipe100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_Open100000Entries(benchmark::State& state) {
    TFileStream file(Utf8ToUtf16(ManyEntryArchive().Path), fmOpenRead | fmShareDenyWrite);
    TZipArchiver zip;
    zip.Options.OEMFileNames = true;
    for (auto _ : state) {
        zip.OpenStream(file, false);
        if (zip.DirManager()->Entries.Count() != kManyEntries) state.SkipWithError("wrong count");
        zip.CloseStream();
    }
}
BENCHMARK(BM_Open100000Entries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_OpenAndFind100000CollidingNames(benchmark::State& state) {
    static const TScratchArchive archive(CollidingNamesArchive(kManyEntries));
    std::vector<std::u16string> names;
    for (int i = 0; i < kManyEntries; ++i) names.push_back(Utf8ToUtf16(CollidingName(i)));
    TFileStream file(Utf8ToUtf16(archive.Path), fmOpenRead | fmShareDenyWrite);
    TZipArchiver zip;
    zip.Options.OEMFileNames = true;
    for (auto _ : state) {
        zip.OpenStream(file, false);
        TZFDirArray& entries = zip.DirManager()->Entries;
        int32_t position = -1;
        for (int i = 0; i < kManyEntries; ++i) {
            if (!entries.FindEntry(names[size_t(i)], position) || position != i) {
                state.SkipWithError("not found");
                break;
            }
        }
        zip.CloseStream();
    }
}
BENCHMARK(BM_OpenAndFind100000CollidingNames)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
