#include "xml/qlxXMLAttrText.h"

#include "platform/Conversions.h"

namespace {

// Room for the attributes of a template's text object without growing.
constexpr size_t kTypicalLength = 320;

}  // namespace

TAttrText& TAttrText::Add(std::u16string_view name, std::u16string_view value) {
    Open(name);
    text_ += value;
    text_ += u'"';
    return *this;
}

TAttrText& TAttrText::Real(std::u16string_view name, long double value) {
    Open(name);
    AppendFloat(text_, value, settings_);
    text_ += u'"';
    return *this;
}

TAttrText& TAttrText::Integer(std::u16string_view name, int64_t value) { return Add(name, IntToStr(value)); }

void TAttrText::Open(std::u16string_view name) {
    if (text_.empty()) text_.reserve(kTypicalLength);
    else text_ += u' ';
    text_ += name;
    text_ += u"=\"";
}
