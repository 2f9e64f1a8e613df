#include <gtest/gtest.h>

#include "tests/zip/ZipTestArchive.h"

namespace {

TEST(MatchMaskTest, DosWildcards) {
    for (const char16_t* name : {u"abc", u"a.b", u"", u"Documents/1/x.fpage"}) {
        EXPECT_TRUE(MatchMask(name, u"*.*")) << std::string(name, name + std::char_traits<char16_t>::length(name));
        EXPECT_TRUE(MatchMask(name, u"*"));
    }
    EXPECT_TRUE(MatchMask(u"FixedDocumentSequence.fdseq", u"fixeddocumentsequence.FDSEQ"));
    EXPECT_TRUE(MatchMask(u"abc", u"abc."));
    EXPECT_TRUE(MatchMask(u"abc.", u"abc."));
    EXPECT_FALSE(MatchMask(u"abc.txt", u"abc."));
    EXPECT_TRUE(MatchMask(u"abc", u"a?c"));
    EXPECT_FALSE(MatchMask(u"ac", u"a?c"));
    EXPECT_FALSE(MatchMask(u"é.xml", u"É.xml"));
    EXPECT_FALSE(MatchMask(u"abc", u""));
    EXPECT_TRUE(MatchMask(u"Documents/1/Pages/2.fpage", u"Documents/1/Pages/*.fpage"));
    EXPECT_FALSE(MatchMask(u"Documents/1/Pages/2.fpage", u"Documents\\1\\Pages\\*.fpage"));
    EXPECT_TRUE(MatchMask(u"name.tar.gz", u"*.gz"));
    EXPECT_FALSE(MatchMask(u"a.txt", u"*."));
    EXPECT_TRUE(MatchMask(u"README", u"*."));
}

TEST(WildMatchTest, StarsAndTheAnyNamePattern) {
    EXPECT_TRUE(WildMatch(u"abc", u"a*"));
    EXPECT_TRUE(WildMatch(u"abc", u"*c"));
    EXPECT_FALSE(WildMatch(u"abc", u"*b"));
    EXPECT_TRUE(WildMatch(u"abcbd", u"a*b?"));
    // Only a "*.*" that is the whole rest after a star matches any rest.
    EXPECT_TRUE(WildMatch(u"abc", u"a**.*"));
    EXPECT_FALSE(WildMatch(u"abc", u"a*.*"));
    EXPECT_TRUE(WildMatch(u"noextension", u"*.*"));
    // Many stars against a long name must not take exponential time.
    const std::u16string text(4000, u'a');
    EXPECT_FALSE(WildMatch(text, u"*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(WildMatch(text + u"b", u"*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

class FindFirstEntryTest : public ::testing::Test {
protected:
    static TTestZipArchive Package() {
        TTestZipEntry folder = StoredEntry("Documents/", "");
        folder.ExternalAttr = 0x10;
        TTestZipEntry hidden = StoredEntry("hidden.xml", "h");
        hidden.ExternalAttr = 0x22;
        TTestZipEntry hiddenFolder = StoredEntry("Secret/", "");
        hiddenFolder.ExternalAttr = 0x12;
        TTestZipEntry ratio = DeflatedEntry("Documents/1/FixedDocument.fdoc", std::string(400, 'r'));
        ratio.Comment = "doc comment";
        ratio.Flags = 0;
        TTestZipEntry grown = StoredEntry("grown.bin", "1234");
        grown.UnpackedSize = 2;
        return ArchiveOf({StoredEntry("Meta/FixedDocumentSequence.fdseq", "meta"), folder, hiddenFolder, hidden,
                          ratio, StoredEntry("FixedDocumentSequence.fdseq", "root"), grown,
                          StoredEntry(std::string(259, 'n'), "long"), StoredEntry("empty.txt", "")});
    }

    TOpenedArchive Opened{TestZipBytes(Package())};
    TZFArchiveItem Item;

    bool Find(const std::u16string& mask, int32_t attributes = kZFAttrFilesOnly, const std::u16string& exclude = u"") {
        return Opened.Zip.FindFirstEntry(mask, Item, attributes, exclude);
    }
};

TEST_F(FindFirstEntryTest, WholeNamesOrLastComponents) {
    ASSERT_TRUE(Find(u"FixedDocumentSequence.fdseq"));
    EXPECT_EQ(Item.Search.Position, 0);
    EXPECT_EQ(Item.ItemName, u"FixedDocumentSequence.fdseq");
    EXPECT_EQ(Item.ItemPath, u"Meta\\");
    ASSERT_TRUE(Find(u"*.fdseq", kZFAttrFilesOnly, u"Meta/*"));
    EXPECT_EQ(Item.Search.Position, 5);
    EXPECT_EQ(Item.ItemPath, u"");
    ASSERT_TRUE(Find(u"Documents\\1\\FixedDocument.fdoc"));
    EXPECT_EQ(Item.Search.Position, 4);
    EXPECT_EQ(std::u16string(Item.Search.Mask.data()), u"Documents/1/FixedDocument.fdoc");
    EXPECT_EQ(Item.Search.Attr, kZFAttrFilesOnly);
    EXPECT_TRUE(Find(u"C:Documents/1/FixedDocument.fdoc"));
    Opened.Zip.Options.StorePath = spFullPathWithDrive;
    EXPECT_FALSE(Find(u"C:Documents/1/FixedDocument.fdoc"));
}

TEST_F(FindFirstEntryTest, AttributeSetsFilterFoldersAndHiddenEntries) {
    EXPECT_FALSE(Find(u"Documents"));
    ASSERT_TRUE(Find(u"Documents", kZFAttrAll));
    EXPECT_EQ(Item.ItemName, u"Documents");
    EXPECT_EQ(Item.ItemPath, u"");
    EXPECT_EQ(Item.ItemAttr, 0x10u);
    EXPECT_TRUE(Find(u"hidden.xml"));
    EXPECT_FALSE(Find(u"Secret"));
    EXPECT_TRUE(Find(u"Secret", kZFAttrAll));
    EXPECT_FALSE(Find(u"hidden.xml", 0x20));
}

TEST_F(FindFirstEntryTest, FillsTheItemAndLeavesItAloneWhenNothingIsFound) {
    ASSERT_TRUE(Find(u"fixeddocument.FDOC"));
    EXPECT_EQ(Item.ItemUnpacked, 400);
    EXPECT_GT(Item.ItemPacked, 0);
    EXPECT_DOUBLE_EQ(Item.ItemRatio, (1.0 - double(Item.ItemPacked) / 400) * 100);
    EXPECT_EQ(Item.ItemCrc, Crc32Of(std::string(400, 'r')));
    EXPECT_EQ(Item.ItemComment, "doc comment");
    EXPECT_EQ(Item.ItemDate, 0x5A21);
    EXPECT_EQ(Item.ItemTime, 0x6000);
    EXPECT_FALSE(Item.ItemEncrypted);

    EXPECT_FALSE(Find(u"missing.xml", kZFAttrAll, u"x"));
    EXPECT_EQ(Item.ItemName, u"FixedDocument.fdoc");
    EXPECT_EQ(Item.Search.ExcludeMask, u"x");
    EXPECT_EQ(Item.Search.Position, 0);

    ASSERT_TRUE(Find(u"grown.bin"));
    EXPECT_EQ(Item.ItemRatio, 0);
    ASSERT_TRUE(Find(u"empty.txt"));
    EXPECT_EQ(Item.ItemRatio, 100);
}

TEST_F(FindFirstEntryTest, LongMasksFindNothingRatherThanAPrefix) {
    EXPECT_TRUE(Find(std::u16string(259, u'n')));
    EXPECT_FALSE(Find(std::u16string(259, u'n') + u"*"));
    EXPECT_FALSE(Find(std::u16string(300, u'*')));
}

TEST_F(FindFirstEntryTest, WithoutRecursionOnlyTheMasksFolderCounts) {
    Opened.Zip.Options.Recurse = false;
    ASSERT_TRUE(Find(u"FixedDocumentSequence.fdseq"));
    EXPECT_EQ(Item.Search.Position, 5);
    EXPECT_FALSE(Find(u"FixedDocument.fdoc"));
    EXPECT_TRUE(Find(u"DOCUMENTS/1/*.fdoc"));

    Opened.Zip.CloseStream();
    EXPECT_FALSE(Find(u"*"));
}

}  // namespace
