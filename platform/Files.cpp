#include "platform/Files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/CodePages.h"
#include "platform/Exceptions.h"

std::string NativePath(const std::u16string& path) { return Utf16ToNameBytes(path); }

std::u16string PathFromNative(std::string_view native) { return NameBytesToUtf16(native); }

std::u16string ExpandFileName(const std::u16string& path) {
    std::error_code error;
    const std::filesystem::path native(NativePath(path));
    const std::filesystem::path absolute = std::filesystem::absolute(native, error);
    if (error) return path;
    return PathFromNative(absolute.lexically_normal().string());
}

std::optional<TFileIdentity> FileIdentity(const std::u16string& path) {
    struct stat info;
    if (::stat(NativePath(path).c_str(), &info) != 0) return std::nullopt;
    const TFileKind kind = S_ISREG(info.st_mode) ? TFileKind::Regular
                           : S_ISDIR(info.st_mode) ? TFileKind::Directory
                                                   : TFileKind::Other;
    return TFileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), kind};
}

bool FileExists(const std::u16string& path) {
    const std::optional<TFileIdentity> file = FileIdentity(path);
    return file && file->Kind != TFileKind::Directory;
}

bool DirectoryExists(const std::u16string& path) {
    const std::optional<TFileIdentity> file = FileIdentity(path);
    return file && file->Kind == TFileKind::Directory;
}

bool DeleteFile(const std::u16string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

bool RenameFile(const std::u16string& from, const std::u16string& to) {
    return std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

std::u16string TempDirectory() {
    std::u16string dir = u"/tmp/";
    if (const char* env = std::getenv("TMPDIR"); env != nullptr && *env != '\0') {
        const std::u16string candidate = PathFromNative(env);
        if (DirectoryExists(candidate)) dir = candidate;
    }
    if (dir.back() != u'/') dir.push_back(u'/');
    return dir;
}

std::u16string CreateUniqueFile(const std::u16string& dir, const std::u16string& prefix) {
    std::string pattern = NativePath(dir + prefix) + "XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw EFCreateError(dir + prefix, errno);
    ::close(fd);
    return PathFromNative(pattern);
}
