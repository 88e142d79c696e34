// Positioned errors, Win32 system errors and the helpers that raise, catch
// and log them.
#pragma once

#include <stdexcept>
#include <string>

#include "Compiler.h"
#include "tstrings.h"

struct SourceLocation {
    const char* file;
    const char* function;
    int line;
};

#define CODE_LOCATION (SourceLocation{__FILE__, KIVO_FUNCTION, __LINE__})

// The system's own error family. Every concrete type also derives from
// std::runtime_error.
class KivoErrorBase {
public:
    // The error's text without its source location.
    virtual const char* bareMessage() const noexcept = 0;

protected:
    ~KivoErrorBase() = default;
};

// A failed Win32 call: the caller's text, a label, the error code and the
// system's description of the code, looked up in the module that holds the
// failed function.
class SysError : public std::runtime_error {
public:
    SysError(const tstrings::Builder& text, const void* failedFunction, unsigned long errorCode,
             const char* label = "System error");

    template <class Ret, class... Args>
    SysError(const tstrings::Builder& text, Ret (*failedFunction)(Args...), unsigned long errorCode,
             const char* label = "System error")
        : SysError(text, reinterpret_cast<const void*>(failedFunction), errorCode, label) {}
};

std::string positionedMessage(const std::exception& error, const SourceLocation& location);

template <class Base>
class KivoError : public KivoErrorBase, public Base {
public:
    KivoError(const Base& error, const SourceLocation& location)
        : Base(error), message(positionedMessage(error, location)) {}

    const char* what() const noexcept override { return message.c_str(); }
    const char* bareMessage() const noexcept override { return Base::what(); }

private:
    std::string message;
};

KivoError<std::runtime_error> makeError(const std::runtime_error& error, const SourceLocation& location);
KivoError<SysError> makeError(const SysError& error, const SourceLocation& location);
KivoError<std::runtime_error> makeError(const std::string& utf8, const SourceLocation& location);
KivoError<std::runtime_error> makeError(const tstrings::Builder& text, const SourceLocation& location);
KivoError<std::runtime_error> makeError(const char* text, const SourceLocation& location);

#define RAISE(error) throw makeError((error), CODE_LOCATION)

void logCaughtError(const SourceLocation& location, const std::exception& e);
void logUnknownError(const SourceLocation& location);

#define CATCH_AND_LOG                                  \
    catch (const std::runtime_error& kivoCaught_) {    \
        logCaughtError(CODE_LOCATION, kivoCaught_);    \
    }                                                  \
    catch (...) {                                      \
        logUnknownError(CODE_LOCATION);                \
    }

// The C runtime's description of the current errno as UTF-8, or "".
// Each platform layer gives its own.
std::string crtErrorText();

// Joins two message parts into one sentence sequence.
std::string joinMessages(const std::string& a, const std::string& b);
