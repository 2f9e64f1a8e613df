#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/CodePages.h"
#include "platform/Registry.h"
#include "tests/support/TestConfigHome.h"
#include "tests/support/TestErrors.h"

namespace {

const std::u16string MRUKey = u"\\Software\\Quill Reports\\MRUFont";
const std::string kMRUHeader = "[Software\\Quill Reports\\MRUFont]\n";
const std::string kNoError = "(no error)";

// The message of the ERegistryException that action raises.
template <typename Action>
std::string RegistryError(Action action) {
    return Utf16ToUtf8(ErrorRaisedBy<ERegistryException>(action).Message);
}

void WriteTextFile(const std::string& fileName, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(fileName).parent_path());
    std::ofstream(fileName, std::ios::binary) << text;
}

std::string ReadTextFile(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::u16string Native(const std::string& fileName) { return Utf8ToUtf16(fileName); }

TEST(Registry, ValuesKeepTextAndType) {
    TTestConfigHome home;
    EXPECT_EQ(TRegistry().FileName(), Native(home.StoreFile()));
    {
        TRegistry registry;
        EXPECT_FALSE(registry.OpenKey(MRUKey, false));
        ASSERT_TRUE(registry.OpenKey(MRUKey, true));
        registry.WriteString(u"Font0", u"Say \"Hi\" \\ back\nnow");
        registry.WriteInteger(u"FontType0", -2);
        registry.WriteInteger(u"FONTTYPE0", -3);
    }
    EXPECT_EQ(ReadTextFile(home.StoreFile()),
              "; The current user's settings of the Quill Reports programs.\n\n"
              "[Software\\Quill Reports\\MRUFont]\n"
              "\"Font0\"=\"Say \\\"Hi\\\" \\\\ back\\nnow\"\n\"FontType0\"=dword:fffffffd\n");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(u"software\\QUILL REPORTS\\mrufont", false));
    EXPECT_EQ(registry.ReadString(u"font0"), u"Say \"Hi\" \\ back\nnow");
    EXPECT_EQ(registry.ReadInteger(u"FontType0"), -3);
    EXPECT_TRUE(registry.ReadString(u"Font9").empty());
    EXPECT_EQ(RegistryError([&] { registry.ReadInteger(u"FontType9"); }), "Failed to get data for 'FontType9'");
    EXPECT_EQ(RegistryError([&] { registry.ReadInteger(u"Font0"); }), "Invalid data type for 'Font0'");
    EXPECT_EQ(RegistryError([&] { registry.ReadString(u"FontType0"); }), "Invalid data type for 'FontType0'");
    registry.CloseKey();
    EXPECT_EQ(RegistryError([&] { registry.ReadString(u"Font0"); }), "Failed to get data for 'Font0'");
    EXPECT_EQ(RegistryError([&] { registry.WriteString(u"Font0", u""); }), "Failed to set data for 'Font0'");
}

// What it does not change, it keeps: the lines go back as they came, line ends and bytes and all.
TEST(Registry, DamagedFileKeepsWhatItCannotRead) {
    TTestConfigHome home;
    WriteTextFile(home.StoreFile(),
                  "; comment\n\ngarbage before keys\n[Other\\Key]\nBare = \"kept\"\nLatin=caf\xE9\n"
                  "[\\Software\\Quill Reports\\MRUFont\\]\r\n"
                  "\"Font0\"=\"unclosed\r\n\"FontType0\"=dword:12345678x\n\"FontType1\"=dword:100000000\n"
                  "FontType2=DWORD:0000002A\nno equals sign here\n");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(MRUKey, false));
    EXPECT_EQ(registry.GetDataType(u"Font0"), TRegDataType::rdUnknown);
    EXPECT_EQ(RegistryError([&] { registry.ReadString(u"Font0"); }), "Invalid data type for 'Font0'");
    EXPECT_EQ(RegistryError([&] { registry.ReadInteger(u"FontType0"); }), "Invalid data type for 'FontType0'");
    EXPECT_EQ(RegistryError([&] { registry.ReadInteger(u"FontType1"); }), "Invalid data type for 'FontType1'");
    EXPECT_EQ(registry.ReadInteger(u"FontType2"), 42);

    registry.WriteInteger(u"FontType0", 4);
    const std::string saved = ReadTextFile(home.StoreFile());
    for (const char* line : {"; comment\n\ngarbage before keys\n", "[Other\\Key]\nBare = \"kept\"\nLatin=caf\xE9\n",
                             "\"Font0\"=\"unclosed\r\n",
                             "\"FontType0\"=dword:00000004\n", "no equals sign here\n"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << line;
    }
    ASSERT_TRUE(registry.OpenKey(u"other\\key", false));
    EXPECT_EQ(registry.ReadString(u"bare"), u"kept");
}

// A link is written through; a read-only store, or one too large to read, is
// left as it is, and only the first save that meets it in the process says so.
TEST(Registry, TheFileASaveReplaces) {
    const std::string value = kMRUHeader + "\"Font0\"=\"Gone\"\n";
    const std::string padding(TRegistry::MaxFileBytes - value.size(), ';');
    const struct {
        const char* name;
        std::string bytes;
        mode_t mode;
        bool link;
        std::u16string readsAs;
        std::string refusal;  // empty: saved
    } cases[] = {
        {"a link", value, 0644, true, u"Gone", ""},
        {"read-only", value, 0444, false, u"Gone", "is read-only"},
        {"too large", value + padding + ";", 0644, false, u"", "is larger than 1048576 bytes"},
        {"as large as allowed", value + padding, 0644, false, u"Gone", ""},
    };
    for (const auto& c : cases) {
        TTestConfigHome home;
        const std::string file = c.link ? home.Dir() + "/elsewhere/settings.ini" : home.StoreFile();
        WriteTextFile(file, c.bytes);
        ::chmod(file.c_str(), c.mode);
        if (c.link) {
            std::filesystem::create_directories(home.Dir() + "/QuillReports");
            std::filesystem::create_symlink("../elsewhere/settings.ini", home.StoreFile());
        }
        for (const bool first : {true, false}) {
            TRegistry registry;
            ASSERT_TRUE(registry.OpenKey(MRUKey, true)) << c.name;
            EXPECT_TRUE(!first || registry.ReadString(u"Font0") == c.readsAs) << c.name;
            const std::string said =
                "The settings store '" + file + "' " + c.refusal + ": it is left as it is, and settings are not saved";
            // A shorter value: a file saved at the limit stays within it.
            EXPECT_EQ(RegistryError([&] { registry.WriteString(u"Font0", u"Go"); }),
                      first && !c.refusal.empty() ? said : kNoError) << c.name;
        }
        EXPECT_EQ(std::filesystem::is_symlink(home.StoreFile()), c.link) << c.name;
        EXPECT_EQ(ReadTextFile(file) == c.bytes, !c.refusal.empty()) << c.name;
    }
}

TEST(Registry, UnusableFileRaises) {
    TTestConfigHome home;
    std::filesystem::create_directories(home.StoreFile());  // a folder cannot be read as the file
    TRegistry registry;
    EXPECT_FALSE(registry.OpenKey(MRUKey, true));
    EXPECT_EQ(RegistryError([&] { registry.ReadString(u"Font4"); }), "Failed to get data for 'Font4'");
    EXPECT_EQ(RegistryError([&] { registry.WriteString(u"Font4", u""); }), "Failed to set data for 'Font4'");

    // A file where the folder belongs: the store cannot be made, even by root.
    WriteTextFile(home.Dir() + "/blocker", "x");
    TRegistry blocked(Native(home.Dir() + "/blocker/registry.ini"));
    ASSERT_TRUE(blocked.OpenKey(MRUKey, true));
    EXPECT_EQ(RegistryError([&] { blocked.WriteInteger(u"FontType3", 0); }), "Failed to set data for 'FontType3'");

    // A folder appearing after the key was opened: the new file cannot replace it and does not stay behind.
    const std::string late = home.Dir() + "/late/registry.ini";
    TRegistry replaced(Native(late));
    ASSERT_TRUE(replaced.OpenKey(MRUKey, true));
    WriteTextFile(late + "/inside", "x");
    EXPECT_EQ(RegistryError([&] { replaced.WriteString(u"Font0", u"Arial"); }), "Failed to set data for 'Font0'");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.Dir() + "/late"), {}), 1);
}

TEST(Registry, ABatchSavesOnceWhatChanged) {
    TTestConfigHome home;
    TSaveCounter saves(home.Dir() + "/QuillReports");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(MRUKey, true));
    {
        const TRegistryBatch batch(registry);
        registry.WriteString(u"Font0", u"Arial");
        registry.WriteInteger(u"FontType0", 4);
        registry.WriteBool(u"Nested", true);
        EXPECT_FALSE(std::filesystem::exists(home.StoreFile()));
    }
    EXPECT_EQ(saves.Count(), 1);
    EXPECT_TRUE(ReadTextFile(home.StoreFile()).ends_with("\"Nested\"=dword:00000001\n"));

    // Writing what the store already holds saves nothing, in a batch or alone.
    {
        const TRegistryBatch batch(registry);
        registry.WriteString(u"FONT0", u"Arial");
        registry.WriteInteger(u"FontType0", 4);
    }
    registry.WriteBool(u"nested", true);
    EXPECT_EQ(saves.Count(), 1);
    registry.WriteInteger(u"FontType0", 2);
    EXPECT_EQ(saves.Count(), 2);

    // A batch that an exception ends saves nothing.
    const auto failedWork = [&] {
        const TRegistryBatch batch(registry);
        registry.WriteInteger(u"FontType0", 3);
        throw std::runtime_error("the work failed");
    };
    EXPECT_THROW(failedWork(), std::runtime_error);
    EXPECT_EQ(saves.Count(), 2);
    EXPECT_EQ(registry.ReadInteger(u"FontType0"), 2);  // undone, so no later save stores it

    // A failed save names the first value the batch changed.
    WriteTextFile(home.Dir() + "/blocker", "x");
    TRegistry blocked(Native(home.Dir() + "/blocker/registry.ini"));
    ASSERT_TRUE(blocked.OpenKey(MRUKey, true));
    EXPECT_EQ(RegistryError([&] {
                  const TRegistryBatch batch(blocked);
                  blocked.WriteString(u"Font1", u"Arial");
                  blocked.WriteString(u"Font2", u"");
              }),
              "Failed to set data for 'Font1'");

    // ...and stays to be saved: writing the same again, once the file can be made, saves it.
    std::filesystem::remove(home.Dir() + "/blocker");
    blocked.WriteString(u"Font1", u"Arial");
    EXPECT_NE(ReadTextFile(home.Dir() + "/blocker/registry.ini").find("\"Font2\"=\"\"\n"), std::string::npos);
}

TEST(Registry, BoolsHaveADefaultWhenMissing) {
    TTestConfigHome home;
    WriteTextFile(home.StoreFile(), "[Options]\n\"Off\"=dword:00000000\n\"On\"=dword:00000007\n\"Text\"=\"1\"\n");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(u"Options", false));
    EXPECT_TRUE(!registry.ReadBool(u"off", true) && registry.ReadBool(u"On", false));
    EXPECT_TRUE(registry.ReadBool(u"Missing", true) && !registry.ReadBool(u"Missing", false));
    EXPECT_EQ(RegistryError([&] { registry.ReadBool(u"Text", false); }), "Invalid data type for 'Text'");
    registry.WriteBool(u"Missing", true);
    EXPECT_NE(ReadTextFile(home.StoreFile()).find("\"Missing\"=dword:00000001\n"), std::string::npos);
    registry.CloseKey();  // no key open, as when the store cannot be read: an error, not the default
    EXPECT_EQ(RegistryError([&] { registry.ReadBool(u"On", false); }), "Failed to get data for 'On'");
}

TEST(Registry, StoreFollowsXdgConfigHome) {
    TTestConfigHome home;
    ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    EXPECT_EQ(TRegistry::UserFileName(), Native(std::string(std::getenv("HOME")) + "/.config/QuillReports/registry.ini"));
    ::setenv("XDG_CONFIG_HOME", "/somewhere/else", 1);
    EXPECT_EQ(TRegistry::UserFileName(), u"/somewhere/else/QuillReports/registry.ini");
}

}  // namespace
