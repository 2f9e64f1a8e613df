#pragma once

// A file written beside the one it is to replace and put in its place in one
// step. While it is written it has no name, where the file system makes such
// files: a program stopped in any way, killed even, leaves nothing behind. A
// new file is then linked into place at once; one that replaces another is
// named first, for the moment until the rename, by a name of its own that the
// next save of the same file takes over. Where no unnamed files are made, the
// file is written under a unique name. Either name is held before the file
// takes it and removed when the program ends on a signal (see
// RemovePendingFilesOnSignals). Nothing planted under a name others can guess
// is ever written through.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class TFileStream;

class TReplacementFile {
public:
    // tempName is the name the file takes on its way into place (where no
    // unnamed files are made, it starts the unique name). Raises
    // EFCreateError naming it when no file can be made there.
    explicit TReplacementFile(const std::u16string& tempName);
    // A file not put in place goes.
    ~TReplacementFile();
    TReplacementFile(const TReplacementFile&) = delete;
    TReplacementFile& operator=(const TReplacementFile&) = delete;

    // What to write; gone once the file is put in place.
    TFileStream& Stream();
    // Renames the file to path, replacing what is there in one step; false
    // when that fails, and the file keeps a name to be moved elsewhere.
    bool MoveTo(const std::u16string& path);

private:
    std::unique_ptr<TFileStream> CreateHeldUnique();
    void TakeTempName();
    void CopyToUniqueName();
    // Takes name as the file's, to be removed should the program end now.
    void SetName(std::u16string name);
    void ForgetName();
    bool Placed();

    std::u16string tempName_;
    std::unique_ptr<TFileStream> file_;
    std::u16string name_;  // empty while the file has none, and once it is in place
    size_t pendingSlot_;
};

// SIGTERM, SIGINT, SIGHUP and SIGPIPE then remove the file of every
// TReplacementFile named but not yet in place, and end the program as they
// would have; a signal the program ignores stays ignored.
void RemovePendingFilesOnSignals();

// Writes the file at path without ever writing through what is there: write
// fills a replacement file beside it (one that fails, or whose program stops,
// leaves nothing), which is then put in place of path in one step, so what
// was at path stays whole until it is replaced at once. A written file that
// cannot be put in place stays as path + ".tmp" and EFCreateError names path;
// once a write succeeds, such a copy of an earlier one is stale and goes.
void WriteFileInPlace(const std::u16string& path, const std::function<void(TFileStream& file)>& write);
