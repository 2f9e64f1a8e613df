#include <gtest/gtest.h>

#include "platform/CodePages.h"
#include "tests/zip/ZipTestArchive.h"
#include "zip/ZipArchiverDirectory.h"

namespace {

std::u16string Numbered(int i) {
    std::u16string name = u"Part";
    for (const char ch : std::to_string(i)) name += static_cast<char16_t>(ch);
    return name;
}

TEST(TZFStringHashTest, ChainsNewestFirst) {
    TZFStringHash hash(7);
    hash.Insert(u"a", 1);
    hash.Insert(u"b", 2);
    hash.Insert(u"a", 3);
    EXPECT_EQ(hash.Find(u"a"), 3);
    hash.Remove(u"a");
    EXPECT_EQ(hash.Find(u"a"), 1);
    EXPECT_EQ(hash.Find(u"A"), -1);
    hash.Clear();
    EXPECT_EQ(hash.Find(u"b"), -1);
}

TEST(TZFStringHashTest, CraftedNamesSpreadOverTheChains) {
    constexpr int kCount = 20000;
    TZFDirArray a;
    a.SetCount(kCount + 1);
    for (int i = 0; i < kCount; ++i) a.SetEntryName(i, Utf8ToUtf16(CollidingName(i)));
    a.SetEntryName(kCount, Utf8ToUtf16("P" + CollidingName(7).substr(1)));
    int32_t position;
    EXPECT_TRUE(a.FindEntry(Utf8ToUtf16(CollidingName(7)), position));
    EXPECT_EQ(position, kCount);
    // About four keys a chain: a chain ten times that long is no accident.
    EXPECT_LE(LongestChain(a.Names()), 40);
}

TEST(TZFHashedStringListTest, RebuildsTheHashAfterFiveStringsPerChain) {
    TZFHashedStringList list;
    EXPECT_EQ(list.Find(u"x"), -1);
    ASSERT_NE(list.Hash(), nullptr);
    EXPECT_EQ(list.Hash()->SlotCount(), 1000);
    for (int i = 0; i < 5000; ++i) list.Add(Numbered(i));
    EXPECT_TRUE(list.HashValid());
    EXPECT_EQ(list.Find(u"Part4999"), 4999);

    list.Add(Numbered(5000));
    EXPECT_EQ(list.Hash(), nullptr);
    EXPECT_FALSE(list.HashValid());
    EXPECT_EQ(list.Find(u"Part5000"), 5000);
    EXPECT_EQ(list.Hash()->SlotCount(), 5001);
    for (int i = 0; i <= 5000; i += 250) EXPECT_EQ(list.Find(Numbered(i)), i);

    list.Replace(17, u"Other");
    EXPECT_EQ(list.Find(u"Other"), 17);
    EXPECT_EQ(list.Find(u"Part17"), -1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Find(u"Other"), -1);
}

TEST(TZFDirArrayTest, GrowsByDoublingStepsUpToTenThousand) {
    TZFDirArray a;
    EXPECT_EQ(a.Capacity(), 0);
    a.SetCount(1200);
    EXPECT_EQ(a.Capacity(), 1200);

    TZFDirArray b;
    const int expected[] = {1000, 3000, 7000, 15000, 25000, 35000};
    int n = 0;
    for (const int capacity : expected) {
        while (n < capacity) b.SetCount(++n);
        EXPECT_EQ(b.Capacity(), capacity);
        b.SetCount(++n);
    }
    b.SetCount(10);
    EXPECT_EQ(b.Capacity(), 45000);
    b.EntryAt(3).EntryName = u"x";
    b.Clear();
    EXPECT_EQ(b.Count(), 0);
    EXPECT_EQ(b.Capacity(), 45000);
    b.SetCount(4);
    EXPECT_EQ(b.EntryAt(3).EntryName, u"");
    b.SetCount(0);
    EXPECT_EQ(b.Capacity(), 0);
}

TEST(TZFDirArrayTest, PositionsOutsideTheEntriesRaise) {
    TZFDirArray a;
    a.SetCount(2);
    try {
        a.GetEntry(2);
        FAIL();
    } catch (const EZFException& e) {
        EXPECT_EQ(e.Message(), u"Index out of bounds - Native error: 00002");
    }
    EXPECT_EQ(NativeErrorOf([&] { a.EntryAt(-1); }), 3);
    EXPECT_EQ(NativeErrorOf([&] { a.EntryAt(2); }), 3);
}

TEST(TZFDirArrayTest, NamesAreFoundByAsciiFoldedKeyAndTheLastDuplicateWins) {
    TZFDirArray a;
    const std::u16string names[] = {u"Documents/1/FixedDocument.fdoc", u"Ärger.xml", u"x", u"a.xml",
                                    u"",  u"",  u"y", u"A.XML"};
    a.SetCount(8);
    for (int i = 0; i < 8; ++i) a.SetEntryName(i, names[i]);

    int32_t position;
    EXPECT_TRUE(a.FindEntry(u"documents/1/fixeddocument.fdoc", position));
    EXPECT_EQ(position, 0);
    EXPECT_FALSE(a.FindEntry(u"Documents\\1\\FixedDocument.fdoc", position));
    EXPECT_EQ(position, -1);
    EXPECT_TRUE(a.FindEntry(u"Ärger.XML", position));
    EXPECT_FALSE(a.FindEntry(u"ärger.xml", position));
    EXPECT_TRUE(a.FindEntry(u"a.xml", position));
    EXPECT_EQ(position, 7);
    // Empty names don't clash, and every entry keeps its own position.
    EXPECT_TRUE(a.FindEntry(u"", position));
    EXPECT_EQ(position, 5);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(a.Names()[i], NameKey(names[i]));
}

TEST(TZFDirArrayTest, RenamingReplacesTheKeyAtTheSamePosition) {
    TZFDirArray a;
    a.SetCount(3);
    a.SetEntryName(0, u"stored.txt");
    a.SetEntryName(0, u"Unicode.txt");
    a.SetEntryName(1, u"");
    a.SetEntryName(1, u"Second");
    a.SetEntryName(2, u"third");
    int32_t position;
    EXPECT_FALSE(a.FindEntry(u"stored.txt", position));
    EXPECT_TRUE(a.FindEntry(u"UNICODE.TXT", position));
    EXPECT_EQ(position, 0);
    EXPECT_TRUE(a.FindEntry(u"second", position));
    EXPECT_EQ(position, 1);
    EXPECT_EQ(a.GetEntry(0).EntryName, u"Unicode.txt");
    EXPECT_EQ(a.Names().Count(), 3);
    // Renaming an earlier entry under a key a later entry also holds finds the later one there.
    a.SetEntryName(2, u"unicode.txt");
    EXPECT_EQ(NativeErrorOf([&] { a.SetEntryName(0, u"again"); }), 59);
}

}  // namespace
