// Writes the seed corpus of one fuzz target into a folder:
//   fuzz_seeds xml|zip|page|convert FOLDER
// The seeds are the inputs of the unit tests: the reader's test texts, the
// pages of the translation tests, the archives of the ZIP tests (the real-tool
// and Go fixtures and the writer's unusual ones) and packages made of them.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TestXpsPackage.h"
#include "tests/support/TestZipWriter.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> XmlSeeds() {
    return {
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\xEF\xBB\xBF<FixedPage Width=\"816\">\r\n <Glyphs UnicodeString=\"caf\xC3\xA9\"/></FixedPage>",
        "<?xml version=\"1.0\" standalone=\"yes\"?><a t=\"\xC3\xA9\"/>",
        "<?xml version=\"1.1\"?><r t=\"1\"><a/><b><c/></b><d><e/></x></r>",
        "<!-- first > < -->\r\n<?xml version=\"1.0\"?><a>text &amp; > more<b/>\xEF\xBB\xBF<c></c> tail</a>",
        "<?xml version='1.0'?><a><!-- <x/> > --><b/><!----><c/><!-- x ---><b/> --><c/></a>",
        "<?xml version=\"1.0\"?><a t=\"1>2\"/><a t=\"1<2\"/>",
        "<?xml version=\"1.0\"?><a><![CDATA[x<y]]></a>",
        "<?xml version=\"1.0\"?><r a=\"1\"><e x=\"1\" /><f/ ><g\r\n x=\"2\"/><h  y=\"3\"/><i\tz=\"4\"/></r >",
        "<?xml version=\"1.0\"?><r><a><?pi x?></a><!DOCTYPE r><b><></b x></r>",
        "<?xml version=\"1.0\"?><a:b.c xmlns:a=\"u\" xml:lang=\"en\"><a:b.c.D/></a:b.c>",
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?><r><s Name=\"x\" ld=\"0\"><t/><u LD=\"0\"><v/></u></s></r>",
        "<?xml version=\"1.0\"?><a v=\"&#60;&#x3C;&#abc;&lt;&amp;lt;&quot;&#65535;&#-1;\"/>",
        SequencePart({"/Documents/1/FixedDocument.fdoc", "Documents/2/FixedDocument.fdoc"}),
        DocumentPart({"Pages/1.fpage", "/Documents/1/Pages/2.fpage", "../1/Pages/3.fpage"}),
    };
}

std::vector<std::string> PageSeeds() {
    const std::string glyphs = "<Glyphs Fill=\"#ff000000\" FontUri=\"/Resources/Fonts/0A1B.odttf\" FontRenderingEmSize=\"14.6933\" "
                               "OriginX=\"96.64\" OriginY=\"40.48\" Indices=\"55;75;72,44\" UnicodeString=\"Gr\xC3\xBC\xC3\x9F" "e &amp;lt;\"/>";
    const std::string path = "<Path Stroke=\"#80FF0000\" StrokeThickness=\"0.96\" Data=\"F1 M 10,10 L 110,10 110,60 10,60 z M 0,0 L 5,5\"/>";
    const std::string image = "<Path Data=\"M 0,0 L 10,0 10,10 z\"><Path.Fill><ImageBrush ImageSource=\"/Resources/Images/1.png\" "
                              "Viewbox=\"0,0,10,10\"/></Path.Fill></Path>";
    return {
        PageWith(glyphs + path + image),
        PageWith("<Canvas>" + glyphs + path + "</Canvas><Path.Data/><glyphs OriginX=\"x\"/>"),
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + PageWith("<Glyphs OriginX=\"1e2\" OriginY=\".5\" FontRenderingEmSize=\"12.5\" UnicodeString=\"{}x\" Fill=\"#FFF\"/>"),
        PageWith("<Path Fill=\"#zzzzzzzz\" Data=\"F1 M 1,2\"/><Path Data=\"F1 M 1,2 L 3,4 C 1,1 2,2 3,3\"/><Path Stroke=\"#FFFFFFFF\" Data=\"F1 M 1,2 L 3,4  5,6 Z\"/>"),
        PageWith("<Path Stroke=\"#FF000000\" Data=\"F0 M 0,0 L 1,1\"/><Path Stroke=\"sc#1,0,0,0\" Data=\"F1 M +1.5E1,-2 L 3,4 z\"/>"),
        "<FixedPage Width=\"8,5\" Height=\"\"/>",
        PageWith("<FixedPage.Resources><ResourceDictionary><SolidColorBrush x:Key=\"b\" Color=\"#FF0000FF\"/>"
                 "<MatrixTransform x:Key=\"m\" Matrix=\"2,0,0,2,1,1\"/><PathGeometry x:Key=\"g\" Figures=\"M 0,0 H 9 V 1 H 0 Z\"/>"
                 "</ResourceDictionary></FixedPage.Resources><Canvas RenderTransform=\"{StaticResource m}\">"
                 "<Canvas\n  Clip=\"M 0,0 L 1,1\"><Canvas.RenderTransform><MatrixTransform Matrix=\"1.333333333,0,0,1.333333333,0,0\"/>"
                 "</Canvas.RenderTransform>" + glyphs + "<Glyphs OriginX=\"1\" OriginY=\"2\" FontRenderingEmSize=\"9\" "
                 "Fill=\"{StaticResource b}\" UnicodeString=\"{}a&apos;b\"><Glyphs.Fill><SolidColorBrush Color=\"#FF00FF00\"/>"
                 "</Glyphs.Fill></Glyphs><Path Fill=\"{StaticResource b}\" Data=\"{StaticResource g}\"/>"
                 "<Path Stroke=\"#FF000000\" Data=\"M10,10l5,0 0,5-5,0zC 1,1 2,2 3,3 S 4,4 5,5 Q 1 1 2 2 T 3 3 A 1,1 0 0 1 4,4 h 1 v 1 H 0 V 0\"/>"
                 "<Path><Path.Stroke><SolidColorBrush Color=\"#FF112233\"/></Path.Stroke><Path.Data><PathGeometry>"
                 "<PathGeometry.Transform><MatrixTransform Matrix=\"1 0 0 1 5 5\"/></PathGeometry.Transform>"
                 "<PathFigure StartPoint=\"0,0\" IsClosed=\"true\"><PolyLineSegment Points=\"1,1 2,0\" IsStroked=\"false\"/>"
                 "<ArcSegment Point=\"3,3\"/><PolyBezierSegment Points=\"1,1 2,2 4,4\"/><PolyQuadraticBezierSegment Points=\"1,1 5,5\"/>"
                 "</PathFigure></PathGeometry></Path.Data></Path></Canvas></Canvas>"),
    };
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> ZipSeeds() {
    std::vector<std::string> seeds;
    for (const char* folder : {"go", "tools"})
        for (const auto& file : fs::directory_iterator(fs::path(XQ_ZIP_TEST_DATA) / folder))
            if (file.path().extension() == ".zip") seeds.push_back(ReadFile(file.path()));

    TTestZipArchive archive;
    archive.Entries = {DeflatedEntry("a.txt", "hello hello hello"), StoredEntry("b/c.txt", "stored")};
    archive.Entries[0].Descriptor = TTestDescriptor::WithSignature;
    archive.Entries[1].Zip64 = true;
    archive.Entries[1].CentralExtra = UnicodeNameField(u"b/\u00E9.txt");
    archive.Comment = "comment";
    seeds.push_back(TestZipBytes(archive));

    archive.Entries[0].Descriptor = TTestDescriptor::WithoutSignature;
    archive.Entries[1].LocalExtra = AesField(3, 8);
    archive.Zip64Records = true;
    archive.Prefix = std::string(64, 'S');
    seeds.push_back(TestZipBytes(archive));

    archive.CentralDirectory = false;
    seeds.push_back(TestZipBytes(archive));

    TTestZipArchive lying;
    lying.Entries = {StoredEntry("x", "0123456789"), DeflatedEntry("y", std::string(300, 'y'))};
    lying.Entries[0].UnpackedSize = 0xFFFFFFF0u;
    lying.Entries[1].Data = DeflatedZeros(1);
    lying.Entries[1].CentralExtra = ExtraField(0x0001, Le64(1));
    lying.Trailer = "junk";
    seeds.push_back(TestZipBytes(lying));
    seeds.push_back(PackageBytes(OneDocument({PageWith("")}), 8));
    return seeds;
}

std::vector<std::string> ConvertSeeds() {
    const std::vector<std::string> pages = PageSeeds();
    std::vector<std::string> seeds = {PackageBytes(OneDocument(pages), 0), PackageBytes(OneDocument({pages[0]}), 8)};

    TTestZipArchive shortName = PackageArchive(OneDocument({pages[0], pages[2]}), 0);
    shortName.Entries[kSequenceEntry].Name = "FixedDocSeq.fdseq";
    shortName.Entries.push_back(StoredEntry("Resources/Images/1.png", "\x89PNG"));
    seeds.push_back(TestZipBytes(shortName));

    TTestZipArchive twoDocuments = PackageArchive(OneDocument({pages[1]}), 0);
    twoDocuments.Entries[kSequenceEntry].Content = SequencePart({"/Documents/1/FixedDocument.fdoc", "/Documents/1/FixedDocument.fdoc"});
    twoDocuments.CentralDirectory = false;
    seeds.push_back(TestZipBytes(twoDocuments));

    // As office suites write them: no declarations, UTF-16 parts, the sequence
    // under another name that only the package relationships give.
    std::vector<TPart> office = OneDocument({pages.back()});
    office[kSequenceEntry].Name = "FixedDocSeq2.fdseq";
    office[kRelsEntry].Content = "<Relationships><Relationship Type=\"http://schemas.openxps.org/oxps/v1.0/fixedrepresentation\" "
                                 "Target=\"FixedDocSeq2.fdseq\"/></Relationships>";
    for (const size_t entry : {kSequenceEntry, kDocumentEntry}) {
        std::string& content = office[entry].Content;
        content.erase(0, content.find("?>") + 2);
    }
    std::string utf16 = "\xFF\xFE";
    for (const char ch : office[kFirstPageEntry].Content) utf16 += std::string{ch, '\0'};
    office[kFirstPageEntry].Content = utf16;
    seeds.push_back(PackageBytes(office, 8) + '\x01');
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds xml|zip|page|convert FOLDER\n");
        return 2;
    }
    const std::string target = argv[1];
    std::vector<std::string> seeds;
    if (target == "xml") seeds = XmlSeeds();
    else if (target == "zip") seeds = ZipSeeds();
    else if (target == "page") seeds = PageSeeds();
    else if (target == "convert") seeds = ConvertSeeds();
    else {
        std::fprintf(stderr, "fuzz_seeds: no target %s\n", argv[1]);
        return 2;
    }
    const fs::path folder = argv[2];
    fs::create_directories(folder);
    for (size_t i = 0; i < seeds.size(); ++i)
        std::ofstream(folder / ("seed-" + std::to_string(i)), std::ios::binary) << seeds[i];
    return 0;
}
