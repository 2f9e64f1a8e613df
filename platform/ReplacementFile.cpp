#include "platform/ReplacementFile.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Streams.h"

namespace {

// The names a signal handler removes, copied where it can read them without
// allocating. A name is taken out of its slot before it is freed; once the
// handler has begun, names are no longer freed at all (the program is ending),
// so the handler never reads freed memory.
constexpr size_t kPendingSlots = 1024;
std::array<std::atomic<char*>, kPendingSlots> pendingNames{};
std::atomic<bool> removingPending{false};
static_assert(std::atomic<char*>::is_always_lock_free);

// The slot holding the name, or kPendingSlots when all are taken: that file
// then outlives a signal, as before.
size_t HoldPendingName(const std::u16string& name) {
    char* copy = ::strdup(NativePath(name).c_str());
    if (copy == nullptr) return kPendingSlots;
    for (size_t slot = 0; slot < kPendingSlots; ++slot) {
        char* empty = nullptr;
        if (pendingNames[slot].compare_exchange_strong(empty, copy)) return slot;
    }
    std::free(copy);
    return kPendingSlots;
}

void ReleasePendingName(size_t slot) {
    if (slot == kPendingSlots) return;
    char* name = pendingNames[slot].exchange(nullptr);
    if (!removingPending) std::free(name);
}

// Safe in a signal handler.
void RemovePendingFiles() {
    removingPending = true;
    for (std::atomic<char*>& slot : pendingNames)
        if (const char* name = slot.load()) ::unlink(name);
}

extern "C" void RemovePendingAndResignal(int signal) {
    const int savedErrno = errno;
    RemovePendingFiles();
    // The handler was reset on entry; the signal, blocked until the handler returns, then ends the program.
    ::raise(signal);
    errno = savedErrno;
}

}  // namespace

TReplacementFile::TReplacementFile(const std::u16string& tempName) : tempName_(tempName), pendingSlot_(kPendingSlots) {
    file_ = TFileStream::CreateUnnamed(tempName);
    if (!file_) file_ = CreateHeldUnique();
}

TReplacementFile::~TReplacementFile() {
    if (!name_.empty()) DeleteFile(name_);
    ForgetName();
}

TFileStream& TReplacementFile::Stream() { return *file_; }

bool TReplacementFile::MoveTo(const std::u16string& path) {
    if (name_.empty() && file_->Link(path) == TFileStream::TLinkResult::Linked) return Placed();
    if (name_.empty()) TakeTempName();
    return RenameFile(name_, path) && Placed();
}

// What stands under the temporary name is stale or planted: it goes, and the
// file takes the name itself, so nothing is written through it. The name is
// held before it is taken: a signal in between removes no more than the
// next line would.
void TReplacementFile::TakeTempName() {
    constexpr int kAttempts = 10;
    SetName(tempName_);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const TFileStream::TLinkResult result = file_->Link(tempName_);
        if (result == TFileStream::TLinkResult::Linked) return;
        if (result == TFileStream::TLinkResult::Impossible) break;
        DeleteFile(tempName_);
    }
    ForgetName();
    CopyToUniqueName();
}

// Each name tried is held before the file is made under it, so that a signal
// in between still removes the file. A name found taken is let go at the next
// try: only a signal in that moment removes what another made under it.
std::unique_ptr<TFileStream> TReplacementFile::CreateHeldUnique() {
    try {
        return TFileStream::CreateUnique(tempName_, [this](const std::u16string& name) { SetName(name); });
    } catch (...) {
        ForgetName();
        throw;
    }
}

// Where an unnamed file cannot be named, its bytes go into a named one.
void TReplacementFile::CopyToUniqueName() {
    std::unique_ptr<TFileStream> named = CreateHeldUnique();
    named->CopyFrom(*file_, 0);
    file_ = std::move(named);
}

void TReplacementFile::SetName(std::u16string name) {
    ReleasePendingName(pendingSlot_);
    name_ = std::move(name);
    pendingSlot_ = HoldPendingName(name_);
}

void TReplacementFile::ForgetName() {
    ReleasePendingName(pendingSlot_);
    pendingSlot_ = kPendingSlots;
    name_.clear();
}

bool TReplacementFile::Placed() {
    ForgetName();
    file_.reset();
    return true;
}

void RemovePendingFilesOnSignals() {
    struct sigaction action {};
    action.sa_handler = RemovePendingAndResignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) {
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

void WriteFileInPlace(const std::u16string& path, const std::function<void(TFileStream& file)>& write) {
    const std::u16string keptPath = path + u".tmp";
    TReplacementFile file(keptPath);
    write(file.Stream());
    if (file.MoveTo(path)) {
        DeleteFile(keptPath);
        return;
    }
    const int error = errno;
    file.MoveTo(keptPath);
    throw EFCreateError(path, error);
}
