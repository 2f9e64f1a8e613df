#include <cstring>
#include <filesystem>
#include <string_view>

#include "app/xpsmain.h"
#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Streams.h"
#include "template/crtqlt.h"
#include "xml/qlxXML.h"

namespace {

// The reader's legacy mode, which the text chain depends on, is chosen by a
// version 1.0 declaration without "standalone".
constexpr std::string_view kPageDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
constexpr char16_t kDefaultFontName[] = u"Arial";
constexpr uint8_t kTextCharset = 204;

bool IsXmlBlank(uint8_t byte) { return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n'; }

// Where the page's markup begins once its own declaration (with the byte-order
// mark and blanks in front of it) is dropped; 0 when it has none. A second
// declaration would otherwise open an element that swallows the page.
size_t SkipOwnDeclaration(const uint8_t* bytes, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    size_t i = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (i < size && IsXmlBlank(bytes[i])) ++i;
    const std::string_view rest = text.substr(i);
    if (!rest.starts_with("<?xml") || rest.size() < 6 || !(IsXmlBlank(rest[5]) || rest[5] == '?')) return 0;
    const size_t end = rest.find("?>");
    return end == std::string_view::npos ? 0 : i + end + 2;
}

void BuildPageBuffer(TMemoryStream& pageStream, TMemoryStream& buffer) {
    const auto size = static_cast<size_t>(pageStream.Size());
    const size_t skip = SkipOwnDeclaration(pageStream.Memory(), size);
    buffer.SetSize(static_cast<int64_t>(kPageDeclaration.size() + size - skip));
    std::memcpy(buffer.Memory(), kPageDeclaration.data(), kPageDeclaration.size());
    if (size > skip) std::memcpy(buffer.Memory() + kPageDeclaration.size(), pageStream.Memory() + skip, size - skip);
    buffer.SetPosition(0);
}

// The text of UnicodeString and Data: the attribute's raw bytes, which the
// legacy-mode reader kept one character per byte, decoded as UTF-8 and then
// unescaped once.
std::u16string ReadTextAttr(const TqlxXMLItem& item, std::u16string_view name) {
    return XMLUnescape(Utf8ToUtf16(Utf16ToAnsi(item.GetRawAttr(name))));
}

long double ReadNumberAttr(const TqlxXMLItem& item, std::u16string_view name) {
    return XpsStrToFloat(item.GetAttr(name));
}

// Every object costs the template a few hundred bytes in memory and on disk.
void CheckObjectRoom(const TqlxRepDoc& repDoc, int32_t maxObjects) {
    if (repDoc.MemoCount() + repDoc.LineCount() >= maxObjects)
        throw EXpsLimitError(u"The page makes more than " + IntToStr(maxObjects) + u" objects");
}

struct TPathPoint {
    long double X = 0;
    long double Y = 0;
};

std::u16string_view FirstToken(std::u16string_view data) { return data.substr(0, data.find(u' ')); }

void DropFirstToken(std::u16string_view& data) {
    const size_t blank = data.find(u' ');
    data = blank == std::u16string_view::npos ? std::u16string_view() : data.substr(blank + 1);
}

void DropChars(std::u16string_view& data, size_t count) { data.remove_prefix(std::min(count, data.size())); }

// A token without "," has an empty x part, which fails as a number.
TPathPoint ReadPoint(std::u16string_view token) {
    const size_t comma = token.find(u',');
    const bool hasComma = comma != std::u16string_view::npos;
    const std::u16string_view x = hasComma ? token.substr(0, comma) : std::u16string_view();
    const std::u16string_view y = hasComma ? token.substr(comma + 1) : token;
    return {XpsStrToFloat(x), XpsStrToFloat(y)};
}

// Abbreviated path data after its fill-rule prefix: "M" starts a figure, "L"
// a point list that runs to its end or to a closing "z". Anything else at
// the start of a pass (curves, arcs, relative commands) ends the path there,
// keeping the lines made so far.
void AddPathLines(TqlxRepDoc& repDoc, int32_t color, std::u16string_view data, int32_t maxObjects) {
    DropChars(data, 3);
    TPathPoint start, current;
    while (!data.empty()) {
        if (data.front() != u'M' && data.front() != u'L') return;
        if (data.front() == u'M') {
            DropChars(data, 2);
            start = ReadPoint(FirstToken(data));
            current = start;
            DropFirstToken(data);
        }
        if (data.empty() || data.front() != u'L') continue;
        DropChars(data, 2);
        bool closed = false;
        while (!data.empty() && !closed) {
            const std::u16string_view token = FirstToken(data);
            closed = token.starts_with(u'z');
            const TPathPoint next = closed ? start : ReadPoint(token);
            CheckObjectRoom(repDoc, maxObjects);
            repDoc.AddLine(color, current.X, next.X, current.Y, next.Y);
            current = next;
            DropFirstToken(data);
        }
    }
}

// The extension of an image part name: from its last "." unless a "\\" or ":"
// comes after it; the "/" of a part name does not end it.
std::u16string ImageExtension(const std::u16string& name) {
    const size_t last = name.find_last_of(u".\\:");
    return last != std::u16string::npos && name[last] == u'.' ? name.substr(last) : std::u16string();
}

}  // namespace

bool TXpsConverter::ConvertFixedPage(TMemoryStream& pageStream, const std::u16string& outName,
                                     const std::u16string& pageName) {
    try {
        TranslatePage(pageStream, outName, pageName);
        return true;
    } catch (...) {
        const TErrorDescription error = DescribeCurrentError();
        LogPageError(error.ClassName, error.Message);
        return false;
    }
}

void TXpsConverter::TranslatePage(TMemoryStream& pageStream, const std::u16string& outName,
                                  const std::u16string& pageName) {
    pageTemplateBytes_ = 0;
    TMemoryStream buffer;
    BuildPageBuffer(pageStream, buffer);
    TqlxXMLDocument page;
    page.LoadFromStream(buffer, false);
    const TqlxXMLItem& root = *page.Root();
    if (root.Name != u"FixedPage") return;
    const long double width = ReadNumberAttr(root, u"Width");
    const long double height = ReadNumberAttr(root, u"Height");
    TqlxRepDoc repDoc(outName);
    TFont font;
    repDoc.AddPage(width, height);
    const int32_t count = root.ChildCount();
    for (int32_t i = 0; i < count; ++i) {
        const TqlxXMLItem& child = *root.Child(i);
        if (child.Name == u"Glyphs") ConvertGlyphs(repDoc, font, child);
        else if (child.Name == u"Path") {
            ConvertPath(repDoc, child);
            ReportImageBrushes(child, pageName);
        }
    }
    repDoc.SaveTemplate();
    std::error_code unknown;
    const uintmax_t written = std::filesystem::file_size(NativePath(repDoc.FileName()), unknown);
    pageTemplateBytes_ = unknown ? 0 : static_cast<int64_t>(written);
}

void TXpsConverter::ConvertGlyphs(TqlxRepDoc& repDoc, TFont& font, const TqlxXMLItem& glyphs) {
    const long double x = ReadNumberAttr(glyphs, u"OriginX");
    const long double y = ReadNumberAttr(glyphs, u"OriginY");
    const int32_t color = XpsColorToColor(glyphs.GetAttr(u"Fill"));
    const std::u16string unicodeText = ReadTextAttr(glyphs, u"UnicodeString");
    // Measuring keeps every line of a text twice: a run of millions of line
    // breaks would take gigabytes.
    if (unicodeText.size() > size_t(Limits.TextCharacters))
        throw EXpsLimitError(u"The text run is longer than " + IntToStr(Limits.TextCharacters) + u" characters");
    const std::string text = Utf16ToUtf8(unicodeText);
    const std::u16string chosenName = fontNames_.FontName();
    font.Charset = kTextCharset;
    font.Color = color;
    font.Height = -RoundEmSize(ReadNumberAttr(glyphs, u"FontRenderingEmSize"));
    font.Name = chosenName.empty() ? kDefaultFontName : chosenName;
    font.Style = 0;
    CheckObjectRoom(repDoc, Limits.PageObjects);
    repDoc.AddMemo(font, text, x, y);
}

void TXpsConverter::ConvertPath(TqlxRepDoc& repDoc, const TqlxXMLItem& path) {
    const std::u16string data = ReadTextAttr(path, u"Data");
    if (path.HasAttr(u"Fill")) {
        // A filled outline draws no lines, but a malformed colour still fails the page.
        XpsColorToColor(path.GetAttr(u"Fill"));
    } else {
        const int32_t stroke = XpsColorToColor(path.GetAttr(u"Stroke"));
        if (data.find(u"F1") != std::u16string::npos) AddPathLines(repDoc, stroke, data, Limits.PageObjects);
    }
}

// Images put nothing into the template: each image brush of the path's fill
// is named in the log and read through, so a missing or damaged image still
// fails its page.
void TXpsConverter::ReportImageBrushes(const TqlxXMLItem& path, const std::u16string& pageName) {
    ForEachChildNamed(path, u"Path.Fill", [&](const TqlxXMLItem& fill, int32_t) {
        ForEachChildNamed(fill, u"ImageBrush", [&](const TqlxXMLItem& brush, int32_t) {
            const std::u16string name = PartNameFromSource(brush.GetAttr(u"ImageSource"), pageName);
            log_.Append(ImageExtension(name) + u": " + name);
            ExtractPart(name, nullptr);
        });
    });
}

void TXpsConverter::LogPageError(const std::u16string& className, const std::u16string& message) {
    log_.Append(u"-Convert error!!!");
    log_.Append(u"-ClassName: " + className);
    log_.Append(u"-Message: " + message);
}
