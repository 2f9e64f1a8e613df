#pragma once

#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tests/support/TestTempFolder.h"

// Points the current user's settings store at a fresh folder while it lives.
class TTestConfigHome {
public:
    TTestConfigHome() {
        if (const char* previous = std::getenv("XDG_CONFIG_HOME")) previous_ = previous;
        ::setenv("XDG_CONFIG_HOME", folder_.Dir().c_str(), 1);
    }
    ~TTestConfigHome() {
        if (previous_) ::setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }
    TTestConfigHome(const TTestConfigHome&) = delete;
    TTestConfigHome& operator=(const TTestConfigHome&) = delete;

    const std::string& Dir() const { return folder_.Dir(); }
    std::string StoreFile() const { return folder_.Dir() + "/QuillReports/registry.ini"; }

private:
    TTempFolder folder_;
    std::optional<std::string> previous_;
};

// Counts the saves of the files in a folder while it lives: a save puts a new
// file in place, linked under a name that was free or renamed over the old
// file; a name with ".tmp" in it is one on the way. Both halves of each rename
// are watched: the kernel merges equal events that follow each other unread.
class TSaveCounter {
public:
    explicit TSaveCounter(const std::string& folder) : watch_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        std::filesystem::create_directories(folder);
        if (watch_ >= 0 && inotify_add_watch(watch_, folder.c_str(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO) >= 0) return;
        if (watch_ >= 0) ::close(watch_);
        throw std::runtime_error("cannot watch " + folder);
    }
    ~TSaveCounter() { ::close(watch_); }
    TSaveCounter(const TSaveCounter&) = delete;
    TSaveCounter& operator=(const TSaveCounter&) = delete;

    int Count() {
        alignas(inotify_event) char events[4096];
        for (ssize_t size; (size = ::read(watch_, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                const bool placed = (event->mask & IN_MOVED_TO) != 0 ||
                                    ((event->mask & IN_CREATE) != 0 && std::string_view(event->name).find(".tmp") == std::string_view::npos);
                if (placed) ++count_;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return count_;
    }

private:
    int watch_;
    int count_ = 0;
};
