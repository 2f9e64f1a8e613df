#include <gtest/gtest.h>

#include "zip/ZipArchiver.h"

namespace {

std::u16string MessageFor(int32_t code, const TZFBaseArchiver* component) {
    return EZFException(code, component).Message();
}

TEST(EZFExceptionTest, MessagesCarryTheComponentNameAndThePaddedCode) {
    TZipArchiver zip;
    zip.Name = u"ZipArchiverXPS";
    EXPECT_EQ(MessageFor(8, &zip),
              u"ZipArchiverXPS: Invalid size or check sum of file or unsupported compression format - Native error: 00008");
    EXPECT_EQ(EZFException(15, &zip, {std::u16string(u"FixedDocumentSequence.fdseq")}).Message(),
              u"ZipArchiverXPS: File \"FixedDocumentSequence.fdseq\" not found - Native error: 00015");
    EXPECT_EQ(MessageFor(35, nullptr), u"Invalid archive file. - Native error: 00035");
    EXPECT_EQ(MessageFor(55, nullptr), u"Deflate64 compression method is not supported - Native error: 00055");
    EXPECT_EQ(MessageFor(13, &zip), u"ZipArchiverXPS: Archive is not open - Native error: 00013");

    zip.Name.clear();
    EXPECT_EQ(MessageFor(51, &zip), u"Multi-volume archive is not allowed for custom stream - Native error: 00051");
}

TEST(EZFExceptionTest, UnknownCodesAndWideCodes) {
    EXPECT_EQ(MessageFor(63, nullptr), u"Unknown error - Native error: 00063");
    EXPECT_EQ(MessageFor(-1, nullptr), u"Unknown error - Native error: 000-1");
    EXPECT_EQ(MessageFor(123456, nullptr), u"Unknown error - Native error: 123456");
    EXPECT_EQ(MessageFor(0, nullptr), u"Unknown error - Native error: 00000");

    const EZFException e(63, nullptr);
    EXPECT_EQ(e.NativeError, 63);
    EXPECT_EQ(e.MessageIndex, 0);
    EXPECT_EQ(e.ClassName(), u"EZFException");
    EXPECT_STREQ(e.what(), "Unknown error - Native error: 00063");
}

TEST(EZFExceptionTest, CodeTableSharesMessages) {
    const std::pair<int32_t, int32_t> pairs[] = {{1, 1},   {24, 1},  {5, 2},   {29, 5},  {54, 6},  {14, 7},
                                                 {23, 9},  {25, 11}, {33, 12}, {26, 13}, {35, 18}, {40, 22},
                                                 {43, 23}, {57, 27}, {58, 34}, {59, 34}, {61, 36}, {62, 37}};
    for (const auto& [code, index] : pairs) EXPECT_EQ(ZFMessageIndex(code), index) << code;
    EXPECT_EQ(MessageFor(2, nullptr), u"Index out of bounds - Native error: 00002");
    EXPECT_EQ(MessageFor(59, nullptr), u"Hashed list of file names is invalid - Native error: 00059");
    EXPECT_EQ(MessageFor(40, nullptr), u"Cannot find Zip64 directory end record - Native error: 00040");
}

TEST(EZFExceptionTest, FormattedMessages) {
    EXPECT_EQ(EZFException(61, nullptr, {std::u16string(u"x.txt")}).Message(),
              u"File name is too long: \r\n\"x.txt\" - Native error: 00061");
    EXPECT_EQ(EZFException(34, nullptr, {int64_t(10), int64_t(-3)}).Message(),
              u"Invalid compressed size, rfs.size = 10, count = -3 - Native error: 00034");
    // A missing argument leaves its placeholder rather than failing.
    EXPECT_EQ(EZFException(34, nullptr, {int64_t(10)}).Message(),
              u"Invalid compressed size, rfs.size = 10, count = %d - Native error: 00034");
    // The plain form does not format: the placeholder stays.
    EXPECT_EQ(MessageFor(11, nullptr), u"File \"%s\" not found - Native error: 00011");
}

}  // namespace
