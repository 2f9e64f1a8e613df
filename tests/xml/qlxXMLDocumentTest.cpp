#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "tests/support/TestErrors.h"
#include "tests/support/TestTempFolder.h"
#include "tests/xml/XmlTestSupport.h"

namespace {

class XMLDocumentFiles : public ::testing::Test {
protected:
    std::u16string PathOf(const std::string& name) const { return folder_.Path(name); }
    std::string ReadFile(const std::string& name) const { return folder_.ReadFile(name); }
    static bool OpensForWriting(const std::u16string& path) {
        try {
            TFileStream writer(path, fmOpenReadWrite);
            return true;
        } catch (const EFOpenError&) {
            return false;
        }
    }

    TTempFolder folder_;
};

// r holding a swappable s (with a, which holds b) and a plain z.
void BuildSwappable(TqlxXMLDocument& doc) {
    doc.Root()->Name = u"r";
    TqlxXMLItem* s = AddElement(doc.Root(), u"s", u"k=\"\u00E9\"");
    s->Swappable = true;
    AddElement(AddElement(s, u"a", u"v=\"1\""), u"b");
    AddElement(doc.Root(), u"z");
}

TEST_F(XMLDocumentFiles, SaveToFileWritesReloadsAndHoldsTheFile) {
    const std::u16string path = PathOf("t.qlt");
    std::ofstream(folder_.NativePath("t.qlt")) << "old";
    std::ofstream(folder_.NativePath("t.qlt.tmp")) << "stale";
    auto doc = std::make_unique<TqlxXMLDocument>();
    BuildSwappable(*doc);
    doc->Root()->Child(1)->Content = u"lost";
    const std::string expected = Save(*doc);
    doc->SaveToFile(path);
    EXPECT_EQ(ReadFile("t.qlt"), expected);
    EXPECT_FALSE(FileExists(path + u".tmp"));
    // The swappable element comes back swapped out, pointing into the held file.
    EXPECT_EQ(doc->Root()->Child(0)->ChildCount(), 0);
    EXPECT_FALSE(OpensForWriting(path));
    EXPECT_THROW(TFileStream(path, fmCreate), EFCreateError);
    { TFileStream reader(path, fmOpenRead | fmShareDenyWrite); }
    const std::string reloaded = Save(*doc);
    EXPECT_EQ(reloaded, std::string(expected).replace(expected.find("<z>lost</z>"), 11, "<z/>"));
    // Saving again reads the swapped-out element from the very file it replaces.
    doc->SaveToFile(path);
    EXPECT_EQ(ReadFile("t.qlt"), reloaded);
    TqlxXMLItem* s = doc->Root()->Child(0);
    doc->SwapIn(s);
    EXPECT_EQ(s->ChildCount(), 1);
    EXPECT_EQ(s->AttrText, u"k=\"\u00E9\"");
    doc->ClearTree();
    EXPECT_TRUE(OpensForWriting(path));
    doc->LoadFromFile(path);
    EXPECT_FALSE(OpensForWriting(path));
    doc.reset();
    EXPECT_TRUE(OpensForWriting(path));
}

TEST_F(XMLDocumentFiles, FileFailures) {
    TqlxXMLDocument doc;
    BuildSwappable(doc);
    const std::string expected = Save(doc);
    EXPECT_EQ(ErrorRaisedBy<EFCreateError>([&] { doc.SaveToFile(PathOf("missing/t.qlt")); }).Message,
              u"Cannot create file \"" + PathOf("missing/t.qlt.tmp") + u"\". No such file or directory");
    EXPECT_EQ(Save(doc), expected);
    // A directory in the way: the written file cannot be put in place, and the save says so.
    std::filesystem::create_directory(folder_.NativePath("d.qlt"));
    EXPECT_EQ(ErrorRaisedBy<EFCreateError>([&] { doc.SaveToFile(PathOf("d.qlt")); }).Message,
              u"Cannot create file \"" + PathOf("d.qlt") + u"\". " + SystemErrorMessage(EISDIR));
    EXPECT_EQ(Save(doc), expected);
    EXPECT_EQ(ReadFile("d.qlt.tmp"), expected);

    EXPECT_THROW(doc.LoadFromFile(PathOf("none.xml")), EFOpenError);
    std::ofstream(folder_.NativePath("bad.xml")) << "<r><a/></r>";
    EXPECT_THROW(doc.LoadFromFile(PathOf("bad.xml")), TqlxInvalidXMLException);
    EXPECT_TRUE(OpensForWriting(PathOf("bad.xml")));
}

// In a folder others can write to, names of templates and of their temporary
// files can be guessed and planted as links to somebody's file.
TEST_F(XMLDocumentFiles, SaveToFileWritesThroughNoPlantedLink) {
    namespace fs = std::filesystem;
    const std::string victim = folder_.NativePath("victim");
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, folder_.NativePath("s.qlt.tmp"));
    fs::create_hard_link(victim, folder_.NativePath("h.qlt.tmp"));
    fs::create_symlink(victim, folder_.NativePath("h.qlt"));
    TqlxXMLDocument doc;
    BuildSwappable(doc);
    const std::string expected = Save(doc);
    doc.SaveToFile(PathOf("s.qlt"));
    doc.SaveToFile(PathOf("h.qlt"));
    EXPECT_EQ(ReadFile("victim"), "precious");
    EXPECT_EQ(ReadFile("h.qlt"), expected);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder_.NativePath("h.qlt"))));
    EXPECT_EQ(folder_.Files(), (std::vector<std::string>{"h.qlt", "s.qlt", "victim"}));
}

TEST_F(XMLDocumentFiles, AFailedSaveLeavesNoTemporaryFile) {
    TqlxXMLDocument doc;
    BuildSwappable(doc);
    std::ofstream(folder_.NativePath("w.qlt")) << "old";
    // A file size limit makes the write fall short, as a full disk does.
    rlimit saved{}, small{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto savedSignal = ::signal(SIGXFSZ, SIG_IGN);
    small = {8, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    const TRaisedError error = ErrorRaisedBy([&] { doc.SaveToFile(PathOf("w.qlt")); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(error.ClassName, u"EWriteError");
    EXPECT_EQ(ReadFile("w.qlt"), "old");
    EXPECT_EQ(folder_.Files(), std::vector<std::string>{"w.qlt"});
    // What cannot be put in place is kept under one known name.
    std::filesystem::create_directory(folder_.NativePath("d.qlt"));
    EXPECT_THROW(doc.SaveToFile(PathOf("d.qlt")), EFCreateError);
    EXPECT_EQ(folder_.Files(), (std::vector<std::string>{"d.qlt", "d.qlt.tmp", "w.qlt"}));
}

TEST(XMLSwapping, MarkedElementsLoadSwappedOut) {
    TqlxXMLDocument source;
    BuildSwappable(source);
    const std::string text = Save(source);
    EXPECT_NE(text.find("<s k=\"\xC3\xA9\" ld=\"0\"><a v=\"1\"><b/></a></s>"), std::string::npos);

    TqlxXMLDocument doc;
    doc.LoadFromStream(StreamOf(text), true);
    TqlxXMLItem* s = doc.Root()->Child(0);
    EXPECT_EQ(s->AttrText, u"k=\"\u00E9\"");
    EXPECT_TRUE(s->Swappable);
    EXPECT_FALSE(s->ChildrenLoaded);
    EXPECT_EQ(s->ChildCount(), 0);
    EXPECT_EQ(Save(doc), text);
    EXPECT_EQ(s->ChildCount(), 0);
    doc.SwapIn(s);
    EXPECT_EQ(s->Child(0)->Child(0)->Name, u"b");
    EXPECT_EQ(s->AttrText, u"k=\"\u00E9\"");
    EXPECT_EQ(Save(doc), text);
    // SwapOut keeps the element while the loaded stream is the backing stream.
    doc.SwapOut(s);
    EXPECT_EQ(s->ChildCount(), 1);
    EXPECT_EQ(doc.SwapFileName(), u"");

    s = Load(doc, text)->Child(0);
    EXPECT_EQ(s->AttrText, u"k=\"\u00E9\"");
    EXPECT_FALSE(s->Swappable);
    EXPECT_EQ(s->ChildCount(), 1);
}

TEST(XMLSwapping, MarkerOnlyAndReusedRoot) {
    TqlxXMLDocument doc;
    Load(doc, std::string(kUtf8Declaration) + "<r><s LD=\"0\"><a/></s><t x=\"1\" ld=\"0\"/></r>");
    EXPECT_EQ(doc.Root()->Child(0)->AttrText, u"");
    EXPECT_EQ(doc.Root()->Child(1)->AttrText, u"x=\"1\" ld=\"0\"");
    doc.LoadFromStream(StreamOf(std::string(kUtf8Declaration) + "<r ld=\"0\"><a/></r>"), true);
    EXPECT_EQ(doc.Root()->ChildCount(), 0);
    // The root of the next load starts unmarked.
    doc.LoadFromStream(StreamOf(std::string(kUtf8Declaration) + "<r><a/></r>"), true);
    EXPECT_EQ(Save(doc), std::string(kUtf8Declaration) + "<r><a/></r>");
    // Legacy text is read back the way it was loaded.
    doc.LoadFromStream(StreamOf(std::string(kLegacyDeclaration) + "<r><s ld=\"0\"><a t=\"\xC3\xA9\"/></s></r>"), true);
    doc.SwapIn(doc.Root()->Child(0));
    EXPECT_EQ(doc.Root()->Child(0)->Child(0)->GetAttr(u"t"), u"\u00C3\u00A9");
}

TEST_F(XMLDocumentFiles, SwapOutAndInThroughTheSwapFile) {
    auto doc = std::make_unique<TqlxXMLDocument>();
    doc->SwapDir = Utf8ToUtf16(folder_.Dir());
    BuildSwappable(*doc);
    TqlxXMLItem* s = doc->Root()->Child(0);
    TqlxXMLItem* a = s->Child(0);
    a->Swappable = true;
    TqlxXMLItem* z = doc->Root()->Child(1);
    doc->SwapOut(z);
    EXPECT_EQ(doc->SwapFileName(), u"");
    z->Swappable = true;
    AddElement(z, u"y");
    std::string expected = Save(*doc);
    // Written from the swap file, a comes back without its own mark.
    expected.erase(expected.find(" ld=\"0\"><b/>"), 7);
    doc->SwapOut(a);
    doc->SwapOut(z);
    doc->SwapOut(s);
    EXPECT_EQ(s->ChildCount(), 0);
    EXPECT_FALSE(s->ChildrenLoaded);
    const std::u16string swapFile = doc->SwapFileName();
    EXPECT_EQ(swapFile.substr(0, folder_.Dir().size() + 1), PathOf(""));
    EXPECT_EQ(Save(*doc), expected);
    doc->SwapIn(s);
    EXPECT_EQ(s->Child(0)->ChildCount(), 1);
    EXPECT_EQ(Save(*doc), expected);
    doc->ClearTree();
    EXPECT_FALSE(FileExists(swapFile));

    // Without a usable SwapDir the file goes to the temporary directory; it goes away with the document.
    const char* saved = std::getenv("TMPDIR");
    const std::string old = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", (folder_.NativePath("tmp")).c_str(), 1);
    std::filesystem::create_directory(folder_.NativePath("tmp"));
    doc->SwapDir = PathOf("no-such-dir");
    BuildSwappable(*doc);
    doc->SwapOut(doc->Root()->Child(0));
    const std::u16string second = doc->SwapFileName();
    if (saved != nullptr)
        ::setenv("TMPDIR", old.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    EXPECT_EQ(second.substr(0, folder_.Dir().size() + 5), PathOf("tmp/"));
    EXPECT_TRUE(FileExists(second));
    doc.reset();
    EXPECT_FALSE(FileExists(second));
}

}  // namespace
