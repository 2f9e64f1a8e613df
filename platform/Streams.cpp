#include "platform/Streams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

int64_t TStream::Size() {
    const int64_t position = Position();
    const int64_t size = Seek(0, TSeekOrigin::End);
    Seek(position, TSeekOrigin::Beginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count) RaiseWriteError();
}

void TStream::RaiseWriteError() { throw EWriteError(); }

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr int64_t kBlock = 64 * 1024;
    std::vector<uint8_t> block(static_cast<size_t>(std::min(count, kBlock)));
    int64_t remaining = count;
    while (remaining > 0) {
        const int64_t n = std::min(remaining, kBlock);
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        remaining -= n;
    }
    return count;
}

TMemoryStream::~TMemoryStream() { std::free(memory_); }

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
    const int64_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0 || position_ < 0) return 0;
    const int64_t end = position_ + count;
    if (end > size_) {
        Reserve(end);
        if (position_ > size_) std::memset(memory_ + size_, 0, static_cast<size_t>(position_ - size_));
        size_ = end;
    }
    std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
        case TSeekOrigin::Beginning: position_ = offset; break;
        case TSeekOrigin::Current: position_ += offset; break;
        case TSeekOrigin::End: position_ = size_ + offset; break;
    }
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) newSize = 0;
    Reserve(newSize);
    size_ = newSize;
    if (position_ > size_) position_ = size_;
}

void TMemoryStream::Clear() {
    std::free(memory_);
    memory_ = nullptr;
    size_ = capacity_ = position_ = 0;
}

namespace {

// A stream of many megabytes is about to be filled: its new pages are faulted
// in with one call instead of one trap each, which on a virtual machine costs
// more than unpacking the data into them.
void PrefaultGrowth(uint8_t* memory, int64_t oldCapacity, int64_t newCapacity) {
    constexpr int64_t kLargeBlock = int64_t(16) << 20;
    const auto pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    if (newCapacity < kLargeBlock) return;
    const auto start = reinterpret_cast<uintptr_t>(memory + oldCapacity);
    const uintptr_t begin = (start + pageSize - 1) & ~(pageSize - 1);
    const uintptr_t end = reinterpret_cast<uintptr_t>(memory + newCapacity) & ~(pageSize - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

}  // namespace

void TMemoryStream::Reserve(int64_t capacity) {
    if (capacity <= capacity_) return;
    // Geometric growth keeps a stream written in small pieces linear in time.
    const int64_t grown = std::max(capacity, capacity_ + capacity_ / 2);
    const int64_t rounded = (grown + 8191) & ~int64_t(8191);
    void* memory = std::realloc(memory_, static_cast<size_t>(rounded));
    if (memory == nullptr) throw EStreamError();
    memory_ = static_cast<uint8_t*>(memory);
    PrefaultGrowth(memory_, capacity_, rounded);
    capacity_ = rounded;
}

int64_t TPassOnStream::Read(void*, int64_t) { return 0; }

int64_t TPassOnStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    PassOn(buffer, count);
    written_ += count;
    return count;
}

int64_t TPassOnStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (offset != (origin == TSeekOrigin::Beginning ? written_ : 0)) throw EStreamError();
    return written_;
}

void TPassOnStream::SetSize(int64_t newSize) {
    if (newSize != written_) throw EStreamError();
}

namespace {

int OpenFlags(unsigned mode) {
    if (mode == fmCreate) return O_RDWR | O_CREAT;
    switch (mode & 0x3) {
        case fmOpenWrite: return O_WRONLY;
        case fmOpenReadWrite: return O_RDWR;
        default: return O_RDONLY;
    }
}

// The advisory lock a mode takes: shared for readers that allow other readers,
// exclusive for writers and exclusive readers. Returns 0 when none is taken.
int LockKind(unsigned mode) {
    if (mode == fmCreate || (mode & 0x3) != fmOpenRead) return LOCK_EX;
    if (mode & fmShareExclusive) return LOCK_EX;
    if (mode & fmShareDenyWrite) return LOCK_SH;
    return 0;
}

[[noreturn]] void RaiseOpenFailure(const std::u16string& fileName, unsigned mode, int error) {
    if (mode == fmCreate) throw EFCreateError(fileName, error);
    throw EFOpenError(fileName, error);
}

// The file an open gave is closed when the constructor raises.
class TOpenedFile {
public:
    explicit TOpenedFile(int fd) : fd_(fd) {}
    ~TOpenedFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    TOpenedFile(const TOpenedFile&) = delete;
    TOpenedFile& operator=(const TOpenedFile&) = delete;

    int Fd() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Reading opens a directory without complaint, and it would look empty. A
// FIFO or a device read as a document would wait for a writer or never end.
void CheckFileType(const TOpenedFile& file, const std::u16string& fileName, unsigned mode) {
    struct stat info;
    if (::fstat(file.Fd(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) RaiseOpenFailure(fileName, mode, EISDIR);
    if (!S_ISREG(info.st_mode) && mode != fmCreate && (mode & 0x3) == fmOpenRead)
        throw EFOpenError(fileName, u"Not a regular file");
}

// Only opening must not wait: a device let through for writing is written as usual.
void ClearNonBlocking(const TOpenedFile& file) {
    const int flags = ::fcntl(file.Fd(), F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK) != 0) ::fcntl(file.Fd(), F_SETFL, flags & ~O_NONBLOCK);
}

// Letters and digits of a unique name; unpredictable, so that nobody can
// plant every name the next save will try.
std::string RandomNameSuffix() {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix(6, ' ');
    for (char& ch : suffix) ch = kAlphabet[pick(generator)];
    return suffix;
}

}  // namespace

TFileStream::TFileStream(const std::u16string& fileName, unsigned mode) : fileName_(fileName) {
    TOpenedFile file(::open(NativePath(fileName).c_str(), OpenFlags(mode) | O_CLOEXEC | O_NONBLOCK, 0666));
    if (file.Fd() < 0) RaiseOpenFailure(fileName, mode, errno);
    CheckFileType(file, fileName, mode);
    ClearNonBlocking(file);
    const int lock = LockKind(mode);
    // Only a lock held elsewhere refuses the open; file systems without locks don't.
    if (lock != 0 && ::flock(file.Fd(), lock | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        RaiseOpenFailure(fileName, mode, EBUSY);
    if (mode == fmCreate && ::ftruncate(file.Fd(), 0) != 0) RaiseOpenFailure(fileName, mode, errno);
    fd_ = file.Release();
}

std::unique_ptr<TFileStream> TFileStream::CreateUnique(
    const std::u16string& prefix, const std::function<void(const std::u16string& name)>& holdName) {
    constexpr int kAttempts = 100;
    const std::string nativePrefix = NativePath(prefix);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string suffix = RandomNameSuffix();
        std::u16string name = prefix + AsciiToUtf16(suffix);
        if (holdName) holdName(name);
        const int fd = ::open((nativePrefix + suffix).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) return std::unique_ptr<TFileStream>(new TFileStream(std::move(name), TAdoptedFile{fd}));
        if (errno != EEXIST) throw EFCreateError(prefix, errno);
    }
    throw EFCreateError(prefix, EEXIST);
}

std::unique_ptr<TFileStream> TFileStream::CreateUnnamed(const std::u16string& name) {
    const std::string nativeName = NativePath(name);
    const size_t slash = nativeName.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : nativeName.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) return std::unique_ptr<TFileStream>(new TFileStream(name, TAdoptedFile{fd}));
    // Kernels and file systems without unnamed files refuse them in one of these ways.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return nullptr;
    throw EFCreateError(name, errno);
}

TFileStream::TLinkResult TFileStream::Link(const std::u16string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, NativePath(name).c_str(), AT_SYMLINK_FOLLOW) == 0) {
        fileName_ = name;
        return TLinkResult::Linked;
    }
    return errno == EEXIST ? TLinkResult::NameExists : TLinkResult::Impossible;
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {

// Moves up to count bytes with one system call after another, calling again
// where a signal cut one short; stops at the end of the file or an error.
// transfer(done) moves bytes from the offset done on, as read and write do.
template <typename TTransfer>
int64_t TransferAll(int64_t count, TTransfer transfer) {
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = transfer(done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

}  // namespace

int64_t TFileStream::Read(void* buffer, int64_t count) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    return TransferAll(count, [&](int64_t done) { return ::read(fd_, bytes + done, static_cast<size_t>(count - done)); });
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    errno = 0;
    const int64_t written =
        TransferAll(count, [&](int64_t done) { return ::write(fd_, bytes + done, static_cast<size_t>(count - done)); });
    if (written < count) writeError_ = errno != 0 ? errno : EIO;
    return written;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
    return ::lseek(fd_, offset, whence);
}

void TFileStream::RaiseWriteError() { throw EWriteError(fileName_, writeError_); }

void TFileStream::SetSize(int64_t newSize) {
    if (::ftruncate(fd_, newSize) != 0) throw EWriteError(fileName_, errno);
    if (Position() > newSize) SetPosition(newSize);
}
