#include "platform/Exceptions.h"

#include <cstring>
#include <new>

#include "platform/CodePages.h"
#include "platform/Conversions.h"
#include "platform/Files.h"

Exception::Exception(std::u16string message)
    : Exception(u"Exception", std::move(message)) {}

Exception::Exception(std::u16string className, std::u16string message)
    : className_(std::move(className)), message_(std::move(message)), utf8_(Utf16ToUtf8(message_)) {}

EConvertError::EConvertError(std::u16string message)
    : Exception(u"EConvertError", std::move(message)) {}

EInvalidOp::EInvalidOp(const std::u16string& detail)
    : Exception(u"EInvalidOp", u"Invalid floating point operation: " + detail) {}

EListError::EListError(int64_t index)
    : Exception(u"EListError", u"List index out of bounds (" + IntToStr(index) + u")") {}

EStreamError::EStreamError()
    : EStreamError(u"EStreamError", u"Out of memory while expanding memory stream") {}

EStreamError::EStreamError(std::u16string className, std::u16string message)
    : Exception(std::move(className), std::move(message)) {}

EFOpenError::EFOpenError(const std::u16string& fileName, int errorNumber)
    : EFOpenError(fileName, SystemErrorMessage(errorNumber)) {}

EFOpenError::EFOpenError(const std::u16string& fileName, const std::u16string& reason)
    : EFileStreamError(u"EFOpenError", u"Cannot open file \"" + ExpandFileName(fileName) + u"\". " + reason) {}

EFCreateError::EFCreateError(const std::u16string& fileName, int errorNumber)
    : EFileStreamError(u"EFCreateError", u"Cannot create file \"" + ExpandFileName(fileName) + u"\". " +
                                             SystemErrorMessage(errorNumber)) {}

EReadError::EReadError() : EFilerError(u"EReadError", u"Stream read error") {}

EWriteError::EWriteError() : EFilerError(u"EWriteError", u"Stream write error") {}

EWriteError::EWriteError(const std::u16string& fileName, int errorNumber)
    : EFilerError(u"EWriteError", u"Stream write error in file \"" + ExpandFileName(fileName) + u"\". " +
                                      SystemErrorMessage(errorNumber)) {}

std::u16string SystemErrorMessage(int errorNumber) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return Utf8ToUtf16(text);
}

TErrorDescription DescribeCurrentError() {
    try {
        throw;
    } catch (const Exception& e) {
        return {e.ClassName(), e.Message()};
    } catch (const std::bad_alloc&) {
        return {u"EOutOfMemory", u"Out of memory"};
    } catch (const std::exception& e) {
        return {u"Exception", Utf8ToUtf16(e.what())};
    }
}

std::u16string ErrorBoxText(const std::u16string& message) {
    return !message.empty() && message.back() > u'.' ? message + u"." : message;
}

std::u16string QuotedInMessage(std::u16string_view text) {
    constexpr size_t kQuotedLength = 100;
    if (text.size() <= kQuotedLength) return std::u16string(text);
    return std::u16string(text.substr(0, CharacterPrefixLength(text, kQuotedLength))) + u"...";
}
