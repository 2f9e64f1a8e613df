#pragma once

#include <string>
#include <vector>

#include "app/xpsmain.h"
#include "platform/CodePages.h"
#include "tests/support/TestTempFolder.h"

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
