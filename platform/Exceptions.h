#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

// Every error carries the name of its class next to its message: a page that
// fails logs both, and the error box shows the message.
class Exception : public std::exception {
public:
    explicit Exception(std::u16string message);

    const std::u16string& ClassName() const noexcept { return className_; }
    const std::u16string& Message() const noexcept { return message_; }
    // The message in UTF-8, for std::exception users.
    const char* what() const noexcept override { return utf8_.c_str(); }

protected:
    Exception(std::u16string className, std::u16string message);

private:
    std::u16string className_;
    std::u16string message_;
    std::string utf8_;
};

// Number, colour and character-reference conversion.
class EConvertError : public Exception {
public:
    explicit EConvertError(std::u16string message);
};

// "Invalid floating point operation: %s": a value too large for the integer it
// must become, the detail saying which.
class EInvalidOp : public Exception {
public:
    explicit EInvalidOp(const std::u16string& detail);
};

// "List index out of bounds (%d)".
class EListError : public Exception {
public:
    explicit EListError(int64_t index);
};

// "Out of memory while expanding memory stream", and the base of the stream errors.
class EStreamError : public Exception {
public:
    EStreamError();

protected:
    EStreamError(std::u16string className, std::u16string message);
};

class EFileStreamError : public EStreamError {
protected:
    using EStreamError::EStreamError;
};

// "Cannot open file "%s". %s": the full path and the system's reason, or a reason of our own.
class EFOpenError : public EFileStreamError {
public:
    EFOpenError(const std::u16string& fileName, int errorNumber);
    EFOpenError(const std::u16string& fileName, const std::u16string& reason);
};

// "Cannot create file "%s". %s": the full path and the system's reason.
class EFCreateError : public EFileStreamError {
public:
    EFCreateError(const std::u16string& fileName, int errorNumber);
};

class EFilerError : public EStreamError {
protected:
    using EStreamError::EStreamError;
};

// "Stream read error": a fixed-size record could not be read in full.
class EReadError : public EFilerError {
public:
    EReadError();
};

// "Stream write error": not every byte reached the stream (a full disk, say).
// A file's adds "in file "%s". %s": the full path and the system's reason.
class EWriteError : public EFilerError {
public:
    EWriteError();
    EWriteError(const std::u16string& fileName, int errorNumber);
};

// The system's text for an errno value.
std::u16string SystemErrorMessage(int errorNumber);

// What the user is told of an error: its class name and its message.
struct TErrorDescription {
    std::u16string ClassName;
    std::u16string Message;
};

// The error being handled, described; called inside a catch block. Running
// out of memory reads as "EOutOfMemory" and "Out of memory", any other
// standard error as "Exception" with its text; what is no standard error at
// all is raised again.
TErrorDescription DescribeCurrentError();

// An error's message as the user sees it: a "." is added unless the message
// ends in "." or a character coded below it.
std::u16string ErrorBoxText(const std::u16string& message);

// A text as an error message quotes it: a text of any length would make the
// message, and every log it reaches, as long. Longer texts are cut after
// their first 100 characters (never inside a surrogate pair) and "..." marks the cut.
std::u16string QuotedInMessage(std::u16string_view text);
