#include "cli/xps2qlt.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <sstream>
#include <thread>

#include "cli/xps2qltBatch.h"
#include "convert/XpsConverter.h"
#include "platform/CodePages.h"
#include "platform/Streams.h"
#include "template/TemplatePicture.h"

namespace {

constexpr char kProgramName[] = "xps2qlt";

constexpr char kHelpText[] =
    "Usage: xps2qlt [--font FAMILY] [--nested] [--document-fonts] [--text-lines] [--preview]\n"
    "               [-j [N]] FILE...\n"
    "       xps2qlt --preview-only TEMPLATE...\n"
    "       xps2qlt --list FILE\n"
    "       xps2qlt --extract NAME FILE\n"
    "\n"
    "Converts every page of every fixed document of each XPS package FILE into a\n"
    "QuillReport template written next to FILE, named after its stem with the\n"
    "document and page numbers (Invoice.xps gives Invoice_1_1.qlt, ...), and\n"
    "prints the conversion log. With several FILEs each log follows a line with\n"
    "the file name and a colon; a FILE whose templates would have the names of an\n"
    "earlier one's is not converted.\n"
    "\n"
    "  --font FAMILY   font family of the text objects (default: Arial)\n"
    "  --nested        convert the content inside canvases too, under its\n"
    "                  transforms, with rules drawn as thin filled rectangles,\n"
    "                  as office suites and print drivers write them\n"
    "  --document-fonts  give each text object the family, weight and slant of\n"
    "                  the font its run embeds, measured in that font\n"
    "  --text-lines    make one text object of the runs that continue one\n"
    "                  another on a line (same baseline, height, colour and\n"
    "                  font), as office suites cut lines into words\n"
    "  --preview       draw a picture of each template written beside it, as SVG\n"
    "                  of the same name (Invoice_1_1.svg)\n"
    "  --preview-only  draw the pictures of the templates TEMPLATE, written before\n"
    "  -j [N]          convert up to N packages at once (without N: as many as\n"
    "                  there are processors); each log is printed whole, in the\n"
    "                  order of the FILEs\n"
    "  --list          print the package's entries in directory order: the name,\n"
    "                  a tab and the uncompressed size\n"
    "  --extract NAME  write the bytes of the entry NAME to standard output\n"
    "  --help          print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "Names are printed with control characters and backslashes escaped (\\n, \\t,\n"
    "\\r, \\xNN, \\\\), as are bytes that are not UTF-8 (\\xNN).\n"
    "\n"
    "Exit status: 0 when every page was converted, 1 when a file could not be\n"
    "read or converted or a page failed, 2 for wrong arguments.\n";

// More threads than this would only compete for memory.
constexpr unsigned kMaxJobs = 1024;

// One line on standard error, redrawn in place at most ten times a second;
// erased before other output and at the end, so that output starts on a
// clean line.
class TStatusLine {
public:
    TStatusLine(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    ~TStatusLine() { Erase(); }
    TStatusLine(const TStatusLine&) = delete;
    TStatusLine& operator=(const TStatusLine&) = delete;

    // Whether Show would draw now; an erased line is drawn again at once.
    bool Due() const { return enabled_ && (!shown_ || Clock::now() - lastDrawn_ >= std::chrono::milliseconds(100)); }

    void Show(const std::string& text) {
        if (!Due()) return;
        err_ << "\r" << text << "\x1B[K" << std::flush;
        shown_ = true;
        lastDrawn_ = Clock::now();
    }

    void Erase() {
        if (shown_) err_ << "\r\x1B[K" << std::flush;
        shown_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;

    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point lastDrawn_;
};

// The pages of one package, and how fast they go.
class TPageProgress {
public:
    TPageProgress(std::ostream& err, const std::u16string& file, bool enabled)
        : line_(err, enabled), file_(PrintableName(file)), start_(std::chrono::steady_clock::now()) {}

    void PageDone(int32_t document, int32_t page) {
        ++pages_;
        if (!line_.Due()) return;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        const double seconds = std::max(elapsed.count(), 0.001);
        line_.Show(file_ + ": document " + std::to_string(document) + ", page " + std::to_string(page) + ", " +
                   std::to_string(static_cast<int64_t>(pages_ / seconds)) + " pages/s");
    }

private:
    TStatusLine line_;
    std::string file_;
    int64_t pages_ = 0;
    std::chrono::steady_clock::time_point start_;
};

void WriteLine(std::ostream& out, std::u16string_view line) { out << PrintableText(line) << '\n'; }

// Standard error, with the line begun for a message about file.
std::ostream& AboutFile(std::ostream& err, const std::u16string& file) {
    return err << kProgramName << ": " << PrintableName(file) << ": ";
}

// Messages name files and entries, so they print as names do.
void ReportError(std::ostream& out, std::ostream& err, const std::u16string& file, const std::u16string& message) {
    out.flush();
    AboutFile(err, file) << PrintableName(ErrorBoxText(message)) << '\n';
}

void ReportUsageError(std::ostream& err, const std::u16string& message) {
    err << kProgramName << ": " << PrintableName(message) << "\nTry 'xps2qlt --help' for more information.\n";
}

// The source stays locked for others while it is converted, as the window holds it.
TFileStream OpenSource(const std::u16string& file) { return TFileStream(file, fmOpenRead | fmShareExclusive); }

// One line for the package, however many runs used the fonts.
void ReportFallenBackFonts(std::ostream& err, const std::u16string& file, const std::vector<std::u16string>& parts) {
    if (parts.empty()) return;
    AboutFile(err, file) << "the chosen family stands in for the font" << (parts.size() > 1 ? "s " : " ");
    for (size_t i = 0; i < parts.size(); ++i) err << (i > 0 ? ", " : "") << PrintableName(parts[i]);
    err << '\n';
}

// A picture that cannot be written costs only itself: the run goes on, and
// the first such error is kept to be told after the log.
void DrawPicture(const TXpsPageResult& page, std::optional<std::u16string>& firstError) {
    if (page.Status != TXpsPageStatus::Written) return;
    try {
        WritePictureBeside(page.TemplateName);
    } catch (...) {
        if (!firstError) firstError = DescribeCurrentError().Message;
    }
}

int ConvertFile(const std::u16string& file, const TXps2QltOptions& options, std::ostream& out, std::ostream& err,
                bool showProgress) {
    TFileStream source = OpenSource(file);
    if (options.Files.size() > 1) out << PrintableName(file) << ":\n";
    TXpsLineLog log;
    const TFixedFontName font(options.FontName);
    TXpsConverter converter(log, font);
    converter.Nested = options.Nested;
    converter.DocumentFonts = options.DocumentFonts;
    converter.TextLines = options.TextLines;
    TXpsRunOutcome outcome;
    std::optional<std::u16string> pictureError;
    std::vector<TXpsPageResult> notPages;
    {
        TPageProgress progress(err, file, showProgress);
        converter.OnPageDone = [&](const TXpsPageResult& page) {
            progress.PageDone(page.Document, page.Page);
            if (options.Preview) DrawPicture(page, pictureError);
            if (page.Status == TXpsPageStatus::NotAPage) notPages.push_back(page);
        };
        outcome = converter.Convert(&source);
    }
    for (const std::u16string& line : log.Lines) WriteLine(out, line);
    // The log says " - Ok" of such a page, as it always did; only here is it told.
    for (const TXpsPageResult& page : notPages)
        AboutFile(err, file) << "no template was written for page " << page.Page << " of document " << page.Document
                             << ": its part is no fixed page\n";
    if (outcome.Error) ReportError(out, err, file, outcome.Error->Message);
    if (pictureError) ReportError(out, err, file, *pictureError);
    if (outcome.NestedModeWouldHelp())
        AboutFile(err, file) << "content inside canvases was skipped; --nested converts it\n";
    ReportFallenBackFonts(err, file, outcome.FontPartsFallenBack);
    return outcome.Complete() && !pictureError ? kExitSuccess : kExitFailure;
}

void ListEntries(const std::u16string& file, std::ostream& out) {
    TFileStream source = OpenSource(file);
    TXpsPackage package;
    package.Open(source);
    for (const TXpsPackageEntry& entry : package.Entries())
        out << PrintableName(entry.Name) << '\t' << entry.UnpackedSize << '\n';
}

void ExtractEntry(const std::u16string& file, const std::u16string& name, std::ostream& out) {
    TFileStream source = OpenSource(file);
    TXpsPackage package;
    package.Open(source);
    package.ExtractEntry(name, out);
}

int ProcessFile(const std::u16string& file, const TXps2QltOptions& options, std::ostream& out, std::ostream& err,
                bool showProgress) {
    try {
        if (options.Mode == TXps2QltMode::Pictures) out << PrintableName(WritePictureBeside(file)) << '\n';
        else if (options.Mode == TXps2QltMode::List) ListEntries(file, out);
        else if (options.Mode == TXps2QltMode::Extract) ExtractEntry(file, options.EntryName, out);
        else return ConvertFile(file, options, out, err, showProgress);
        return kExitSuccess;
    } catch (...) {
        ReportError(out, err, file, DescribeCurrentError().Message);
        return kExitFailure;
    }
}

void ReportCollision(std::ostream& err, const std::vector<std::u16string>& files, const TTemplateCollision& collision) {
    err << kProgramName << ": " << PrintableName(collision.FirstTemplate) << " would be written by both "
        << PrintableName(files[collision.Earlier]) << " and " << PrintableName(files[collision.Later]) << '\n';
}

int ConvertInTurn(const TXps2QltOptions& options, const TBatchPlan& plan, std::ostream& out, std::ostream& err,
                  bool showProgress) {
    std::vector<bool> refused(options.Files.size());
    for (const TTemplateCollision& collision : plan.Collisions) refused[collision.Later] = true;
    int status = plan.Collisions.empty() ? kExitSuccess : kExitFailure;
    for (size_t i = 0; i < options.Files.size(); ++i)
        if (!refused[i]) status = std::max(status, ProcessFile(options.Files[i], options, out, err, showProgress));
    return status;
}

int ConvertAtOnce(const TXps2QltOptions& options, const TBatchPlan& plan, std::ostream& out, std::ostream& err,
                  bool showProgress) {
    const size_t total = options.Files.size();
    const size_t refused = plan.Collisions.size();
    int status = refused == 0 ? kExitSuccess : kExitFailure;
    TStatusLine line(err, showProgress);
    const auto showProgressLine = [&](size_t done, size_t failed) {
        line.Show(std::to_string(refused + done) + "/" + std::to_string(total) + " packages, " +
                  std::to_string(refused + failed) + " failed");
    };
    showProgressLine(0, 0);
    RunBatch(
        plan.Chains, *options.Jobs,
        [&](size_t package) {
            std::ostringstream packageOut, packageErr;
            const int packageStatus = ProcessFile(options.Files[package], options, packageOut, packageErr, false);
            return TPackageReport{packageOut.str(), packageErr.str(), packageStatus};
        },
        [&](size_t, const TPackageReport& report) {
            line.Erase();
            out << report.Out << std::flush;
            err << report.Err;
            status = std::max(status, report.Status);
        },
        showProgressLine);
    return status;
}

int RunOnFiles(const TXps2QltOptions& options, std::ostream& out, std::ostream& err, bool showProgress) {
    if (options.Mode == TXps2QltMode::Pictures) return ConvertInTurn(options, {}, out, err, false);
    if (options.Mode != TXps2QltMode::Convert) return ProcessFile(options.Files[0], options, out, err, showProgress);
    const TBatchPlan plan = PlanBatch(options.Files);
    for (const TTemplateCollision& collision : plan.Collisions) ReportCollision(err, options.Files, collision);
    return options.Jobs ? ConvertAtOnce(options, plan, out, err, showProgress)
                        : ConvertInTurn(options, plan, out, err, showProgress);
}

std::u16string OptionValue(const std::vector<std::u16string>& args, size_t& i, std::u16string_view what) {
    if (i + 1 >= args.size()) throw EUsageError(u"option '" + args[i] + u"' needs " + std::u16string(what));
    return args[++i];
}

unsigned ProcessorCount() { return std::max(std::thread::hardware_concurrency(), 1U); }

bool IsNumber(std::u16string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t ch) { return ch >= u'0' && ch <= u'9'; });
}

// -j takes its number joined to it or as the next argument; without one, the
// number of processors.
unsigned JobCount(const std::vector<std::u16string>& args, size_t& i) {
    std::u16string number = args[i].substr(2);
    if (number.empty() && i + 1 < args.size() && IsNumber(args[i + 1])) number = args[++i];
    if (number.empty()) return ProcessorCount();
    const std::string digits = Utf16ToUtf8(number);
    unsigned jobs = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), jobs);
    if (!IsNumber(number) || error != std::errc() || jobs < 1 || jobs > kMaxJobs)
        throw EUsageError(u"option '-j' takes a number of packages from 1 to " + AsciiToUtf16(std::to_string(kMaxJobs)) +
                          u", not '" + number + u"'");
    return jobs;
}

void SetMode(TXps2QltOptions& options, TXps2QltMode mode) {
    if (options.Mode != TXps2QltMode::Convert) {
        const bool pictures = options.Mode == TXps2QltMode::Pictures || mode == TXps2QltMode::Pictures;
        throw EUsageError(pictures ? u"--preview-only cannot be combined with --list or --extract"
                                   : u"--list and --extract cannot be combined");
    }
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
        } else if (arg == u"--document-fonts") {
            options.DocumentFonts = true;
        } else if (arg == u"--text-lines") {
            options.TextLines = true;
        } else if (arg == u"--preview") {
            options.Preview = true;
        } else if (arg == u"--preview-only") {
            SetMode(options, TXps2QltMode::Pictures);
        } else if (arg.starts_with(u"-j")) {
            options.Jobs = JobCount(args, i);
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
    if (options.Mode != TXps2QltMode::Convert && options.Mode != TXps2QltMode::Pictures && options.Files.size() > 1)
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
