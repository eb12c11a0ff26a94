// The exception family of the whole system. Every error is an exception carrying a
// message text; callers catch `tarn::Exception` to report any of them. `EAbort` is the
// silent abort: callers that show errors recognise it and show nothing.
#pragma once

#include <stdexcept>
#include <string>

namespace tarn {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Errors of the database engine; the message is the literal text, with the name of the
// component on whose behalf it was raised and ": " in front where that applies.
class EDatabaseError : public Exception {
    using Exception::Exception;
};

// Cipher errors, with the framework's error code.
class EEncryptException : public Exception {
public:
    EEncryptException(std::string message, int errorCode)
        : Exception(std::move(message)), errorCode_(errorCode) {}
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

class ECompressionError : public Exception {
    using Exception::Exception;
};

class EDecompressionError : public Exception {
    using Exception::Exception;
};

// Text that does not convert to a number, date or time.
class EConvertError : public Exception {
    using Exception::Exception;
};

// A stream could not deliver the bytes asked for ("Stream read error").
class EReadError : public Exception {
    using Exception::Exception;
};

// A stream could not take the bytes handed to it.
class EWriteError : public Exception {
    using Exception::Exception;
};

// A file could not be opened or created; the message names the full path and the
// system's error text.
class EFOpenError : public Exception {
    using Exception::Exception;
};

// Any other failure of a platform call (read, write, lock, flush): names the path and the
// system's error text.
class EInOutError : public Exception {
    using Exception::Exception;
};

// The silent abort: raised to end an operation the user cancelled. Error reports ignore it.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// printf-style formatting into a std::string, for the engine's "%s" / "%d" messages.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tarn
