#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/NumberFormat.h"

// An element's attribute text, built up attribute by attribute: each as
// name="value", one blank between them. Values are written as given, so text
// must be escaped before.
class TAttrText {
public:
    // Reals are written in the process-wide number format.
    TAttrText() : TAttrText(FormatSettings()) {}
    explicit TAttrText(const TFormatSettings& settings) : settings_(settings) {}

    TAttrText& Add(std::u16string_view name, std::u16string_view value);
    TAttrText& Real(std::u16string_view name, long double value);
    TAttrText& Integer(std::u16string_view name, int64_t value);
    const std::u16string& Text() const { return text_; }

private:
    // The separating blank, the name and the opening quotation mark.
    void Open(std::u16string_view name);

    TFormatSettings settings_;
    std::u16string text_;
};
