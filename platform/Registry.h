#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exceptions.h"

// "Failed to set data for '%s'", "Failed to get data for '%s'" and
// "Invalid data type for '%s'", with the value's name in place of %s.
class ERegistryException : public Exception {
public:
    explicit ERegistryException(std::u16string message);
};

enum class TRegDataType { rdUnknown, rdString, rdInteger };

// The current user's registry on a system that has none: one INI file whose
// sections are key paths and whose values keep their type the way a registry
// export writes them,
//
//   [Software\Quill Reports\MRUFont]
//   "Font0"="Arial"
//   "FontType0"=dword:00000004
//
// Key paths and value names compare ignoring case. A write that changes the
// store saves the whole file as a TReplacementFile put in place of the old one
// (of the file a link names, in that file's folder), so a crash never leaves
// half a file behind; the writes of a batch (TRegistryBatch) are saved
// together, once. Each process names its replacement on the way apart, so two
// windows saving at once do not take each other's; the file gets the mode
// new files get (the umask's), as any file of the user's configuration. A value that cannot be parsed keeps its text and reads as
// rdUnknown. Every line the store does not change (comments, blank lines,
// lines that are not values, values of other programs) is written back as it
// was, byte for byte, UTF-8 or not.
//
// The file is left alone when it is read-only, or larger than MaxFileBytes
// (such a file is not read either: the store starts empty). The first save
// that meets such a file in the process raises an error that says so; later
// saves go without a word, keeping their writes unsaved.
//
// Qt's QSettings would not do: it drops the lines it cannot parse when it
// saves, an unclosed quote swallows the values after it, and its INI files
// keep neither the letter case rule nor the type of a value.
class TRegistry {
public:
    static constexpr int64_t MaxFileBytes = 1 << 20;

    // The store of the current user: $XDG_CONFIG_HOME/QuillReports/registry.ini,
    // with ~/.config in place of an unset or relative $XDG_CONFIG_HOME.
    TRegistry();
    explicit TRegistry(std::u16string fileName);

    static std::u16string UserFileName();
    const std::u16string& FileName() const { return fileName_; }

    // Reads the file and opens the key, which a leading "\" does not change.
    // With canCreate a missing key is made; it reaches the file with its first
    // value. False when the key is missing or the file cannot be read: every
    // value access then raises.
    bool OpenKey(const std::u16string& key, bool canCreate);
    void CloseKey();

    bool ValueExists(const std::u16string& name) const;
    TRegDataType GetDataType(const std::u16string& name) const;

    // A missing value reads as empty; one of another type raises "Invalid data type".
    std::u16string ReadString(const std::u16string& name) const;
    // A missing value raises "Failed to get data", one of another type "Invalid data type".
    int32_t ReadInteger(const std::u16string& name) const;
    // A file that cannot be written raises "Failed to set data".
    void WriteString(const std::u16string& name, const std::u16string& value);
    void WriteInteger(const std::u16string& name, int32_t value);

    // A yes/no setting, kept as the integer 1 or 0. A missing value reads as
    // defaultValue, any other as ReadInteger does (non-zero is yes), with its
    // errors; with no key open it raises "Failed to get data".
    bool ReadBool(const std::u16string& name, bool defaultValue) const;
    void WriteBool(const std::u16string& name, bool value);

    // Writes up to EndUpdate stay in memory; EndUpdate saves them at once if
    // any changed the store, and a file that cannot be written then raises
    // "Failed to set data" for the first value they changed. Writes not yet
    // saved stay marked so, and the next save tries them again; they are lost
    // with the object or with OpenKey, which reads the file again.
    void BeginUpdate();
    void EndUpdate();

private:
    friend class TRegistryBatch;

    struct TValue {
        std::u16string name;  // empty for a line that is not a value
        TRegDataType type = TRegDataType::rdUnknown;
        std::u16string text;  // the string, or the stored text of a value of another type
        int32_t integer = 0;
        std::optional<std::u16string> line;  // as the file held it; none once the value changed
    };
    struct TKey {
        std::u16string path;
        std::optional<std::u16string> header;  // as the file held it; none for a key made here
        std::vector<TValue> values;
    };

    static bool SameData(const TValue& a, const TValue& b);
    void LoadFile();
    std::u16string ReadFileText();
    void ReadLine(std::u16string_view line);
    std::u16string FileText() const;
    // False when the file is to be left alone.
    bool SaveFile(const std::u16string& valueName) const;
    const TValue* FindValue(const std::u16string& name) const;
    const TValue& GetValue(const std::u16string& name) const;
    void PutValue(TValue value);

    std::u16string fileName_;
    std::vector<TKey> keys_;  // keys_[0] holds the lines in front of the first key
    int currentKey_ = -1;
    bool updating_ = false;
    std::u16string firstUnsaved_;  // the first value changed since the store was saved
    std::u16string refusal_;       // why the file, as read, is to be left alone
};

// A batch of writes to a store, saved together when the batch ends. A batch
// that an exception ends is undone, its writes dropped from memory as well, so
// that no later save stores half of it; a save that fails raises from the end
// of a batch that nothing else ended.
class TRegistryBatch {
public:
    explicit TRegistryBatch(TRegistry& registry);
    ~TRegistryBatch() noexcept(false);
    TRegistryBatch(const TRegistryBatch&) = delete;
    TRegistryBatch& operator=(const TRegistryBatch&) = delete;

private:
    TRegistry& registry_;
    TRegistry before_;  // the store as the batch found it
    int exceptionsBefore_;
};
