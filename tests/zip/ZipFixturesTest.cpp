#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/zip/ZipTestArchive.h"

namespace {

const std::filesystem::path kData = XQ_ZIP_TEST_DATA;

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

struct TFixture {
    explicit TFixture(const std::string& relative) : Opened(FileBytes(kData / relative)) {}
    TOpenedArchive Opened;
};

class RealToolArchiveTest : public ::testing::TestWithParam<const char*> {};

// Every file entry extracts, by the name this component gives it, to what unzip gave.
TEST_P(RealToolArchiveTest, ExtractsWhatUnzipGives) {
    const std::string name = GetParam();
    TFixture fixture("tools/" + name + ".zip");
    TOpenedArchive& opened = fixture.Opened;
    const std::filesystem::path expected = kData / "tools" / (name + ".expected");
    int files = 0;
    for (int32_t i = 0; i < opened.Entries().Count(); ++i) {
        const std::filesystem::path bytes = expected / std::to_string(i);
        if (!std::filesystem::exists(bytes)) continue;
        ++files;
        EXPECT_EQ(opened.Extract(opened.Entry(i).EntryName), FileBytes(bytes)) << name << " entry " << i;
    }
    EXPECT_EQ(files, std::distance(std::filesystem::directory_iterator(expected), {}));
    EXPECT_EQ(opened.Extract(u"fixeddocumentsequence.FDSEQ").size(), 162u);
    TZFArchiveItem item;
    EXPECT_TRUE(opened.Zip.FindFirstEntry(u"FixedDocumentSequence.fdseq", item, kZFAttrFilesOnly, u""));
    EXPECT_EQ(item.ItemUnpacked, 162);
}

INSTANTIATE_TEST_SUITE_P(Tools, RealToolArchiveTest,
                         ::testing::Values("infozip-deflated", "infozip-stored-zip64", "infozip-streamed",
                                           "infozip-prefixed", "infozip-prefix-adjusted", "7z-deflated", "7z-stored",
                                           "python-zipfile", "python-streamed"));

TEST(RealToolArchiveTest, RecordsOfEachTool) {
    TFixture zip64("tools/infozip-stored-zip64.zip");
    EXPECT_TRUE(zip64.Opened.Dir().HasZip64);
    EXPECT_TRUE(zip64.Opened.Entry(0).HasZip64Extra);

    TFixture prefixed("tools/infozip-prefixed.zip");
    TFixture adjusted("tools/infozip-prefix-adjusted.zip");
    EXPECT_EQ(prefixed.Opened.Dir().PrefixLength, 560);
    EXPECT_EQ(adjusted.Opened.Dir().PrefixLength, 560);
    for (int32_t i = 0; i < 12; ++i)
        EXPECT_EQ(EntryHeaderOffset(prefixed.Opened.Entry(i)) == EntryHeaderOffset(adjusted.Opened.Entry(i)),
                  (prefixed.Opened.Entry(i).ExternalAttr & 0x10) == 0)
            << i;

    TFixture python("tools/python-zipfile.zip");
    EXPECT_EQ(python.Opened.Dir().GlobalComment, "archive comment from zipfile");
    TZFArchiveItem item;
    ASSERT_TRUE(python.Opened.Zip.FindFirstEntry(u"R*.txt", item, kZFAttrFilesOnly, u""));
    EXPECT_EQ(item.ItemComment, "entry comment");
    // UTF-8 names without a Unicode name field come out in the OEM code page.
    EXPECT_NE(item.ItemName, u"Résumé.txt");
}

TEST(GoReaderArchiveTest, BaselineAndDamagedCopies) {
    const std::string png = FileBytes(kData / "go/gophercolor16x16.png");
    for (const char* name : {"test.zip", "test-trailing-junk.zip", "test-prefix.zip", "test-baddirsz.zip",
                             "test-badbase.zip"}) {
        TFixture fixture(std::string("go/") + name);
        EXPECT_EQ(fixture.Opened.Extract(u"test.txt"), "This is a test text file.\n") << name;
        EXPECT_EQ(fixture.Opened.Extract(u"gophercolor16x16.png"), png) << name;
    }
    TFixture baseline("go/test.zip");
    EXPECT_EQ(baseline.Opened.Dir().GlobalComment, "This is a zipfile comment.");
    EXPECT_EQ(baseline.Opened.Entry(0).Signature, 0x02014B50u);
    // Bytes after the comment, or a wrong directory size: the local headers are read instead.
    for (const char* name : {"test-trailing-junk.zip", "test-prefix.zip", "test-baddirsz.zip", "test-badbase.zip"})
        EXPECT_EQ(TFixture(std::string("go/") + name).Opened.Entry(0).Signature, 0x04034B50u) << name;
}

TEST(GoReaderArchiveTest, DescriptorsZip64AndFolders) {
    EXPECT_EQ(TFixture("go/dd.zip").Opened.Extract(u"filename"), "This is a test textfile.\n");
    for (const char* name : {"go-no-datadesc-sig.zip", "go-with-datadesc-sig.zip", "crc32-not-streamed.zip"}) {
        TFixture fixture(std::string("go/") + name);
        EXPECT_EQ(fixture.Opened.Extract(u"foo.txt"), "foo\n") << name;
        EXPECT_EQ(fixture.Opened.Extract(u"bar.txt"), "bar\n") << name;
    }
    for (const char* name : {"zip64.zip", "zip64-2.zip"}) {
        TFixture fixture(std::string("go/") + name);
        EXPECT_TRUE(fixture.Opened.Dir().HasZip64);
        EXPECT_EQ(fixture.Opened.Extract(u"README"), "This small file is in ZIP64 format.\n") << name;
    }
    for (const char* name : {"winxp.zip", "unix.zip"}) {
        TFixture fixture(std::string("go/") + name);
        EXPECT_EQ(fixture.Opened.Extract(u"hello"), "world \r\n");
        EXPECT_EQ(fixture.Opened.Extract(u"dir/bar"), "foo \r\n");
        EXPECT_EQ(fixture.Opened.Extract(u"readonly"), "important \r\n");
        TZFArchiveItem item;
        EXPECT_FALSE(fixture.Opened.Zip.FindFirstEntry(u"empty", item, kZFAttrFilesOnly, u"")) << name;
        EXPECT_TRUE(fixture.Opened.Zip.FindFirstEntry(u"empty", item, kZFAttrAll, u"")) << name;
    }
}

TEST(GoReaderArchiveTest, ArchivesOtherReadersReject) {
    // No end record, but a local header after some text: the rebuild finds it.
    TFixture notZip("go/readme.notzip");
    TFixture readme("go/readme.zip");
    EXPECT_EQ(notZip.Opened.Dir().PrefixLength, 0);
    EXPECT_EQ(notZip.Opened.Entry(0).HeaderOffset, 20u);
    EXPECT_EQ(notZip.Opened.Extract(u"README").size(), 1096u);
    EXPECT_EQ(notZip.Opened.Extract(u"README"), readme.Opened.Extract(u"README"));

    // The last end record's comment is cut off; "FILE" and "file" share a key, the later entry wins.
    TFixture truncated("go/comment-truncated.zip");
    EXPECT_EQ(truncated.Opened.Entries().Count(), 2);
    EXPECT_EQ(truncated.Opened.Extract(u"FILE"), "data");

    for (const char* name : {"utf8-osx.zip", "utf8-7zip.zip"}) {
        TFixture fixture(std::string("go/") + name);
        int32_t position;
        EXPECT_FALSE(fixture.Opened.Entries().FindEntry(u"世界", position)) << name;
        EXPECT_EQ(fixture.Opened.Entry(0).EntryName.size(), 6u) << name;
    }
}

}  // namespace
