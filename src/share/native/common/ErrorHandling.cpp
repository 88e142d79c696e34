// Positioned errors and the helpers that log caught errors.
#include "ErrorHandling.h"

#include <cctype>

#include "Log.h"

namespace {

const char* baseName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
        }
    }
    return name;
}

void logErrorAt(const SourceLocation& location, const tstring& text) {
    LogDispatcher::instance().log(LOG_ERROR, tstrings::fromUtf8(baseName(location.file)).c_str(), location.line,
                                  tstrings::fromUtf8(location.function).c_str(), text);
}

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string trimRight(const std::string& s) {
    std::size_t end = s.size();
    while (end > 0 && isSpace(s[end - 1])) {
        --end;
    }
    return s.substr(0, end);
}

std::string trim(const std::string& s) {
    std::size_t begin = 0;
    while (begin < s.size() && isSpace(s[begin])) {
        ++begin;
    }
    return trimRight(s.substr(begin));
}

}  // namespace

std::string positionedMessage(const std::exception& error, const SourceLocation& location) {
    return std::string(baseName(location.file)) + "(" + std::to_string(location.line) + ") at " +
           location.function + "(): " + error.what();
}

KivoError<std::runtime_error> makeError(const std::runtime_error& error, const SourceLocation& location) {
    return KivoError<std::runtime_error>(error, location);
}

KivoError<SysError> makeError(const SysError& error, const SourceLocation& location) {
    return KivoError<SysError>(error, location);
}

KivoError<std::runtime_error> makeError(const std::string& utf8, const SourceLocation& location) {
    return makeError(std::runtime_error(utf8), location);
}

KivoError<std::runtime_error> makeError(const tstrings::Builder& text, const SourceLocation& location) {
    return makeError(text.utf8(), location);
}

KivoError<std::runtime_error> makeError(const char* text, const SourceLocation& location) {
    return makeError(std::string(text), location);
}

void logCaughtError(const SourceLocation& location, const std::exception& e) {
    logErrorAt(location, tstrings::Builder() << "Exception with message '" << e.what() << "' caught");
}

void logUnknownError(const SourceLocation& location) { logErrorAt(location, L"Unknown exception caught"); }

std::string joinMessages(const std::string& a, const std::string& b) {
    const std::string first = trimRight(a);
    const std::string second = trim(b);
    if (first.empty()) {
        return second;
    }
    if (second.empty()) {
        return first;
    }
    const char* separator = std::string(";.,:!?").find(first.back()) != std::string::npos ? " " : ". ";
    return first + separator + second;
}
