#include "platform/Registry.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/CodePages.h"
#include "platform/Files.h"
#include "platform/Streams.h"

ERegistryException::ERegistryException(std::u16string message)
    : Exception(u"ERegistryException", std::move(message)) {}

namespace {

constexpr std::u16string_view IntegerPrefix = u"dword:";

ERegistryException SetDataError(const std::u16string& name) {
    return ERegistryException(u"Failed to set data for '" + name + u"'");
}

ERegistryException GetDataError(const std::u16string& name) {
    return ERegistryException(u"Failed to get data for '" + name + u"'");
}

ERegistryException DataTypeError(const std::u16string& name) {
    return ERegistryException(u"Invalid data type for '" + name + u"'");
}

bool SameName(std::u16string_view a, std::u16string_view b) { return UpperCase(a) == UpperCase(b); }

bool IsBlank(char16_t ch) { return ch == u' ' || ch == u'\t' || ch == u'\r'; }

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::u16string NormaliseKeyPath(std::u16string_view path) {
    while (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
    while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    return std::u16string(path);
}

std::u16string Quote(std::u16string_view text) {
    std::u16string quoted = u"\"";
    for (const char16_t ch : text) {
        switch (ch) {
            case u'"': quoted += u"\\\""; break;
            case u'\\': quoted += u"\\\\"; break;
            case u'\r': quoted += u"\\r"; break;
            case u'\n': quoted += u"\\n"; break;
            default: quoted += ch;
        }
    }
    return quoted + u"\"";
}

// Reads the quoted text that starts at text[pos] and moves pos past its
// closing quote; nothing when the quote is not closed.
std::optional<std::u16string> Unquote(std::u16string_view text, size_t& pos) {
    std::u16string result;
    for (size_t i = pos + 1; i < text.size(); ++i) {
        char16_t ch = text[i];
        if (ch == u'"') {
            pos = i + 1;
            return result;
        }
        if (ch == u'\\' && i + 1 < text.size()) {
            ch = text[++i];
            if (ch == u'r') ch = u'\r';
            if (ch == u'n') ch = u'\n';
        }
        result += ch;
    }
    return std::nullopt;
}

std::optional<int32_t> ParseHexInteger(std::u16string_view digits) {
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t value = 0;
    for (const char16_t ch : digits) {
        const char16_t lower = AsciiLowerChar(ch);
        if (lower >= u'0' && lower <= u'9') value = value * 16 + (lower - u'0');
        else if (lower >= u'a' && lower <= u'f') value = value * 16 + (lower - u'a' + 10);
        else return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::u16string FormatHexInteger(int32_t value) {
    static constexpr char16_t Digits[] = u"0123456789abcdef";
    std::u16string text(8, u'0');
    auto bits = static_cast<uint32_t>(value);
    for (size_t i = 8; i-- > 0; bits >>= 4) text[i] = Digits[bits & 0xF];
    return text;
}

// The part after "=": a quoted string ends the line, "dword:" takes one to
// eight hexadecimal digits; anything else is kept as it stands.
void ParseData(std::u16string_view data, TRegDataType& type, std::u16string& text, int32_t& integer) {
    type = TRegDataType::rdUnknown;
    text = data;
    size_t pos = 0;
    if (!data.empty() && data.front() == u'"') {
        std::optional<std::u16string> string = Unquote(data, pos);
        if (string && pos == data.size()) {
            type = TRegDataType::rdString;
            text = std::move(*string);
        }
    } else if (data.size() > IntegerPrefix.size() && AsciiLowerCase(data.substr(0, IntegerPrefix.size())) == IntegerPrefix) {
        if (std::optional<int32_t> value = ParseHexInteger(data.substr(IntegerPrefix.size()))) {
            type = TRegDataType::rdInteger;
            integer = *value;
        }
    }
}

std::u16string ConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') return Utf8ToUtf16(xdg);
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* user = ::getpwuid(::getuid());
        home = user != nullptr ? user->pw_dir : "";
    }
    return Utf8ToUtf16(home) + u"/.config";
}

std::u16string DirectoryOf(const std::u16string& fileName) {
    const size_t slash = fileName.rfind(u'/');
    return slash == std::u16string::npos ? u"./" : fileName.substr(0, slash + 1);
}

// A file that is deleted unless it was renamed into place.
class TTempFile {
public:
    explicit TTempFile(std::u16string name) : name_(std::move(name)) {}
    ~TTempFile() {
        if (!name_.empty()) DeleteFile(name_);
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    const std::u16string& Name() const { return name_; }
    bool RenameTo(const std::u16string& target) {
        if (!RenameFile(name_, target)) return false;
        name_.clear();
        return true;
    }

private:
    std::u16string name_;
};

}  // namespace

TRegistry::TRegistry() : TRegistry(UserFileName()) {}

TRegistry::TRegistry(std::u16string fileName) : fileName_(std::move(fileName)) {}

std::u16string TRegistry::UserFileName() { return ConfigHome() + u"/QuillReports/registry.ini"; }

bool TRegistry::OpenKey(const std::u16string& key, bool canCreate) {
    CloseKey();
    try {
        LoadFile();
    } catch (const Exception&) {
        keys_.clear();
        return false;
    }
    const std::u16string path = NormaliseKeyPath(key);
    for (size_t i = 1; i < keys_.size(); ++i) {
        if (SameName(keys_[i].path, path)) {
            currentKey_ = static_cast<int>(i);
            return true;
        }
    }
    if (!canCreate) return false;
    keys_.push_back(TKey{path, {}});
    currentKey_ = static_cast<int>(keys_.size() - 1);
    return true;
}

void TRegistry::CloseKey() { currentKey_ = -1; }

bool TRegistry::ValueExists(const std::u16string& name) const { return FindValue(name) != nullptr; }

TRegDataType TRegistry::GetDataType(const std::u16string& name) const {
    const TValue* value = FindValue(name);
    return value != nullptr ? value->type : TRegDataType::rdUnknown;
}

std::u16string TRegistry::ReadString(const std::u16string& name) const {
    if (currentKey_ < 0) throw GetDataError(name);
    const TValue* value = FindValue(name);
    if (value == nullptr) return std::u16string();
    if (value->type != TRegDataType::rdString) throw DataTypeError(name);
    return value->text;
}

int32_t TRegistry::ReadInteger(const std::u16string& name) const {
    const TValue& value = GetValue(name);
    if (value.type != TRegDataType::rdInteger) throw DataTypeError(name);
    return value.integer;
}

void TRegistry::WriteString(const std::u16string& name, const std::u16string& value) {
    PutValue(TValue{name, TRegDataType::rdString, value, 0});
}

void TRegistry::WriteInteger(const std::u16string& name, int32_t value) {
    PutValue(TValue{name, TRegDataType::rdInteger, std::u16string(), value});
}

bool TRegistry::ReadBool(const std::u16string& name, bool defaultValue) const {
    if (currentKey_ < 0) throw GetDataError(name);
    return ValueExists(name) ? ReadInteger(name) != 0 : defaultValue;
}

void TRegistry::WriteBool(const std::u16string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TRegistry::BeginUpdate() { updating_ = true; }

void TRegistry::EndUpdate() {
    updating_ = false;
    if (firstUnsaved_.empty()) return;
    const std::u16string name = std::exchange(firstUnsaved_, std::u16string());
    SaveFile(name);
}

const TRegistry::TValue* TRegistry::FindValue(const std::u16string& name) const {
    if (currentKey_ < 0) return nullptr;
    for (const TValue& value : keys_[currentKey_].values) {
        if (!value.name.empty() && SameName(value.name, name)) return &value;
    }
    return nullptr;
}

const TRegistry::TValue& TRegistry::GetValue(const std::u16string& name) const {
    const TValue* value = FindValue(name);
    if (value == nullptr) throw GetDataError(name);
    return *value;
}

void TRegistry::PutValue(TValue value) {
    if (currentKey_ < 0 || value.name.empty()) throw SetDataError(value.name);
    const std::u16string name = value.name;
    std::vector<TValue>& values = keys_[currentKey_].values;
    const TValue* existing = FindValue(name);
    if (existing != nullptr) {
        if (SameData(*existing, value)) return;
        value.name = existing->name;  // the name keeps the letter case it was made with
        values[existing - values.data()] = std::move(value);
    } else {
        values.push_back(std::move(value));
    }
    if (firstUnsaved_.empty()) firstUnsaved_ = name;
    if (!updating_) EndUpdate();
}

bool TRegistry::SameData(const TValue& a, const TValue& b) {
    if (a.type != b.type) return false;
    return a.type == TRegDataType::rdInteger ? a.integer == b.integer : a.text == b.text;
}

void TRegistry::LoadFile() {
    keys_.assign(1, TKey{});
    firstUnsaved_.clear();
    if (DirectoryExists(fileName_)) throw EFOpenError(fileName_, EISDIR);
    if (!FileExists(fileName_)) return;
    TFileStream file(fileName_, fmOpenRead | fmShareDenyNone);
    std::string bytes(static_cast<size_t>(file.Size()), '\0');
    file.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    const std::u16string text = Utf8ToUtf16(bytes);

    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string_view line = Trim(std::u16string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[' && line.back() == u']') {
            keys_.push_back(TKey{NormaliseKeyPath(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        TValue value;
        value.text = line;
        // The name is quoted as an export writes it, or bare as a person may write it.
        size_t pos = 0;
        std::optional<std::u16string> name;
        if (line.front() == u'"') {
            name = Unquote(line, pos);
            while (pos < line.size() && IsBlank(line[pos])) ++pos;
        } else {
            pos = line.find(u'=');
            if (pos != std::u16string_view::npos) name = Trim(line.substr(0, pos));
        }
        if (name && !name->empty() && pos < line.size() && line[pos] == u'=') {
            value.name = std::move(*name);
            ParseData(Trim(line.substr(pos + 1)), value.type, value.text, value.integer);
        }
        keys_.back().values.push_back(std::move(value));
    }
}

void TRegistry::SaveFile(const std::u16string& valueName) const {
    std::u16string text = u"; The current user's settings of the Quill Reports programs.\n";
    for (const TKey& key : keys_) {
        if (&key != &keys_.front()) text += u"\n[" + key.path + u"]\n";
        for (const TValue& value : key.values) {
            if (value.name.empty()) {
                text += value.text;
            } else {
                text += Quote(value.name) + u"=";
                if (value.type == TRegDataType::rdString) text += Quote(value.text);
                else if (value.type == TRegDataType::rdInteger) text += std::u16string(IntegerPrefix) + FormatHexInteger(value.integer);
                else text += value.text;
            }
            text += u"\n";
        }
    }
    const std::string bytes = Utf16ToUtf8(text);
    try {
        const std::u16string dir = DirectoryOf(fileName_);
        std::error_code error;
        std::filesystem::create_directories(NativePath(dir), error);
        TTempFile temp(CreateUniqueFile(dir, u".registry.ini."));
        {
            TFileStream file(temp.Name(), fmCreate);
            file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        }
        if (!temp.RenameTo(fileName_)) throw EFCreateError(fileName_, errno);
    } catch (const Exception&) {
        throw SetDataError(valueName);
    }
}
