#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

#include "platform/Exceptions.h"

class TZFBaseArchiver;

// A value for a "%s" or "%d" placeholder of a component message.
using TZFMessageArg = std::variant<std::u16string, int64_t>;

// The native error of an entry that is not in the archive.
constexpr int32_t kZFFileNotFound = 15;

// Every failure the ZIP component detects itself. The message is looked up
// from the code, prefixed with the component's name when one is given, and
// always ends in " - Native error: " and the code in five digits.
class EZFException : public Exception {
public:
    EZFException(int32_t code, const TZFBaseArchiver* component);
    EZFException(int32_t code, const TZFBaseArchiver* component, std::initializer_list<TZFMessageArg> args);

    int32_t NativeError;
    int32_t MessageIndex;
};

// The message position that a code selects; 0 ("Unknown error") for codes without a pair.
int32_t ZFMessageIndex(int32_t code);
// The raw text at a message position, placeholders unfilled.
const std::u16string& ZFMessageText(int32_t index);
