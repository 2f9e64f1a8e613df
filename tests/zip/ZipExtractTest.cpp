#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/CodePages.h"
#include "tests/zip/ZipTestArchive.h"

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& ch : bytes) ch = static_cast<char>(random());
    return bytes;
}

std::string AdlerTrailer(std::string_view content) {
    const uint32_t a = Adler32Of(content);
    return {static_cast<char>(a >> 24), static_cast<char>(a >> 16), static_cast<char>(a >> 8), static_cast<char>(a)};
}

TEST(ExtractEntryToStreamTest, StoredAndDeflatedGiveTheSameBytes) {
    const std::string text = "<FixedPage Width=\"816\" Height=\"1056\">" + std::string(5000, 'x') + "</FixedPage>";
    const std::string noise = RandomBytes(2'500'000, 1);
    TTestZipEntry emptyDeflated = DeflatedEntry("empty.deflated", "");
    TOpenedArchive opened(TestZipBytes(
        ArchiveOf({StoredEntry("stored.xml", text), DeflatedEntry("deflated.xml", text), StoredEntry("noise.stored", noise),
                   DeflatedEntry("noise.deflated", noise), StoredEntry("empty.stored", ""), emptyDeflated})));
    EXPECT_EQ(opened.Extract(u"stored.xml"), text);
    EXPECT_EQ(opened.Extract(u"deflated.xml"), text);
    EXPECT_EQ(opened.Extract(u"noise.stored"), noise);
    EXPECT_EQ(opened.Extract(u"noise.deflated"), noise);
    EXPECT_EQ(opened.Extract(u"empty.stored"), "");
    EXPECT_EQ(opened.Extract(u"empty.deflated"), "");

    // Bytes are appended at the destination's position, and it is not rewound.
    TMemoryStream out;
    out.WriteBuffer("xy", 2);
    opened.Zip.ExtractEntryToStream(u"deflated.xml", out);
    opened.Zip.ExtractEntryToStream(u"stored.xml", out);
    EXPECT_EQ(out.Position(), int64_t(2 + 2 * text.size()));
    EXPECT_EQ(StreamBytes(out), "xy" + text + text);

    // A destination that cannot take every byte fails the extraction.
    TFileStream full(u"/dev/full", fmOpenWrite);
    EXPECT_THROW(opened.Zip.ExtractEntryToStream(u"noise.deflated", full), EWriteError);
}

TEST(ExtractEntryToStreamTest, ExactLookupThenTheSearchInTheSameFolder) {
    TOpenedArchive opened(TestZipBytes(ArchiveOf({StoredEntry("Meta/FixedDocumentSequence.fdseq", "meta"),
                                                  StoredEntry("Documents/1/FixedDocument.fdoc", "doc"),
                                                  StoredEntry("Documents/1/Pages/2.fpage", "page 2"),
                                                  StoredEntry("Documents/1/Pages/1.fpage", "page 1"),
                                                  StoredEntry("Resources/a%20b.ttf", "font")})));
    EXPECT_EQ(opened.Extract(u"documents/1/FIXEDDOCUMENT.fdoc"), "doc");
    EXPECT_EQ(opened.Extract(u"Documents/1/Pages/*.fpage"), "page 2");
    EXPECT_EQ(opened.Extract(u"Documents\\1\\Pages\\1.fpage"), "page 1");
    EXPECT_EQ(opened.Extract(u"Resources/a%20b.ttf"), "font");
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"Resources/a b.ttf"); }), 15);
    try {
        opened.Extract(u"FixedDocumentSequence.fdseq");
        FAIL();
    } catch (const EZFException& e) {
        EXPECT_EQ(e.Message(), u"ZipArchiverXPS: File \"FixedDocumentSequence.fdseq\" not found - Native error: 00015");
    }
    EXPECT_TRUE(opened.Zip.Options.Recurse);
    TZFArchiveItem item;
    EXPECT_TRUE(opened.Zip.FindFirstEntry(u"FixedDocumentSequence.fdseq", item, kZFAttrFilesOnly, u""));

    TOpenedArchive empty(TestZipBytes(TTestZipArchive()));
    EXPECT_EQ(NativeErrorOf([&] { empty.Extract(u"*"); }), 15);
}

TEST(ExtractEntryToStreamTest, SizeAndChecksumFailures) {
    const std::string text = "The quick brown fox jumps over the lazy dog";
    TTestZipEntry longer = DeflatedEntry("longer.txt", text);
    longer.UnpackedSize = text.size() + 1;
    TTestZipEntry badCrc = StoredEntry("crc.txt", text);
    badCrc.Crc = 1234;
    TTestZipEntry uncheckedCrc = badCrc;
    uncheckedCrc.Name = "unchecked.txt";
    uncheckedCrc.NeededVersion = 0x4114;
    TTestZipEntry corrupt = DeflatedEntry("corrupt.txt", text);
    corrupt.Data = std::string("\xFF\xFF\xFF\xFF", 4);
    TOpenedArchive opened(TestZipBytes(ArchiveOf({longer, badCrc, uncheckedCrc, corrupt})));

    TMemoryStream out;
    try {
        opened.Zip.ExtractEntryToStream(u"longer.txt", out);
        FAIL();
    } catch (const EZFException& e) {
        EXPECT_EQ(e.Message(),
                  u"ZipArchiverXPS: Invalid size or check sum of file or unsupported compression format - Native error: "
                  u"00008");
    }
    EXPECT_EQ(StreamBytes(out), text);
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"crc.txt"); }), 8);
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"corrupt.txt"); }), 8);
    EXPECT_EQ(opened.Extract(u"unchecked.txt"), text);

    opened.Zip.ExtractCorruptedFiles = true;
    EXPECT_EQ(opened.Extract(u"crc.txt"), text);
    EXPECT_EQ(opened.Extract(u"longer.txt"), text);
}

// Some writers count padding or the data descriptor into the compressed size.
TEST(ExtractEntryToStreamTest, BytesAfterTheDeflateData) {
    const std::string text(1000, 'q');
    const std::string deflated = DeflateRaw(text);
    const std::string descriptor = Le32(0x08074B50) + Le32(Crc32Of(text)) + Le32(uint32_t(deflated.size())) +
                                   Le32(uint32_t(text.size()));
    std::vector<TTestZipEntry> entries;
    for (const std::string& tail : {std::string("\x01", 1), std::string("abc"), std::string("abcd"),
                                    AdlerTrailer(text) + "more input after the end", descriptor,
                                    std::string(70000, '\0')}) {
        TTestZipEntry entry = DeflatedEntry("tail" + std::to_string(tail.size()), text);
        entry.Data = deflated + tail;
        entries.push_back(entry);
    }
    TTestZipEntry badCrc = entries.back();
    badCrc.Name = "badcrc";
    badCrc.Crc = Crc32Of(text) ^ 1;
    TTestZipEntry shortOfItsSize = entries.back();
    shortOfItsSize.Name = "short";
    shortOfItsSize.UnpackedSize = text.size() + 1;
    entries.insert(entries.end(), {badCrc, shortOfItsSize});
    TOpenedArchive opened(TestZipBytes(ArchiveOf(entries)));
    for (const char16_t* name : {u"tail1", u"tail3", u"tail4", u"tail28", u"tail16", u"tail70000"})
        EXPECT_EQ(opened.Extract(name), text) << Utf16ToUtf8(name);
    // The tail is ignored, not trusted: the size and the CRC-32 still judge the entry.
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"badcrc"); }), 8);
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"short"); }), 8);
}

// Runs of repeats are a few input bytes that fill the output buffer many times
// over; what the inflater still holds when the input ends must not be lost.
TEST(ExtractEntryToStreamTest, EntriesThatCompressVeryWell) {
    constexpr size_t kOutputBuffer = 256 * 1024;
    std::vector<TTestZipEntry> entries;
    size_t bestRatio = 0;
    for (const size_t size : {kOutputBuffer - 1, kOutputBuffer, kOutputBuffer + 1, kOutputBuffer + 160,
                              3 * kOutputBuffer + 5, 16 * kOutputBuffer}) {
        for (const std::string& pattern : {std::string(1, '\0'), std::string("<Path Data=\"M 0,0 L 10,10\"/>\n")}) {
            std::string content;
            while (content.size() < size) content += pattern;
            content.resize(size);
            TTestZipEntry entry = DeflatedEntry("e" + std::to_string(entries.size()), content);
            entry.Data = DeflateRaw(content, 9);
            bestRatio = std::max(bestRatio, size / entry.Data->size());
            entries.push_back(entry);
        }
    }
    ASSERT_GE(bestRatio, 1000u);  // near deflate's own limit of about 1032:1
    TOpenedArchive opened(TestZipBytes(ArchiveOf(entries)));
    for (const TTestZipEntry& entry : entries) {
        const std::string extracted = opened.Extract(Utf8ToUtf16(entry.Name));
        EXPECT_TRUE(extracted == entry.Content) << entry.Name << ": " << extracted.size() << " bytes";
    }
}

TEST(ExtractEntryToStreamTest, UnsupportedMethodsAndEncryption) {
    TTestZipEntry shrunk = StoredEntry("method12.bin", "x");
    shrunk.Method = 12;
    TTestZipEntry deflate64 = StoredEntry("method9.bin", "x");
    deflate64.Method = 9;
    TTestZipEntry encrypted = StoredEntry("pkware.bin", "plain text that must not come out");
    encrypted.Flags = 1;
    TTestZipEntry aes = DeflatedEntry("aes.bin", "x");
    aes.Method = 99;
    aes.Data = DeflateRaw("x");
    aes.CentralExtra = AesField(1, 8);
    TOpenedArchive opened(TestZipBytes(ArchiveOf({shrunk, deflate64, encrypted, aes})));
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"method12.bin"); }), 8);
    try {
        opened.Extract(u"method9.bin");
        FAIL();
    } catch (const EZFException& e) {
        EXPECT_EQ(e.Message(), u"Deflate64 compression method is not supported - Native error: 00055");
    }
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"pkware.bin"); }), 8);
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"aes.bin"); }), 8);
    opened.Zip.ExtractCorruptedFiles = true;
    EXPECT_EQ(opened.Extract(u"pkware.bin"), "");
}

TEST(ExtractEntryToStreamTest, DataIsCutWhereTheDirectoryStarts) {
    TTestZipEntry last = StoredEntry("last.txt", "abc");
    last.PackedSize = 1000;
    last.UnpackedSize = 1000;
    TOpenedArchive opened(TestZipBytes(ArchiveOf({StoredEntry("first.txt", "1"), last})));
    EXPECT_EQ(NativeErrorOf([&] { opened.Extract(u"last.txt"); }), 8);
    opened.Zip.ExtractCorruptedFiles = true;
    EXPECT_EQ(opened.Extract(u"last.txt"), "abc");

    opened.Entry(0).HeaderOffset = static_cast<uint32_t>(opened.Stream.Size() - 29);
    EXPECT_THROW(opened.Extract(u"first.txt"), EReadError);
}

TEST(ExtractEntryToStreamTest, ADeflateBombFailsAtItsRecordedSize) {
    TTestZipEntry bomb = DeflatedEntry("bomb.xml", "");
    bomb.Data = DeflatedZeros(1024);
    bomb.UnpackedSize = 1024;
    bomb.Crc = Crc32Of(std::string(1024, '\0'));
    TOpenedArchive opened(TestZipBytes(ArchiveOf({bomb})));
    TMemoryStream out;
    EXPECT_EQ(NativeErrorOf([&] { opened.Zip.ExtractEntryToStream(u"bomb.xml", out); }), 8);
    EXPECT_EQ(out.Size(), 1024);

    opened.Zip.ExtractCorruptedFiles = true;
    EXPECT_EQ(opened.Extract(u"bomb.xml"), std::string(1024, '\0'));
}

TEST(ExtractEntryToStreamTest, ProgressHandlersSeeEveryChunkAndMayCancel) {
    const std::string noise = RandomBytes(3 * 1024 * 1024 + 10, 2);
    TOpenedArchive opened(TestZipBytes(ArchiveOf({StoredEntry("noise.bin", noise)})));
    std::vector<TZFProgressPhase> phases;
    std::vector<double> overall;
    opened.Zip.OnFileProgress = [&](TZFBaseArchiver&, const std::u16string& name, double, TZFProgressPhase phase,
                                    bool&) {
        EXPECT_EQ(name, u"noise.bin");
        phases.push_back(phase);
    };
    opened.Zip.OnOverallProgress = [&](TZFBaseArchiver&, double progress, TZFProgressPhase, bool&) {
        overall.push_back(progress);
    };
    EXPECT_EQ(opened.Extract(u"noise.bin"), noise);
    EXPECT_EQ(phases, (std::vector<TZFProgressPhase>{ppStart, ppProcess, ppProcess, ppProcess, ppProcess, ppEnd}));
    EXPECT_EQ(overall.front(), 0);
    EXPECT_EQ(overall.back(), 100);

    opened.Zip.OnOverallProgress = [](TZFBaseArchiver&, double progress, TZFProgressPhase, bool& cancel) {
        cancel = progress > 50;
    };
    EXPECT_EQ(opened.Extract(u"noise.bin"), noise.substr(0, 2 * 1024 * 1024));
}

}  // namespace
