#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/xpsmain.h"
#include "platform/CodePages.h"

// A log that keeps its lines for the test to read.
class TTestLog : public IXpsLog {
public:
    std::vector<std::u16string> Lines;

    void Clear() override { Lines.clear(); }
    int32_t Append(const std::u16string& line) override {
        Lines.push_back(line);
        return static_cast<int32_t>(Lines.size() - 1);
    }
    void Replace(int32_t index, const std::u16string& line) override { Lines.at(static_cast<size_t>(index)) = line; }
};

class TFixedFontName : public IFontNameSource {
public:
    std::u16string Name;
    std::u16string FontName() const override { return Name; }
};

// A fresh folder under /tmp, removed with the fixture.
class TTempFolder {
public:
    TTempFolder() {
        char pattern[] = "/tmp/xps_app_testXXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TTempFolder() { std::filesystem::remove_all(path_); }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    std::u16string Path(const std::string& name) const { return Utf8ToUtf16((path_ / name).string()); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};
