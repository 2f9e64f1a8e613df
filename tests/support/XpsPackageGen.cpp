// xpsgen: writes the sample invoice package or a benchmark package.
//
//   xpsgen invoice [--font-file TTF] OUT.xps
//   xpsgen bench [--pages N] [--glyphs N] [--paths N] [--font-file TTF] OUT.xps
//
// invoice  the two-page sample of examples/invoice.xps
// bench    one document of N pages (1000), each with --glyphs text runs (300)
//          and --paths stroked outlines (100), every part deflated
// --font-file  the TrueType font embedded as the text runs' font resource
//              (Liberation Sans from fonts-liberation2 by default)

#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "tests/support/TestXpsPackage.h"

namespace {

constexpr char kUsage[] =
    "usage: xpsgen invoice [--font-file TTF] OUT.xps\n"
    "       xpsgen bench [--pages N] [--glyphs N] [--paths N] [--font-file TTF] OUT.xps\n";

struct TGenOptions {
    std::string Kind;
    std::string FontFile = std::string(kDefaultFontFile);
    std::string OutFile;
    TBenchPackageOptions Bench;
};

int32_t ReadCount(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < 0 || value > 1000000) throw std::invalid_argument(text);
    return static_cast<int32_t>(value);
}

bool ParseOptions(int argc, char** argv, TGenOptions& options) {
    if (argc < 3) return false;
    options.Kind = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--font-file" && hasValue) options.FontFile = argv[++i];
        else if (arg == "--pages" && hasValue) options.Bench.Pages = ReadCount(argv[++i]);
        else if (arg == "--glyphs" && hasValue) options.Bench.GlyphsPerPage = ReadCount(argv[++i]);
        else if (arg == "--paths" && hasValue) options.Bench.PathsPerPage = ReadCount(argv[++i]);
        else if (i + 1 == argc && !arg.starts_with("--")) options.OutFile = arg;
        else return false;
    }
    return (options.Kind == "invoice" || options.Kind == "bench") && !options.OutFile.empty();
}

}  // namespace

int main(int argc, char** argv) {
    TGenOptions options;
    try {
        if (!ParseOptions(argc, argv, options)) {
            std::cerr << kUsage;
            return 2;
        }
        const TEmbeddedFont font(options.FontFile);
        const TTestZipArchive archive = options.Kind == "invoice" ? InvoicePackage(font) : BenchPackage(font, options.Bench);
        const std::string bytes = TestZipBytes(archive);
        std::ofstream out(options.OutFile, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::cerr << "xpsgen: cannot write " << options.OutFile << "\n";
            return 1;
        }
    } catch (const std::invalid_argument& e) {
        std::cerr << "xpsgen: not a count: " << e.what() << "\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "xpsgen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
