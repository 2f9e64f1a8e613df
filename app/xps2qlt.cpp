#include "app/xps2qlt.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>
#include <ostream>

#include "app/xpsmain.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"

namespace {

constexpr char kProgramName[] = "xps2qlt";

constexpr char kHelpText[] =
    "Usage: xps2qlt [--font FAMILY] FILE...\n"
    "       xps2qlt --list FILE\n"
    "       xps2qlt --extract NAME FILE\n"
    "\n"
    "Converts every page of every fixed document of each XPS package FILE into a\n"
    "QuillReport template written next to FILE, named after its stem with the\n"
    "document and page numbers (Invoice.xps gives Invoice_1_1.qlt, ...), and\n"
    "prints the conversion log. With several FILEs each log follows a line with\n"
    "the file name and a colon.\n"
    "\n"
    "  --font FAMILY   font family of the text objects (default: Arial)\n"
    "  --nested        convert the content inside canvases too, under its\n"
    "                  transforms, with rules drawn as thin filled rectangles,\n"
    "                  as office suites and print drivers write them\n"
    "  --list          print the package's entries in directory order: the name,\n"
    "                  a tab and the uncompressed size\n"
    "  --extract NAME  write the bytes of the entry NAME to standard output\n"
    "  --help          print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "Exit status: 0 when every page was converted, 1 when a file could not be\n"
    "read or converted or a page failed, 2 for wrong arguments.\n";

// One line on standard error, redrawn in place as pages are done, at most ten
// times a second; erased when the run ends, so the log starts on a clean line.
class TProgressLine {
public:
    TProgressLine(std::ostream& err, const std::u16string& file, bool enabled)
        : err_(err), file_(PrintableText(file)), enabled_(enabled), start_(Clock::now()) {}
    ~TProgressLine() {
        if (shown_) err_ << "\r\x1B[K" << std::flush;
    }
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    void PageDone(int32_t document, int32_t page) {
        ++pages_;
        const Clock::time_point now = Clock::now();
        if (!enabled_ || (shown_ && now - lastDrawn_ < std::chrono::milliseconds(100))) return;
        const double seconds = std::max(std::chrono::duration<double>(now - start_).count(), 0.001);
        err_ << "\r" << file_ << ": document " << document << ", page " << page << ", "
             << static_cast<int64_t>(pages_ / seconds) << " pages/s\x1B[K" << std::flush;
        shown_ = true;
        lastDrawn_ = now;
    }

private:
    using Clock = std::chrono::steady_clock;

    std::ostream& err_;
    std::string file_;
    bool enabled_;
    bool shown_ = false;
    int64_t pages_ = 0;
    Clock::time_point start_;
    Clock::time_point lastDrawn_;
};

void WriteLine(std::ostream& out, std::u16string_view line) { out << PrintableText(line) << '\n'; }

void ReportError(std::ostream& out, std::ostream& err, const std::u16string& file, const std::u16string& message) {
    out.flush();
    err << kProgramName << ": " << PrintableText(file) << ": " << PrintableText(ErrorBoxText(message)) << '\n';
}

void ReportUsageError(std::ostream& err, const std::u16string& message) {
    err << kProgramName << ": " << Utf16ToUtf8(message) << "\nTry 'xps2qlt --help' for more information.\n";
}

// The source stays locked for others while it is converted, as the window holds it.
TFileStream OpenSource(const std::u16string& file) { return TFileStream(file, fmOpenRead | fmShareExclusive); }

int ConvertFile(const std::u16string& file, const TXps2QltOptions& options, std::ostream& out, std::ostream& err,
                bool showProgress) {
    TFileStream source = OpenSource(file);
    if (options.Files.size() > 1) WriteLine(out, file + u":");
    TXpsLineLog log;
    const TFixedFontName font(options.FontName);
    TXpsConverter converter(log, font);
    converter.Nested = options.Nested;
    TXpsRunOutcome outcome;
    {
        TProgressLine progress(err, file, showProgress);
        converter.OnPageDone = [&progress](int32_t document, int32_t page) { progress.PageDone(document, page); };
        outcome = converter.Convert(&source);
    }
    for (const std::u16string& line : log.Lines) WriteLine(out, line);
    if (outcome.Error) ReportError(out, err, file, outcome.Error->Message);
    if (outcome.NestedContentSkipped)
        err << kProgramName << ": " << Utf16ToUtf8(file) << ": content inside canvases was skipped; --nested converts it\n";
    return outcome.Complete() ? kExitSuccess : kExitFailure;
}

void ListEntries(const std::u16string& file, std::ostream& out) {
    TFileStream source = OpenSource(file);
    TXpsPackage package;
    package.Open(source);
    for (const TXpsPackageEntry& entry : package.Entries())
        out << Utf16ToUtf8(entry.Name) << '\t' << entry.UnpackedSize << '\n';
}

void ExtractEntry(const std::u16string& file, const std::u16string& name, std::ostream& out) {
    TFileStream source = OpenSource(file);
    TXpsPackage package;
    package.Open(source);
    TMemoryStream bytes;
    package.ExtractEntry(name, bytes);
    out.write(reinterpret_cast<const char*>(bytes.Memory()), static_cast<std::streamsize>(bytes.Size()));
}

int RunOnFiles(const TXps2QltOptions& options, std::ostream& out, std::ostream& err, bool showProgress) {
    int status = kExitSuccess;
    for (const std::u16string& file : options.Files) {
        try {
            if (options.Mode == TXps2QltMode::List) ListEntries(file, out);
            else if (options.Mode == TXps2QltMode::Extract) ExtractEntry(file, options.EntryName, out);
            else status = std::max(status, ConvertFile(file, options, out, err, showProgress));
        } catch (...) {
            ReportError(out, err, file, DescribeCurrentError().Message);
            status = kExitFailure;
        }
    }
    return status;
}

std::u16string OptionValue(const std::vector<std::u16string>& args, size_t& i, std::u16string_view what) {
    if (i + 1 >= args.size()) throw EUsageError(u"option '" + args[i] + u"' needs " + std::u16string(what));
    return args[++i];
}

void SetMode(TXps2QltOptions& options, TXps2QltMode mode) {
    if (options.Mode != TXps2QltMode::Convert) throw EUsageError(u"--list and --extract cannot be combined");
    options.Mode = mode;
}

}  // namespace

EUsageError::EUsageError(std::u16string message) : Exception(u"EUsageError", std::move(message)) {}

TXps2QltOptions ParseXps2QltArgs(const std::vector<std::u16string>& args) {
    TXps2QltOptions options;
    bool filesOnly = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (filesOnly || arg.empty() || arg[0] != u'-' || arg == u"-") {
            options.Files.push_back(arg);
        } else if (arg == u"--") {
            filesOnly = true;
        } else if (arg == u"--help" || arg == u"-h") {
            options.Mode = TXps2QltMode::Help;
            return options;
        } else if (arg == u"--version") {
            options.Mode = TXps2QltMode::Version;
            return options;
        } else if (arg == u"--font") {
            options.FontName = OptionValue(args, i, u"a font family");
        } else if (arg == u"--nested") {
            options.Nested = true;
        } else if (arg == u"--list") {
            SetMode(options, TXps2QltMode::List);
        } else if (arg == u"--extract") {
            SetMode(options, TXps2QltMode::Extract);
            options.EntryName = OptionValue(args, i, u"an entry name");
        } else {
            throw EUsageError(u"unknown option '" + arg + u"'");
        }
    }
    if (options.Files.empty()) throw EUsageError(u"no FILE given");
    if (options.Mode != TXps2QltMode::Convert && options.Files.size() > 1)
        throw EUsageError(u"--list and --extract take one FILE");
    return options;
}


int RunXps2Qlt(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err, bool showProgress) {
    TXps2QltOptions options;
    try {
        options = ParseXps2QltArgs(args);
    } catch (const EUsageError& e) {
        ReportUsageError(err, e.Message());
        return kExitUsage;
    }
    int status = kExitSuccess;
    if (options.Mode == TXps2QltMode::Help) out << kHelpText;
    else if (options.Mode == TXps2QltMode::Version) out << kProgramName << ' ' << XQ_VERSION << '\n';
    else status = RunOnFiles(options, out, err, showProgress);
    if (!out.flush()) {
        err << kProgramName << ": cannot write to standard output\n";
        return kExitFailure;
    }
    return status;
}
