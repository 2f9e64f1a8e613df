#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Paths are UTF-16 in memory and bytes, mostly UTF-8, on the file system;
// "/" is the only delimiter. Bytes that are not UTF-8 keep their escapes
// (NameBytesToUtf16), so that every name the system gives can be opened again.
std::string NativePath(const std::u16string& path);
std::u16string PathFromNative(std::string_view native);

// The absolute, normalised form of a path, as error messages show it.
std::u16string ExpandFileName(const std::u16string& path);

enum class TFileKind { Regular, Directory, Other };

// What tells one file from another while both exist: the device and inode a
// name leads to, through links, and the kind of file found there.
struct TFileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    TFileKind Kind = TFileKind::Other;
    auto operator<=>(const TFileIdentity&) const = default;
};

// Nothing when the name leads to no file.
std::optional<TFileIdentity> FileIdentity(const std::u16string& path);

bool FileExists(const std::u16string& path);
bool DirectoryExists(const std::u16string& path);
bool DeleteFile(const std::u16string& path);
bool RenameFile(const std::u16string& from, const std::u16string& to);

// $TMPDIR when it names a directory, else /tmp; always ends in "/".
std::u16string TempDirectory();

// Creates an empty file with a unique name in dir (which ends in "/") and
// returns its path; raises EFCreateError when none can be made.
std::u16string CreateUniqueFile(const std::u16string& dir, const std::u16string& prefix);
