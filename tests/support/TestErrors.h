#pragma once

#include <string>

#include "platform/Exceptions.h"

// What an error says: its class name and its message.
struct TRaisedError {
    std::u16string ClassName;
    std::u16string Message;
};

// The error of class E that call raises; both fields read "(no error)" when
// it raises none. An error of another class passes through and fails the test.
template <typename E = Exception, typename Call>
TRaisedError ErrorRaisedBy(Call&& call) {
    try {
        call();
    } catch (const E& e) {
        return {e.ClassName(), e.Message()};
    }
    return {u"(no error)", u"(no error)"};
}
