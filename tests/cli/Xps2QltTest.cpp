#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestTempFolder.h"
#include "tests/support/RunTestSupport.h"
#include "cli/xps2qlt.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"

namespace {

const std::string kOnePageLog = "Zip archive open\nDoc1 - Ok\nPage1 - Ok\nZip archive close\n";
const std::string kUsageHint = "Try 'xps2qlt --help' for more information.\n";

class CommandLine : public ::testing::Test {
protected:
    int Run(const std::vector<std::string>& args, bool showProgress = false) {
        out_.str("");
        err_.str("");
        std::vector<std::u16string> wide;
        for (const std::string& arg : args) wide.push_back(Utf8ToUtf16(arg));
        return RunXps2Qlt(wide, out_, err_, showProgress);
    }

    // Writes the package into the folder; returns its path.
    std::string Package(const std::string& name, const std::vector<TPart>& parts) {
        WriteFileBytes(folder_.Path(name), PackageBytes(parts));
        return Path(name);
    }

    std::string Path(const std::string& name) const { return Utf16ToUtf8(folder_.Path(name)); }

    // Runs the built program in the folder; its output and errors go to files there.
    int RunProgram(const std::string& args) {
        const std::string command = "cd '" + Path("") + "' && '" XPS2QLT_PROGRAM "' " + args + " >stdout.txt 2>stderr.txt";
        const int status = std::system(command.c_str());
        programOut_ = FileBytes(folder_.Path("stdout.txt"));
        programErr_ = FileBytes(folder_.Path("stderr.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TTempFolder folder_;
    std::ostringstream out_;
    std::ostringstream err_;
    std::string programOut_;
    std::string programErr_;
};

TEST_F(CommandLine, WrongArgumentsAreUsageErrorsAndConvertNothing) {
    const std::string package = Package("p.xps", OneDocument({TextPage("x")}));
    const auto expectUsageError = [&](const std::vector<std::string>& args, const std::string& message) {
        EXPECT_EQ(Run(args), kExitUsage);
        EXPECT_EQ(err_.str(), "xps2qlt: " + message + "\n" + kUsageHint);
        EXPECT_EQ(out_.str(), "");
    };
    expectUsageError({}, "no FILE given");
    expectUsageError({"--font"}, "option '--font' needs a font family");
    expectUsageError({package, "--frobnicate"}, "unknown option '--frobnicate'");
    expectUsageError({package, "--font"}, "option '--font' needs a font family");
    expectUsageError({"--extract"}, "option '--extract' needs an entry name");
    expectUsageError({"--list", package, package}, "--list and --extract take one FILE");
    expectUsageError({"--list", "--extract", "x", package}, "--list and --extract cannot be combined");
    expectUsageError({"--list", "--preview-only", package}, "--preview-only cannot be combined with --list or --extract");
    EXPECT_FALSE(folder_.Exists("p_1_1.qlt"));
}

TEST_F(CommandLine, HelpAndVersion) {
    EXPECT_EQ(Run({"--help"}), kExitSuccess);
    // The usage lines, up to the first blank line, name every option.
    const std::string usage = out_.str().substr(0, out_.str().find("\n\n"));
    EXPECT_TRUE(usage.starts_with("Usage: xps2qlt "));
    for (const char* option : {"--font FAMILY", "--nested", "--document-fonts", "--text-lines", "--preview", "-j [N]",
                               "--preview-only", "--list", "--extract NAME"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    EXPECT_EQ(Run({"x.xps", "--version", "--bogus"}), kExitSuccess);
    EXPECT_TRUE(std::regex_match(out_.str(), std::regex("xps2qlt [0-9]+\\.[0-9]+(\\.[0-9]+)*\n")));
    EXPECT_EQ(err_.str(), "");
}

TEST_F(CommandLine, ConvertsAFileAndPrintsItsLog) {
    const std::string package = Package("p.xps", OneDocument({TextPage("x")}));
    EXPECT_EQ(Run({package}), kExitSuccess);
    EXPECT_EQ(out_.str(), kOnePageLog);
    EXPECT_EQ(err_.str(), "");
    EXPECT_NE(TemplateWithoutTimes(folder_.Path("p_1_1.qlt")).find("Font.Name=\"Arial\" Font.Style=\"0\" ParentFont"),
              std::string::npos);

    EXPECT_EQ(Run({"--font", "DejaVu Sans", "--", package}), kExitSuccess);
    EXPECT_EQ(out_.str(), kOnePageLog);
    EXPECT_NE(TemplateWithoutTimes(folder_.Path("p_1_1.qlt")).find("Font.Name=\"DejaVu Sans\" Font.Style=\"0\" ParentFont"),
              std::string::npos);
}

TEST_F(CommandLine, TheFlatModeHintsAtTheNestedOne) {
    const std::string package =
        Package("c.xps", OneDocument({PageWith("<Canvas><Glyphs OriginX=\"1\" OriginY=\"2\" UnicodeString=\"in\"/></Canvas>")}));
    EXPECT_EQ(Run({package}), kExitSuccess);
    EXPECT_EQ(out_.str(), kOnePageLog);
    EXPECT_EQ(err_.str(), "xps2qlt: " + package + ": content inside canvases was skipped; --nested converts it\n");
    EXPECT_EQ(Run({"--nested", package}), kExitFailure);
    EXPECT_EQ(err_.str(), "");
    EXPECT_NE(out_.str().find("-Message: '' is not a valid floating point value"), std::string::npos);
}

// The log keeps its " - Ok", but a page left without a template fails the file.
TEST_F(CommandLine, APagePartThatIsNoFixedPageIsReportedAndFails) {
    const std::string package = Package("n.xps", OneDocument({TextPage("x"), "<Canvas/>"}));
    EXPECT_EQ(Run({package}), kExitFailure);
    EXPECT_EQ(out_.str(), "Zip archive open\nDoc1 - Ok\nPage1 - Ok\nPage2 - Ok\nZip archive close\n");
    EXPECT_EQ(err_.str(), "xps2qlt: " + package + ": no template was written for page 2 of document 1: its part is no fixed page\n");
}

TEST_F(CommandLine, FontsOfTheDocumentThatFellBackAreNamedOnce) {
    const std::string glyphs = "<Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"9\" UnicodeString=\"x\" FontUri=\"";
    const std::string package = Package(
        "f.xps", OneDocument({PageWith(glyphs + "/missing.ttf\"/>" + glyphs + "/missing.ttf\"/>" + glyphs + "bad.odttf\"/>")}));
    EXPECT_EQ(Run({"--document-fonts", package}), kExitSuccess);
    EXPECT_EQ(out_.str(), kOnePageLog);
    EXPECT_EQ(err_.str(), "xps2qlt: " + package +
                              ": the chosen family stands in for the fonts missing.ttf, Documents/1/Pages/bad.odttf\n");
    EXPECT_EQ(Run({package}), kExitSuccess);
    EXPECT_EQ(err_.str(), "");
}

TEST_F(CommandLine, TextLinesJoinTheRunsOfALine) {
    const std::string run = "<Glyphs OriginY=\"20\" FontRenderingEmSize=\"10\" Indices=\",50;,50\" UnicodeString=";
    const std::string package =
        Package("t.xps", OneDocument({PageWith(run + "\"ab\" OriginX=\"0\"/>" + run + "\"cd\" OriginX=\"12.5\"/>")}));
    EXPECT_EQ(Run({"--text-lines", package}), kExitSuccess);
    EXPECT_NE(TemplateWithoutTimes(folder_.Path("t_1_1.qlt")).find("Text=\"ab cd\""), std::string::npos);
}

TEST_F(CommandLine, EveryFileIsConvertedAndEveryFailureReported) {
    const std::string good = Package("good.xps", OneDocument({TextPage("x")}));
    const std::string missing = Path("missing.xps");
    const std::string broken = Package("broken.xps", {{"FixedDocumentSequence.fdseq", SequencePart({"/nowhere.fdoc"})}});
    const std::string pageError = Package("page.xps", OneDocument({"<FixedPage Width=\"?\"/>"}));
    WriteFileBytes(folder_.Path("text.xps"), "plain text");
    EXPECT_EQ(Run({good, missing, broken, pageError, Path("text.xps")}), kExitFailure);
    EXPECT_EQ(out_.str(), good + ":\n" + kOnePageLog +                                                      //
                              broken + ":\nZip archive open\nDoc1\nZip archive close\n" +                   //
                              pageError + ":\nZip archive open\nDoc1 - Ok\nPage1 - Ok\n-Convert error!!!\n"  //
                              "-ClassName: EConvertError\n-Message: '?' is not a valid floating point value\n"
                              "Zip archive close\n" +
                              Path("text.xps") + ":\n");
    const std::string errors = err_.str();
    EXPECT_EQ(errors.substr(0, errors.find('\n') + 1),
              "xps2qlt: " + missing + ": Cannot open file \"" + missing + "\". No such file or directory.\n");
    EXPECT_NE(errors.find("xps2qlt: " + broken +
                          ": ZipArchiverXPS: File \"nowhere.fdoc\" not found - Native error: 00015.\n"),
              std::string::npos);
    EXPECT_NE(errors.find("xps2qlt: " + Path("text.xps") + ": "), std::string::npos);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 3);

    EXPECT_EQ(Run({pageError}), kExitFailure);
    EXPECT_EQ(err_.str(), "");
    EXPECT_EQ(Run({good, good}), kExitSuccess);

    // An archive without a sequence converts nothing, however cleanly it ends.
    const std::string notXps = Package("plain.zip", {{"readme.txt", "hello"}});
    EXPECT_EQ(Run({notXps}), kExitFailure);
    EXPECT_EQ(out_.str(), "Zip archive open\nThis Zip is not XPS archive!\nZip archive close\n");
    EXPECT_EQ(err_.str(), "");
    EXPECT_EQ(Run({good, notXps}), kExitFailure);
}

TEST_F(CommandLine, ListsAndExtractsEntries) {
    const std::string image = SamplePng(5, 4);
    TTestZipArchive archive;
    archive.Entries.push_back(DeflatedEntry("Resources/logo.png", image));
    TTestZipEntry stored;
    stored.Name = "FixedDocumentSequence.fdseq";
    stored.Content = "<seq/>";
    archive.Entries.push_back(stored);
    WriteFileBytes(folder_.Path("p.xps"), TestZipBytes(archive));
    EXPECT_EQ(Run({"--list", Path("p.xps")}), kExitSuccess);
    EXPECT_EQ(out_.str(), "Resources/logo.png\t" + std::to_string(image.size()) + "\nFixedDocumentSequence.fdseq\t6\n");
    EXPECT_EQ(Run({"--extract", "resources/LOGO.png", Path("p.xps")}), kExitSuccess);
    EXPECT_EQ(out_.str(), image);
    EXPECT_FALSE(folder_.Exists("p_1_1.qlt"));
    // A part stored as pieces comes out joined.
    Package("pieces.xps", StoredAsPieces(OneDocument({TextPage("x")}), {"Documents/1/Pages/1.fpage"}, 10));
    EXPECT_EQ(Run({"--extract", "Documents/1/Pages/1.fpage", Path("pieces.xps")}), kExitSuccess);
    EXPECT_EQ(out_.str(), TextPage("x"));

    EXPECT_EQ(Run({"--extract", "nope", Path("p.xps")}), kExitFailure);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), "xps2qlt: " + Path("p.xps") + ": ZipArchiverXPS: File \"nope\" not found - Native error: 00015.\n");
    WriteFileBytes(folder_.Path("text.xps"), "plain text");
    EXPECT_EQ(Run({"--list", Path("text.xps")}), kExitFailure);
    EXPECT_TRUE(err_.str().starts_with("xps2qlt: " + Path("text.xps") + ": ")) << err_.str();
    EXPECT_EQ(Run({"--list", Path("none.xps")}), kExitFailure);
}

TEST_F(CommandLine, AnEntryWithABadChecksumIsWrittenAndThenReported) {
    TTestZipEntry entry = StoredEntry("a.bin", "payload");
    entry.Crc = 1;
    WriteFileBytes(folder_.Path("p.xps"), TestZipBytes(ArchiveOf({entry})));
    EXPECT_EQ(Run({"--extract", "a.bin", Path("p.xps")}), kExitFailure);
    EXPECT_EQ(out_.str(), "payload");
    EXPECT_EQ(err_.str(), "xps2qlt: " + Path("p.xps") +
                              ": ZipArchiverXPS: Invalid size or check sum of file or unsupported compression format"
                              " - Native error: 00008.\n");
}

TEST_F(CommandLine, NamesArePrintedWithTheirControlCharactersEscaped) {
    const std::string odd = "a\nb\tc\\d\r\x01\x7F.bin";
    WriteFileBytes(folder_.Path("p.xps"), TestZipBytes(ArchiveOf({StoredEntry(odd, "12345")})));
    EXPECT_EQ(Run({"--list", Path("p.xps")}), kExitSuccess);
    EXPECT_EQ(out_.str(), "a\\nb\\tc\\\\d\\r\\x01\\x7f.bin\t5\n");
    EXPECT_EQ(Run({"--extract", odd, Path("p.xps")}), kExitSuccess);
    EXPECT_EQ(out_.str(), "12345");

    const std::string faking = Package("x\nDoc1 - Ok.xps", OneDocument({TextPage("x")}));
    const std::string good = Package("good.xps", OneDocument({TextPage("x")}));
    EXPECT_EQ(Run({faking, good, Path("gone\n.xps")}), kExitFailure);
    EXPECT_EQ(out_.str(), Path("x\\nDoc1 - Ok.xps:\n") + kOnePageLog + good + ":\n" + kOnePageLog);
    const std::string missing = Path("gone\\n.xps");
    EXPECT_EQ(err_.str(), "xps2qlt: " + missing + ": Cannot open file \"" + missing + "\". No such file or directory.\n");
}

TEST_F(CommandLine, PackagesThatWouldWriteTheSameTemplatesAreNotBothConverted) {
    const std::string first = Package("a.xps", OneDocument({TextPage("first")}));
    Package("a.zip", OneDocument({TextPage("second")}));
    const std::string stem(50, 's');
    const std::string long1 = Package(stem + "1.xps", OneDocument({TextPage("x")}));
    const std::string long2 = Package(stem + "2.xps", OneDocument({TextPage("x")}));
    const std::string same = Path("./a.zip");
    for (const std::string jobs : {"-j1", "-j4"}) {
        EXPECT_EQ(Run({jobs, first, same, long1, long2, first}), kExitFailure);
        EXPECT_EQ(err_.str(), "xps2qlt: " + Path("./a_1_1.qlt") + " would be written by both " + first + " and " + same +
                                  "\nxps2qlt: " + Path(stem + "_1_1.qlt") + " would be written by both " + long1 +
                                  " and " + long2 + "\n");
        EXPECT_EQ(out_.str(), first + ":\n" + kOnePageLog + long1 + ":\n" + kOnePageLog + first + ":\n" + kOnePageLog);
        EXPECT_EQ(TemplateTexts(folder_.Path("a_1_1.qlt")), std::vector<std::u16string>{u"10,20:first"});
    }
    EXPECT_EQ(Run({first, same}), kExitFailure);
    EXPECT_EQ(out_.str(), first + ":\n" + kOnePageLog);
}

TEST_F(CommandLine, PackagesConvertedAtOnceLogAsWhenConvertedInTurn) {
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) files.push_back(Package("p" + std::to_string(i) + ".xps", OneDocument({TextPage("x")})));
    files[1] = Path("missing.xps");
    files[3] = Package("broken.xps", {{"FixedDocumentSequence.fdseq", SequencePart({"/nowhere.fdoc"})}});
    files[4] = Package("page.xps", OneDocument({"<FixedPage Width=\"?\"/>"}));
    EXPECT_EQ(Run(files), kExitFailure);
    const std::string inTurnOut = out_.str(), inTurnErr = err_.str();
    for (const std::vector<std::string>& jobs : {std::vector<std::string>{"-j3"}, {"-j", "2"}, {"-j"}}) {
        std::vector<std::string> args = jobs;
        args.insert(args.end(), files.begin(), files.end());
        EXPECT_EQ(Run(args), kExitFailure);
        EXPECT_EQ(out_.str(), inTurnOut);
        EXPECT_EQ(err_.str(), inTurnErr);
    }

    EXPECT_EQ(Run({"-j", "2", files[0], files[1], files[0], files[2]}, true), kExitFailure);
    const std::string progress = err_.str();
    EXPECT_TRUE(progress.starts_with("\r0/4 packages, 0 failed\x1B[K")) << progress;
    EXPECT_NE(progress.find("\r4/4 packages, 1 failed\x1B[K"), std::string::npos) << progress;
    EXPECT_EQ(progress.substr(progress.size() - 4), "\r\x1B[K");
    EXPECT_EQ(Run({"-j", "2", files[0], files[0]}), kExitSuccess);

    for (const std::string bad : {"-j0", "-j2x", "-j1025"}) {
        EXPECT_EQ(Run({bad, files[0]}), kExitUsage);
        EXPECT_TRUE(err_.str().starts_with("xps2qlt: option '-j' takes a number of packages from 1 to")) << err_.str();
    }
}

TEST_F(CommandLine, AFileHeldByAnotherReaderIsNotOpened) {
    const std::string package = Package("p.xps", OneDocument({TextPage("x")}));
    {
        TFileStream held(Utf8ToUtf16(package), fmOpenRead | fmShareExclusive);
        EXPECT_EQ(Run({package}), kExitFailure);
        EXPECT_EQ(out_.str(), "");
        EXPECT_TRUE(err_.str().starts_with("xps2qlt: " + package + ": Cannot open file ")) << err_.str();
    }
    EXPECT_EQ(Run({package}), kExitSuccess);
}

TEST_F(CommandLine, TheProgressLineIsDrawnOnlyWhenAskedAndErasedAtTheEnd) {
    const std::string package = Package("p.xps", OneDocument({TextPage("1"), TextPage("2")}));
    EXPECT_EQ(Run({package}, true), kExitSuccess);
    const std::string progress = err_.str();
    EXPECT_TRUE(progress.starts_with("\r" + package + ": document 1, page 1, ")) << progress;
    EXPECT_NE(progress.find(" pages/s\x1B[K"), std::string::npos);
    EXPECT_EQ(progress.substr(progress.size() - 4), "\r\x1B[K");
    EXPECT_EQ(out_.str(), "Zip archive open\nDoc1 - Ok\nPage1 - Ok\nPage2 - Ok\nZip archive close\n");
    EXPECT_EQ(Run({package}, false), kExitSuccess);
    EXPECT_EQ(err_.str(), "");
}

TEST_F(CommandLine, TheProgramWritesTemplatesNextToTheFileAndExitsWithItsStatus) {
    std::vector<TPart> parts = OneDocument({TextPage("x")});
    parts.push_back({"Resources/a.bin", std::string("\0\r\n\x1A\xFF", 5)});
    Package("p.xps", parts);
    EXPECT_EQ(RunProgram("p.xps"), kExitSuccess);
    EXPECT_EQ(programOut_, kOnePageLog);
    EXPECT_EQ(programErr_, "");
    EXPECT_TRUE(folder_.Exists("p_1_1.qlt"));
    EXPECT_EQ(RunProgram("--extract Resources/a.bin p.xps"), kExitSuccess);
    EXPECT_EQ(programOut_, std::string("\0\r\n\x1A\xFF", 5));
    EXPECT_EQ(RunProgram("missing.xps"), kExitFailure);
    EXPECT_EQ(programOut_, "");
    EXPECT_TRUE(programErr_.starts_with("xps2qlt: missing.xps: Cannot open file ")) << programErr_;
    EXPECT_EQ(RunProgram("--bogus p.xps"), kExitUsage);
    EXPECT_EQ(programErr_, "xps2qlt: unknown option '--bogus'\n" + kUsageHint);
}

// The pictures in the folder by name, taken away.
std::map<std::string, std::string> Pictures(const TTempFolder& folder) {
    std::map<std::string, std::string> pictures;
    for (const std::string& name : folder.Files()) {
        if (!name.ends_with(".svg")) continue;
        pictures[name] = folder.ReadFile(name);
        std::filesystem::remove(folder.NativePath(name));
    }
    return pictures;
}

// A page that fails draws no picture, whatever template of its name is left
// from before; pictures can be drawn again from the templates alone.
TEST_F(CommandLine, PicturesAreDrawnOfTheTemplatesWritten) {
    const std::string package = Package("f.xps", OneDocument({TextPage("x"), "<FixedPage Width=\"?\"/>"}));
    Run({package});
    std::filesystem::copy_file(folder_.NativePath("f_1_1.qlt"), folder_.NativePath("f_1_2.qlt"));
    EXPECT_EQ(Run({"--preview", package}), kExitFailure);
    const std::map<std::string, std::string> pictures = Pictures(folder_);
    EXPECT_EQ(pictures.size(), 1u);
    EXPECT_NE(pictures.at("f_1_1.svg").find(">x</text>"), std::string::npos);

    EXPECT_EQ(Run({"--preview-only", Path("f_1_1.qlt"), package, "-j2"}), kExitFailure);
    EXPECT_EQ(out_.str(), Path("f_1_1.svg") + "\n");
    EXPECT_EQ(err_.str(), "xps2qlt: " + package + ": The file is no report template.\n");
    EXPECT_EQ(Pictures(folder_), pictures);
}

// The pictures of real packages' templates, in both modes, are the same
// whether the packages are converted in turn or at once, and every one of
// them renders.
TEST_F(CommandLine, PicturesOfRealPackagesRenderAndDoNotDependOnJobs) {
    std::vector<std::string> packages;
    for (const auto& file : std::filesystem::directory_iterator(XQ_TEST_DATA)) {
        if (file.path().extension() == ".md") continue;
        packages.push_back(Path(file.path().filename()));
        std::filesystem::copy_file(file.path(), packages.back());
    }
    packages.push_back(Path("invoice.xps"));
    std::filesystem::copy_file(XQ_EXAMPLES "/invoice.xps", packages.back());
    const bool canRender = std::system("command -v rsvg-convert >/dev/null") == 0;
    for (const std::vector<std::string>& mode : {std::vector<std::string>{"--preview"}, {"--preview", "--nested"}}) {
        std::vector<std::string> args = mode;
        args.insert(args.end(), packages.begin(), packages.end());
        Run(args);
        const std::map<std::string, std::string> inTurn = Pictures(folder_);
        EXPECT_EQ(inTurn.size(), mode.size() == 1 ? 6u : 10u);
        args.push_back("-j2");
        Run(args);
        for (const auto& picture : inTurn) {
            const std::string command = "rsvg-convert '" + Path(picture.first) + "' >/dev/null";
            EXPECT_TRUE(!canRender || std::system(command.c_str()) == 0) << picture.first;
        }
        EXPECT_EQ(Pictures(folder_), inTurn);
    }
}

}  // namespace
