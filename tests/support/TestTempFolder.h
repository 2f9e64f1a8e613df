#pragma once

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/CodePages.h"

// A fresh folder under /tmp for one test, removed with it.
class TTempFolder {
public:
    TTempFolder() {
        char pattern[] = "/tmp/xq_testXXXXXX";
        dir_ = ::mkdtemp(pattern);
    }
    ~TTempFolder() { std::filesystem::remove_all(dir_); }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::string& Dir() const { return dir_; }
    std::string NativePath(const std::string& name) const { return dir_ + "/" + name; }
    std::u16string Path(const std::string& name) const { return Utf8ToUtf16(NativePath(name)); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(NativePath(name)); }

    std::string ReadFile(const std::string& name) const {
        std::ifstream file(NativePath(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string dir_;
};
