#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/ReplacementFile.h"
#include "platform/Streams.h"
#include "tests/support/TestErrors.h"
#include "tests/support/TestTempFolder.h"

namespace {

class FileStreams : public ::testing::Test {
protected:
    std::u16string PathOf(const std::string& name) const { return folder_.Path(name); }

    TTempFolder folder_;
};

TEST(MemoryStream, GrowsSeeksAndReads) {
    TMemoryStream stream;
    for (int i = 0; i < 10000; ++i) stream.WriteBuffer(&i, sizeof i);
    EXPECT_EQ(stream.Size(), 40000);
    stream.SetPosition(4 * 9999);
    int last = 0;
    stream.ReadBuffer(&last, sizeof last);
    EXPECT_EQ(last, 9999);
    EXPECT_EQ(stream.Read(&last, sizeof last), 0);
    EXPECT_THROW(stream.ReadBuffer(&last, sizeof last), EReadError);
}

TEST(MemoryStream, LargeStreamsKeepEveryByteAcrossGrowth) {
    TMemoryStream stream;
    std::string chunk(1 << 20, '\0');
    for (int i = 0; i < 40; ++i) {
        chunk.assign(chunk.size(), static_cast<char>('A' + i % 26));
        stream.WriteBuffer(chunk.data(), static_cast<int64_t>(chunk.size()));
    }
    ASSERT_EQ(stream.Size(), 40 << 20);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(stream.Memory()[(int64_t(i) << 20)], 'A' + i % 26);
        EXPECT_EQ(stream.Memory()[(int64_t(i + 1) << 20) - 1], 'A' + i % 26);
    }
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros) {
    TMemoryStream stream;
    stream.Seek(5, TSeekOrigin::Beginning);
    stream.WriteBuffer("x", 1);
    ASSERT_EQ(stream.Size(), 6);
    EXPECT_EQ(std::memcmp(stream.Memory(), "\0\0\0\0\0x", 6), 0);
    stream.SetPosition(-3);
    char byte;
    EXPECT_EQ(stream.Read(&byte, 1), 0);
}

TEST(MemoryStream, CopyFromWithZeroCountCopiesTheWholeSource) {
    TMemoryStream source, target;
    source.WriteBuffer("abcdef", 6);
    target.WriteBuffer("<", 1);
    EXPECT_EQ(target.CopyFrom(source, 0), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(target.Memory()), target.Size()), "<abcdef");
}

TEST_F(FileStreams, FileStreamCreatesWritesAndReadsBack) {
    const std::u16string name = PathOf("a.bin");
    {
        TFileStream file(name, fmCreate);
        file.WriteBuffer("hello", 5);
        EXPECT_EQ(file.FileName(), name);
    }
    TFileStream file(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(file.Size(), 5);
    char text[5];
    file.ReadBuffer(text, 5);
    EXPECT_EQ(std::string(text, 5), "hello");
}

TEST_F(FileStreams, OpenFailureNamesTheFullPathAndTheReason) {
    const std::u16string relative = u"no/such/../file.xps";
    const TRaisedError open = ErrorRaisedBy<EFOpenError>([&] { TFileStream file(relative, fmOpenRead | fmShareExclusive); });
    EXPECT_EQ(open.ClassName, u"EFOpenError");
    EXPECT_EQ(open.Message, u"Cannot open file \"" + Utf8ToUtf16(std::filesystem::current_path().string()) +
                                u"/no/file.xps\". " + SystemErrorMessage(ENOENT));
    EXPECT_EQ(ErrorRaisedBy<EFCreateError>([&] { TFileStream file(PathOf("missing/x.qlt"), fmCreate); }).Message,
              u"Cannot create file \"" + PathOf("missing/x.qlt") + u"\". No such file or directory");
}

TEST_F(FileStreams, ADirectoryIsNoFileToOpen) {
    const std::u16string dir = Utf8ToUtf16(folder_.Dir());
    EXPECT_EQ(ErrorRaisedBy<EFOpenError>([&] { TFileStream file(dir, fmOpenRead | fmShareDenyWrite); }).Message,
              u"Cannot open file \"" + dir + u"\". " + SystemErrorMessage(EISDIR));
}

TEST_F(FileStreams, AFifoOrADeviceIsNoDocument) {
    const std::string fifo = folder_.NativePath("pipe.xps");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto opening = std::async(std::launch::async, [&] {
        return ErrorRaisedBy<EFOpenError>([&] { TFileStream file(PathOf("pipe.xps"), fmOpenRead | fmShareExclusive); });
    });
    // An open that waits for a writer is let go by one, to fail the test rather than hang it.
    if (opening.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        ADD_FAILURE() << "opening a FIFO waited for a writer";
    }
    EXPECT_EQ(opening.get().Message, u"Cannot open file \"" + PathOf("pipe.xps") + u"\". Not a regular file");
    EXPECT_EQ(ErrorRaisedBy<EFOpenError>([] { TFileStream file(u"/dev/zero", fmOpenRead | fmShareDenyWrite); }).Message,
              u"Cannot open file \"/dev/zero\". Not a regular file");
}

TEST_F(FileStreams, UniqueFilesAreNewAndOpenToReadersAsCreatedOnes) {
    const std::u16string prefix = PathOf("t.qlt.tmp");
    const std::unique_ptr<TFileStream> first = TFileStream::CreateUnique(prefix);
    const std::unique_ptr<TFileStream> second = TFileStream::CreateUnique(prefix);
    EXPECT_NE(first->FileName(), second->FileName());
    EXPECT_EQ(first->FileName().substr(0, prefix.size()), prefix);
    { TFileStream created(PathOf("created"), fmCreate); }
    EXPECT_EQ(std::filesystem::status(NativePath(first->FileName())).permissions(),
              std::filesystem::status(folder_.NativePath("created")).permissions());
    EXPECT_EQ(ErrorRaisedBy<EFCreateError>([&] { TFileStream::CreateUnique(PathOf("missing/t.qlt.tmp")); }).Message,
              u"Cannot create file \"" + PathOf("missing/t.qlt.tmp") + u"\". No such file or directory");
}

TEST_F(FileStreams, SharingModesKeepOtherOpenersOut) {
    const std::u16string name = PathOf("held.xps");
    { TFileStream create(name, fmCreate); }
    {
        TFileStream reader(name, fmOpenRead | fmShareDenyWrite);
        TFileStream secondReader(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_THROW(TFileStream writer(name, fmCreate), EFCreateError);
        EXPECT_THROW(TFileStream writer(name, fmOpenReadWrite), EFOpenError);
    }
    {
        TFileStream exclusive(name, fmOpenRead | fmShareExclusive);
        EXPECT_THROW(TFileStream reader(name, fmOpenRead | fmShareDenyWrite), EFOpenError);
    }
    // Once released, the file is free again.
    TFileStream writer(name, fmOpenReadWrite);
}

TEST(FileStream, AShortWriteIsAWriteError) {
    if (!FileExists(u"/dev/full") && ::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    TFileStream full(u"/dev/full", fmOpenWrite);
    EXPECT_EQ(ErrorRaisedBy<EWriteError>([&] { full.WriteBuffer("x", 1); }).Message,
              u"Stream write error in file \"/dev/full\". No space left on device");
}

// Unnamed while it is written, a replacement file leaves nothing when the
// program is killed; named on its way into place (a folder stands in the way
// here), it goes with every signal that ends the program.
TEST(ReplacementFile, NothingStaysWhenTheProgramIsStopped) {
    for (const int signal : {SIGKILL, SIGTERM, SIGINT, SIGHUP, SIGPIPE}) {
        TTempFolder folder;
        std::filesystem::create_directory(folder.NativePath("d.qlt"));
        if (const pid_t child = ::fork(); child == 0) {
            ::signal(signal, SIG_DFL);
            RemovePendingFilesOnSignals();
            TReplacementFile file(folder.Path("d.qlt.tmp"));
            file.Stream().WriteBuffer("whole", 5);
            if (signal == SIGKILL || !file.MoveTo(folder.Path("d.qlt"))) ::raise(signal);
        } else {
            int status = 0;
            ::waitpid(child, &status, 0);
            EXPECT_EQ(WTERMSIG(status), signal);
            EXPECT_EQ(folder.Files(), std::vector<std::string>{"d.qlt"}) << signal;
        }
    }
}

TEST_F(FileStreams, FilesHelpersCreateRenameAndDelete) {
    const std::u16string made = CreateUniqueFile(PathOf("") , u"swp");
    EXPECT_TRUE(FileExists(made));
    EXPECT_TRUE(RenameFile(made, PathOf("b")));
    EXPECT_FALSE(FileExists(made));
    EXPECT_TRUE(DeleteFile(PathOf("b")));
    EXPECT_FALSE(DeleteFile(PathOf("b")));
    EXPECT_TRUE(DirectoryExists(PathOf("")));
    EXPECT_EQ(TempDirectory().back(), u'/');
}

}  // namespace
