#include "platform/Registry.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Files.h"
#include "platform/ReplacementFile.h"
#include "platform/Streams.h"

ERegistryException::ERegistryException(std::u16string message)
    : Exception(u"ERegistryException", std::move(message)) {}

namespace {

constexpr std::u16string_view IntegerPrefix = u"dword:";
constexpr std::u16string_view FileComment = u"; The current user's settings of the Quill Reports programs.";
// As many links as the system itself follows in one name.
constexpr int MaxLinkHops = 40;

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
        const int digit = HexDigitValue(ch);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
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

// The file a save replaces: the store's own, or the one its links lead to,
// which may not be there yet.
std::u16string SaveTarget(const std::u16string& fileName) {
    std::filesystem::path path(NativePath(fileName));
    std::error_code error;
    for (int hop = 0; hop < MaxLinkHops && std::filesystem::is_symlink(path, error); ++hop) {
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return PathFromNative(path.string());
}

// Nobody may write it, or not this process. Root may write any file, so the
// permission bits count too.
bool IsReadOnly(const std::u16string& fileName) {
    const std::string native = NativePath(fileName);
    struct stat info;
    if (::stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(native.c_str(), W_OK) != 0;
}

// A file left alone is reported the first time only: every change in the
// window saves, and each would repeat the same news.
void RefuseOncePerProcess(const std::u16string& fileName, const std::u16string& reason) {
    static std::mutex guard;
    static std::set<std::u16string> reported;
    const std::lock_guard lock(guard);
    if (reported.insert(fileName).second)
        throw ERegistryException(u"The settings store '" + fileName + u"' " + reason +
                                 u": it is left as it is, and settings are not saved");
}

// False when the file cannot be written or put in place; what was written then goes.
bool ReplaceFile(const std::u16string& target, const std::string& bytes) {
    try {
        std::error_code error;
        std::filesystem::create_directories(NativePath(DirectoryOf(target)), error);
        TReplacementFile file(target + u".tmp" + IntToStr(::getpid()));
        file.Stream().WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        return file.MoveTo(target);
    } catch (const Exception&) {
        return false;
    }
}

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
    keys_.push_back(TKey{path, std::nullopt, {}});
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
    PutValue(TValue{name, TRegDataType::rdString, value, 0, std::nullopt});
}

void TRegistry::WriteInteger(const std::u16string& name, int32_t value) {
    PutValue(TValue{name, TRegDataType::rdInteger, std::u16string(), value, std::nullopt});
}

bool TRegistry::ReadBool(const std::u16string& name, bool defaultValue) const {
    if (currentKey_ < 0) throw GetDataError(name);
    return ValueExists(name) ? ReadInteger(name) != 0 : defaultValue;
}

void TRegistry::WriteBool(const std::u16string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TRegistry::BeginUpdate() { updating_ = true; }

void TRegistry::EndUpdate() {
    updating_ = false;
    if (!firstUnsaved_.empty() && SaveFile(firstUnsaved_)) firstUnsaved_.clear();
}

TRegistryBatch::TRegistryBatch(TRegistry& registry)
    : registry_(registry), before_(registry), exceptionsBefore_(std::uncaught_exceptions()) {
    registry_.BeginUpdate();
}

// Raises only when no exception is on its way: while one is, the batch is
// undone by moves alone, which cannot throw.
TRegistryBatch::~TRegistryBatch() noexcept(false) {
    static_assert(std::is_nothrow_move_assignable_v<TRegistry>);
    if (std::uncaught_exceptions() > exceptionsBefore_) registry_ = std::move(before_);
    else registry_.EndUpdate();
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
    if (existing == nullptr || !SameData(*existing, value)) {
        if (existing != nullptr) {
            value.name = existing->name;  // the name keeps the letter case it was made with
            values[existing - values.data()] = std::move(value);
        } else {
            // After the key's last value, ahead of the blank lines and comments
            // that may part it from the next key.
            const auto lastValue =
                std::find_if(values.rbegin(), values.rend(), [](const TValue& v) { return !v.name.empty(); });
            values.insert(lastValue.base(), std::move(value));
        }
        if (firstUnsaved_.empty()) firstUnsaved_ = name;
    }
    if (!updating_) EndUpdate();
}

bool TRegistry::SameData(const TValue& a, const TValue& b) {
    if (a.type != b.type) return false;
    return a.type == TRegDataType::rdInteger ? a.integer == b.integer : a.text == b.text;
}

void TRegistry::LoadFile() {
    keys_.assign(1, TKey{});
    firstUnsaved_.clear();
    refusal_.clear();
    const std::u16string text = ReadFileText();
    if (text.empty()) keys_[0].values.emplace_back().line = FileComment;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        ReadLine(std::u16string_view(text).substr(start, end - start));
        start = end + 1;
    }
}

// Bytes that are not UTF-8 are kept as the escapes of file names, so that
// they go back to the file as they came.
std::u16string TRegistry::ReadFileText() {
    if (DirectoryExists(fileName_)) throw EFOpenError(fileName_, EISDIR);
    if (!FileExists(fileName_)) return {};
    TFileStream file(fileName_, fmOpenRead | fmShareDenyNone);
    if (file.Size() > MaxFileBytes) {
        refusal_ = u"is larger than " + IntToStr(MaxFileBytes) + u" bytes";
        return {};
    }
    std::string bytes(static_cast<size_t>(file.Size()), '\0');
    file.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return NameBytesToUtf16(bytes);
}

void TRegistry::ReadLine(std::u16string_view raw) {
    const std::u16string_view line = TrimXmlBlanks(raw);
    if (!line.empty() && line.front() == u'[' && line.back() == u']') {
        keys_.push_back(TKey{NormaliseKeyPath(line.substr(1, line.size() - 2)), std::u16string(raw), {}});
        return;
    }
    TValue value;
    value.line = raw;
    // The name is quoted as an export writes it, or bare as a person may write it.
    size_t pos = 0;
    std::optional<std::u16string> name;
    const bool comment = line.empty() || line.front() == u';';
    if (!comment && line.front() == u'"') {
        name = Unquote(line, pos);
        while (pos < line.size() && IsXmlBlank(line[pos])) ++pos;
    } else if (!comment) {
        pos = line.find(u'=');
        if (pos != std::u16string_view::npos) name = TrimXmlBlanks(line.substr(0, pos));
    }
    if (name && !name->empty() && pos < line.size() && line[pos] == u'=') {
        value.name = std::move(*name);
        ParseData(TrimXmlBlanks(line.substr(pos + 1)), value.type, value.text, value.integer);
    }
    keys_.back().values.push_back(std::move(value));
}

std::u16string TRegistry::FileText() const {
    std::u16string text;
    for (const TKey& key : keys_) {
        if (&key != &keys_.front()) text += key.header ? *key.header + u"\n" : u"\n[" + key.path + u"]\n";
        for (const TValue& value : key.values) {
            if (value.line) {
                text += *value.line;
            } else {
                text += Quote(value.name) + u"=";
                if (value.type == TRegDataType::rdString) text += Quote(value.text);
                else text += std::u16string(IntegerPrefix) + FormatHexInteger(value.integer);
            }
            text += u"\n";
        }
    }
    return text;
}

bool TRegistry::SaveFile(const std::u16string& valueName) const {
    const std::u16string target = SaveTarget(fileName_);
    const std::u16string refusal = !refusal_.empty() ? refusal_ : IsReadOnly(target) ? u"is read-only" : u"";
    if (!refusal.empty()) {
        RefuseOncePerProcess(target, refusal);
        return false;
    }
    if (!ReplaceFile(target, Utf16ToNameBytes(FileText()))) throw SetDataError(valueName);
    return true;
}
