#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The log the conversion writes to: the window's memo, the command line's
// standard output, or a test's list of lines.
class IXpsLog {
public:
    virtual ~IXpsLog() = default;
    virtual void Clear() = 0;
    // Returns the index of the new line, for a later Replace.
    virtual int32_t Append(const std::u16string& line) = 0;
    virtual void Replace(int32_t index, const std::u16string& line) = 0;
};

// A log kept as lines in memory, for the command line and the tests.
class TXpsLineLog : public IXpsLog {
public:
    std::vector<std::u16string> Lines;

    void Clear() override { Lines.clear(); }
    int32_t Append(const std::u16string& line) override {
        Lines.push_back(line);
        return static_cast<int32_t>(Lines.size() - 1);
    }
    void Replace(int32_t index, const std::u16string& line) override { Lines.at(static_cast<size_t>(index)) = line; }
};
