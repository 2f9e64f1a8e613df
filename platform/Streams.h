#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

enum class TSeekOrigin { Beginning, Current, End };

// A readable, writable, seekable sequence of bytes with a position and a size.
class TStream {
public:
    virtual ~TStream() = default;

    // Read and Write move as many bytes as they can and return that count.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size();
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }

    // A fixed-size record: a short read raises EReadError, a short write EWriteError.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);

    // Copies count bytes from source's position on; count 0 copies all of source from its start.
    int64_t CopyFrom(TStream& source, int64_t count);

protected:
    // Raises the EWriteError of a write that fell short.
    [[noreturn]] virtual void RaiseWriteError();
};

// A growable block of memory. Growing beyond what memory allows raises EStreamError.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return size_; }
    void SetSize(int64_t newSize) override;

    void Clear();
    uint8_t* Memory() { return memory_; }
    const uint8_t* Memory() const { return memory_; }

private:
    void Reserve(int64_t capacity);

    uint8_t* memory_ = nullptr;
    int64_t size_ = 0;
    int64_t capacity_ = 0;
    int64_t position_ = 0;
};

// A stream that hands each write on as it comes, to wherever a subclass sends
// it: nothing can be read back, and its position and size are the count of
// bytes written so far, which neither seeking nor resizing can change
// (EStreamError).
class TPassOnStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) final;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;

protected:
    // Takes all count bytes, or raises.
    virtual void PassOn(const void* buffer, int64_t count) = 0;

private:
    int64_t written_ = 0;
};

// How a file stream opens its file. Linux has no mandatory sharing modes, so
// the sharing part is kept with advisory locks that this program's own file
// streams honour: a stream that denies writing keeps writers out, an
// exclusive one keeps every other opener out.
enum TFileMode : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,  // create or truncate, open for reading and writing
};

class TFileStream : public TStream {
public:
    // Raises EFOpenError, or EFCreateError for fmCreate, when the file cannot be had.
    // Opening never waits for a writer: a stream opened for reading only takes
    // regular files, so a FIFO or a device given as a document is refused.
    TFileStream(const std::u16string& fileName, unsigned mode);
    // A new file named prefix and six random letters or digits, open for
    // reading and writing. It is made exclusively and never through a link, so
    // nothing planted under a name others can guess is written through.
    // Raises EFCreateError naming the prefix when no such file can be made.
    // holdName, when given, learns each name before a file is made under it.
    static std::unique_ptr<TFileStream> CreateUnique(
        const std::u16string& prefix, const std::function<void(const std::u16string& name)>& holdName = nullptr);
    // A new file in the folder of name that has no name at all, open for
    // reading and writing and called name in messages: it vanishes when
    // closed unless Link names it. Null where the file system makes no such
    // files; EFCreateError naming name when the folder takes no file.
    static std::unique_ptr<TFileStream> CreateUnnamed(const std::u16string& name);
    enum class TLinkResult { Linked, NameExists, Impossible };
    // Gives an unnamed file the name, which must not exist; Impossible when
    // the system lets no unnamed file be named (without /proc, say).
    TLinkResult Link(const std::u16string& name);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;

    // The name the file was opened with, as given.
    const std::u16string& FileName() const { return fileName_; }

protected:
    // Names the file and the reason the system gave.
    [[noreturn]] void RaiseWriteError() override;

private:
    // A descriptor the stream takes over.
    struct TAdoptedFile {
        int Fd;
    };
    TFileStream(std::u16string fileName, TAdoptedFile file) : fileName_(std::move(fileName)), fd_(file.Fd) {}

    std::u16string fileName_;
    int fd_ = -1;
    int writeError_ = 0;  // the errno of the last write that fell short
};
