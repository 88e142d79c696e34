// Wide strings, their conversions to and from narrow encodings, the message
// builder and the few string algorithms the launcher needs.
#pragma once

#include <string>
#include <type_traits>
#include <vector>

// Wide text: UTF-16 code units on Windows, where wchar_t has 16 bits, and
// code points on Linux, where it has 32. Lengths count those units.
typedef std::wstring tstring;
typedef std::vector<tstring> tstring_array;

namespace tstrings {

enum CompareType { CASE_SENSITIVE, IGNORE_CASE };

tstring fromUtf8(const std::string& utf8);
std::string toUtf8(const tstring& text);
std::string toAcp(const tstring& text);

tstring toLower(const tstring& text);
bool equals(const tstring& a, const tstring& b, CompareType ct = CASE_SENSITIVE);
bool startsWith(const tstring& text, const tstring& prefix, CompareType ct = CASE_SENSITIVE);
bool endsWith(const tstring& text, const tstring& suffix, CompareType ct = CASE_SENSITIVE);
tstring replace(const tstring& text, const tstring& search, const tstring& replacement);
tstring_array split(const tstring& text, const tstring& delimiter);
tstring join(const tstring_array& items, const tstring& delimiter);
tstring format(const wchar_t* fmt, ...);

// Composes messages: wide text as it is, std::string decoded from UTF-8,
// char pointers widened byte by byte, integers in decimal, pointers as
// sixteen upper-case hexadecimal digits.
class Builder {
public:
    Builder& operator<<(const tstring& v);
    Builder& operator<<(const wchar_t* v);
    Builder& operator<<(wchar_t v);
    Builder& operator<<(const std::string& v);
    Builder& operator<<(const char* v);
    Builder& operator<<(char v);
    Builder& operator<<(const void* v);

    template <class T, class = std::enable_if_t<std::is_integral_v<T>>>
    Builder& operator<<(T v) {
        text += std::to_wstring(v);
        return *this;
    }

    const tstring& str() const { return text; }
    std::string utf8() const { return toUtf8(text); }
    operator tstring() const { return text; }

private:
    // A plain string rather than a string stream: the stream library alone
    // would make up most of the launcher's size.
    tstring text;
};

}  // namespace tstrings

// The system's conversions, with the contract of MultiByteToWideChar (which
// rejects invalid input) and WideCharToMultiByte: the number of units written,
// or needed when `out` is null; 0 on failure.
namespace tstrings::platform {

enum class Encoding { utf8, ansi };

int narrowToWide(Encoding encoding, const char* text, int length, wchar_t* out, int outLength);
int wideToNarrow(Encoding encoding, const wchar_t* text, int length, char* out, int outLength);

}  // namespace tstrings::platform
