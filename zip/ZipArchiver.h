#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Streams.h"
#include "zip/ZipArchiverDirManager.h"
#include "zip/ZipArchiverDirectory.h"
#include "zip/ZipArchiverErrors.h"

enum TZFSpanningMode { smNone, smSpanning, smSplitting };
enum TZFStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };

struct TZFArchiverOptions {
    bool OEMFileNames = false;
    bool Recurse = true;
    TZFStorePathMode StorePath = spRelativePath;
};

// DOS attribute sets for searches: 495 passes everything but folders, 10431 everything.
constexpr int32_t kZFAttrFilesOnly = 495;
constexpr int32_t kZFAttrAll = 10431;

// Where a search stands; it lives in the caller's record.
struct TInternalSearchRec {
    static constexpr size_t kMaskCapacity = 260;

    int32_t Position = 0;
    std::array<char16_t, kMaskCapacity> Mask{};  // zero-terminated
    int32_t Attr = 0;
    std::u16string ExcludeMask;
};

// The facts of the entry a search found.
struct TZFArchiveItem {
    std::u16string ItemName;
    std::u16string ItemPath;  // with "\" separators, ending in "\"; empty at the root
    int64_t ItemPacked = 0;
    int64_t ItemUnpacked = 0;
    double ItemRatio = 0;
    bool ItemEncrypted = false;
    uint16_t ItemDate = 0;
    uint16_t ItemTime = 0;
    uint32_t ItemCrc = 0;
    uint32_t ItemAttr = 0;
    std::string ItemComment;
    TInternalSearchRec Search;
};

// DOS mask matching: "*" and "?" wildcards, ASCII letters without regard to
// case, "*.*" for any name and a trailing "." for names without an extension.
bool MatchMask(std::u16string_view name, std::u16string_view mask);
bool WildMatch(std::u16string_view text, std::u16string_view pattern);

enum TZFProgressPhase { ppStart, ppProcess, ppEnd };

class TZFBaseArchiver;
// Progress in percent; setting cancel ends the operation without an error.
using TZFOverallProgressEvent =
    std::function<void(TZFBaseArchiver& sender, double progress, TZFProgressPhase phase, bool& cancel)>;
using TZFFileProgressEvent = std::function<void(TZFBaseArchiver& sender, const std::u16string& fileName,
                                                double progress, TZFProgressPhase phase, bool& cancel)>;
using TZFNotifyEvent = std::function<void(TZFBaseArchiver& sender)>;

// The read path of the ZIP component: an archive held in a caller's stream is
// opened, searched and extracted from. The stream stays the caller's.
class TZFBaseArchiver {
public:
    TZFBaseArchiver() = default;
    virtual ~TZFBaseArchiver();
    TZFBaseArchiver(const TZFBaseArchiver&) = delete;
    TZFBaseArchiver& operator=(const TZFBaseArchiver&) = delete;

    // The name put in front of error messages.
    std::u16string Name;
    TZFSpanningMode SpanningMode = smNone;
    TZFArchiverOptions Options;
    bool ExtractCorruptedFiles = false;
    // Encrypted entries are not decrypted, so no password is ever used.
    std::u16string Password;

    TZFNotifyEvent AfterOpen;
    TZFOverallProgressEvent OnOverallProgress;
    TZFFileProgressEvent OnFileProgress;

    // Only reading is offered: create must be false.
    void OpenStream(TStream& stream, bool create);
    void CloseStream();
    bool FindFirstEntry(const std::u16string& mask, TZFArchiveItem& item, int32_t attributes,
                        const std::u16string& excludeMask);
    // Writes the named entry's bytes to destination at its position; a
    // destination that takes fewer than it is given raises EWriteError.
    void ExtractEntryToStream(const std::u16string& name, TStream& destination);

    bool IsOpen() const { return isOpen_; }
    // The open archive's records and directory, or none.
    TZFDirManager* DirManager() const { return dirManager_.get(); }

private:
    bool FindEntryInDirectory(TZFArchiveItem& item);
    void FillItem(const TDirItem& entry, TZFArchiveItem& item) const;
    int32_t LocateEntry(const std::u16string& name);
    void ExtractEntry(const TDirItem& entry, TStream& destination);
    void NotifyProgress(const std::u16string& fileName, double progress, TZFProgressPhase phase, bool& cancel);

    bool isOpen_ = false;
    TStream* archiveStream_ = nullptr;
    std::unique_ptr<TZFDirManager> dirManager_;
};

class TZipArchiver : public TZFBaseArchiver {};
