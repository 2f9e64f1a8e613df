#include "fuzz/FuzzTargets.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "convert/XpsConverter.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "tests/support/RunTestSupport.h"
#include "xml/qlxXML.h"
#include "zip/ZipArchiver.h"

namespace {

constexpr char16_t kFontName[] = u"Liberation Sans";
constexpr std::string_view kPageDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
constexpr std::u16string_view kReadAttributes[] = {u"Source", u"Width", u"OriginX", u"UnicodeString", u"Data",
                                                   u"Fill", u"ImageSource"};
// Searching is linear in the directory; a few hundred searches cover every
// way a name can match without making one input take seconds.
constexpr int32_t kMaxSearchedEntries = 256;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz oracle: %s\n", what.c_str());
    std::abort();
}

// Every element, swapped-out ones read back first, with the attributes the
// converter reads.
void WalkTree(TqlxXMLDocument& document) {
    std::vector<TqlxXMLItem*> pending{document.Root()};
    while (!pending.empty()) {
        TqlxXMLItem* item = pending.back();
        pending.pop_back();
        try {
            document.SwapIn(item);
        } catch (const Exception&) {
        }
        for (const std::u16string_view name : kReadAttributes) {
            try {
                (void)item->GetAttr(name);
            } catch (const EConvertError&) {
            }
            (void)item->HasAttr(name);
        }
        for (int32_t i = 0; i < item->ChildCount(); ++i) pending.push_back(item->Child(i));
    }
}

void LoadWalkAndSave(std::string_view bytes, bool swapping) {
    TMemoryStream input;
    LoadStream(input, bytes);
    TqlxXMLDocument document;
    try {
        document.LoadFromStream(input, swapping);
    } catch (const Exception&) {
    }
    WalkTree(document);
    TMemoryStream output;
    try {
        document.SaveToStream(output);
    } catch (const Exception&) {
    }
}

// A folder of this process's own under the temporary directory, emptied
// after each input.
class TFuzzFolder {
public:
    TFuzzFolder() : path_(std::filesystem::temp_directory_path() / ("xq_fuzz_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~TFuzzFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& Path() const { return path_; }
    std::u16string File(const std::string& name) const { return Utf8ToUtf16((path_ / name).string()); }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename().string());
        return names;
    }

    void Empty() const {
        for (const auto& entry : std::filesystem::directory_iterator(path_)) std::filesystem::remove_all(entry.path());
    }

private:
    std::filesystem::path path_;
};

TFuzzFolder& Folder() {
    static TFuzzFolder folder;
    return folder;
}

void WriteFile(const std::u16string& name, std::string_view bytes) {
    TFileStream file(name, fmCreate);
    file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// Every template is XML 1.0 as a strict parser reads it.
void CheckWellFormed(const std::string& templateName) {
    std::ifstream file(Folder().Path() / templateName, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string error = XmlWellFormednessError(bytes);
    if (!error.empty()) Fail(templateName + " is not well-formed XML: " + error);
}

// Output names come from the package file's own name alone, never from names
// inside the package.
void CheckOnlyTemplatesBeside(const std::string& packageName) {
    static const std::regex kTemplateName("pkg_[0-9]+_[0-9]+\\.qlt");
    for (const std::string& name : Folder().Names()) {
        if (name == packageName) continue;
        if (!std::regex_match(name, kTemplateName)) Fail("unexpected file beside the package: " + name);
        CheckWellFormed(name);
    }
}

}  // namespace

void FuzzXmlReader(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    LoadWalkAndSave(bytes, false);
    LoadWalkAndSave(std::string(kPageDeclaration) + std::string(bytes), false);
    LoadWalkAndSave(bytes, true);
}

void FuzzZipArchive(const uint8_t* data, size_t size) {
    TMemoryStream stream;
    LoadStream(stream, std::string_view(reinterpret_cast<const char*>(data), size));
    TZipArchiver zip;
    zip.Name = u"ZipArchiverXPS";
    zip.Options.OEMFileNames = true;
    try {
        zip.OpenStream(stream, false);
    } catch (const Exception&) {
        return;
    }
    TZFDirArray& entries = zip.DirManager()->Entries;
    TZFArchiveItem item;
    zip.FindFirstEntry(u"*.*", item, kZFAttrAll, u"");
    for (int32_t i = 0; i < entries.Count(); ++i) {
        const std::u16string name = entries.EntryAt(i).EntryName;
        if (i < kMaxSearchedEntries) zip.FindFirstEntry(name, item, kZFAttrFilesOnly, u"");
        TMemoryStream destination;
        try {
            zip.ExtractEntryToStream(name, destination);
        } catch (const Exception&) {
        }
    }
    zip.CloseStream();
}

// Every page goes through both walks: the flat one and the nested one, which
// reads transforms, resources and path geometry too, and joins the runs of
// a line; both with the fonts of the document (which a lone page has none
// of: its runs fall back).
void FuzzPageTranslation(const uint8_t* data, size_t size) {
    for (const bool nested : {false, true}) {
        TMemoryStream page;
        LoadStream(page, std::string_view(reinterpret_cast<const char*>(data), size));
        TXpsLineLog log;
        const TFixedFontName font(kFontName);
        TXpsConverter converter(log, font);
        converter.Nested = nested;
        converter.TextLines = nested;
        converter.DocumentFonts = true;
        converter.ConvertFixedPage(page, Folder().File("pkg_1_1"), u"Documents/1/Pages/1.fpage");
        CheckOnlyTemplatesBeside("");
        Folder().Empty();
    }
}

void FuzzConversionRun(const uint8_t* data, size_t size) {
    const std::string packageName = "pkg.xps";
    WriteFile(Folder().File(packageName), std::string_view(reinterpret_cast<const char*>(data), size));
    {
        TFileStream source(Folder().File(packageName), fmOpenRead | fmShareExclusive);
        TXpsLineLog log;
        const TFixedFontName font(kFontName);
        TXpsConverter converter(log, font);
        // Small inputs that name their parts over and over meet these limits
        // within a second; the defaults would let them run into the timeout.
        converter.Limits.RunUnpackedBytes = 64 << 20;
        converter.Limits.RunParts = 1'000;
        converter.Limits.RunTemplateBytes = 64 << 20;
        // The last byte chooses the modes: a package is read whole either way.
        const uint8_t modes = size > 0 ? data[size - 1] : 0;
        converter.Nested = (modes & 1) != 0;
        converter.TextLines = (modes & 2) != 0;
        converter.DocumentFonts = (modes & 4) != 0;
        converter.Convert(&source);
    }
    CheckOnlyTemplatesBeside(packageName);
    Folder().Empty();
}
