#include "ChildRun.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <stdexcept>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

rusage Usage() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage;
}

long Microseconds(const timeval& time) { return time.tv_sec * 1'000'000L + time.tv_usec; }

long CpuMicroseconds(const rusage& usage) { return Microseconds(usage.ru_utime) + Microseconds(usage.ru_stime); }

// Texts travel through the pipe with their length in front.
void WriteAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n <= 0) ::_exit(3);
        bytes += n;
        size -= static_cast<size_t>(n);
    }
}

void SendText(int fd, const std::string& text) {
    const uint64_t size = text.size();
    WriteAll(fd, &size, sizeof size);
    WriteAll(fd, text.data(), text.size());
}

bool ReadAll(int fd, void* data, size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReceiveText(int fd, std::string& text) {
    uint64_t size = 0;
    if (!ReadAll(fd, &size, sizeof size)) return false;
    text.resize(size);
    return ReadAll(fd, text.data(), size);
}

[[noreturn]] void RunChild(int fd, const std::function<void(IXpsLog&)>& run) {
    ::alarm(kChildTimeGuardSeconds);
    const rusage start = Usage();
    TXpsLineLog log;
    std::string errorClass, errorMessage;
    try {
        run(log);
    } catch (const Exception& e) {
        errorClass = Utf16ToUtf8(e.ClassName());
        errorMessage = Utf16ToUtf8(e.Message());
    } catch (const std::bad_alloc&) {
        errorClass = "std::bad_alloc";
    }
    const rusage end = Usage();
    SendText(fd, std::to_string(end.ru_maxrss - start.ru_maxrss));
    SendText(fd, std::to_string(CpuMicroseconds(end) - CpuMicroseconds(start)));
    SendText(fd, errorClass);
    SendText(fd, errorMessage);
    for (const std::u16string& line : log.Lines) SendText(fd, Utf16ToUtf8(line));
    ::close(fd);
    ::_exit(0);
}

}  // namespace

TChildOutcome RunInChild(const std::function<void(IXpsLog&)>& run) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    // What the test freed before must not count as the child's own.
    ::malloc_trim(0);
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(fds[0]);
        RunChild(fds[1], run);
    }
    ::close(fds[1]);
    TChildOutcome outcome;
    std::string growth, cpu;
    if (ReceiveText(fds[0], growth) && ReceiveText(fds[0], cpu) && ReceiveText(fds[0], outcome.ErrorClass) &&
        ReceiveText(fds[0], outcome.ErrorMessage)) {
        outcome.GrowthKiB = std::stol(growth);
        outcome.CpuSeconds = double(std::stol(cpu)) / 1e6;
        for (std::string line; ReceiveText(fds[0], line);) outcome.Log.push_back(line);
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.Exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    outcome.Signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return outcome;
}

// Takes the error that ended a run over to the child's report.
class ERunEnded : public Exception {
public:
    explicit ERunEnded(const TErrorDescription& error) : Exception(error.ClassName, error.Message) {}
};

TChildOutcome ConvertInChild(const std::u16string& packagePath, const TXpsLimits& limits,
                             const std::function<void(TXpsConverter&)>& configure) {
    return RunInChild([&](IXpsLog& log) {
        TFileStream source(packagePath, fmOpenRead | fmShareExclusive);
        const TFixedFontName font(u"Liberation Sans");
        TXpsConverter converter(log, font);
        converter.Limits = limits;
        if (configure) configure(converter);
        const TXpsRunOutcome outcome = converter.Convert(&source);
        if (outcome.Error) throw ERunEnded(*outcome.Error);
    });
}

bool MemoryFiguresAreMeaningful() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#else
    return true;
#endif
#else
    return true;
#endif
}
