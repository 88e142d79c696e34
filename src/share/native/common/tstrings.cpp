// Code-page conversions, the message builder and string algorithms.
#include "tstrings.h"

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <stdexcept>

#include "ErrorHandling.h"

namespace tstrings {

namespace {

int checkedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("string too long for conversion");
    }
    return static_cast<int>(size);
}

using platform::Encoding;

tstring fromMultiByte(const std::string& text, Encoding codePage) {
    const int inLength = checkedLength(text.size());
    const int needed = platform::narrowToWide(codePage, text.data(), inLength, nullptr, 0);
    if (needed == 0) {
        return tstring();
    }
    tstring result(static_cast<std::size_t>(needed), L'\0');
    const int written = platform::narrowToWide(codePage, text.data(), inLength, &result[0], needed);
    if (written != needed) {
        RAISE("Unexpected reply from MultiByteToWideChar()");
    }
    return result;
}

std::string toMultiByte(const tstring& text, Encoding codePage) {
    const int inLength = checkedLength(text.size());
    const int needed = platform::wideToNarrow(codePage, text.data(), inLength, nullptr, 0);
    if (needed == 0) {
        return std::string();
    }
    std::string result(static_cast<std::size_t>(needed), '\0');
    const int written = platform::wideToNarrow(codePage, text.data(), inLength, &result[0], needed);
    if (written != needed) {
        RAISE("Unexpected reply from WideCharToMultiByte()");
    }
    return result;
}

}  // namespace

tstring fromUtf8(const std::string& utf8) { return fromMultiByte(utf8, Encoding::utf8); }

std::string toUtf8(const tstring& text) { return toMultiByte(text, Encoding::utf8); }

std::string toAcp(const tstring& text) { return toMultiByte(text, Encoding::ansi); }

tstring toLower(const tstring& text) {
    tstring result = text;
    for (wchar_t& c : result) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return result;
}

bool equals(const tstring& a, const tstring& b, CompareType ct) {
    if (ct == IGNORE_CASE) {
        return toLower(a) == toLower(b);
    }
    return a == b;
}

bool startsWith(const tstring& text, const tstring& prefix, CompareType ct) {
    if (prefix.size() > text.size()) {
        return false;
    }
    return equals(text.substr(0, prefix.size()), prefix, ct);
}

bool endsWith(const tstring& text, const tstring& suffix, CompareType ct) {
    if (suffix.size() > text.size()) {
        return false;
    }
    return equals(text.substr(text.size() - suffix.size()), suffix, ct);
}

tstring replace(const tstring& text, const tstring& search, const tstring& replacement) {
    if (search.empty()) {
        return text;
    }
    // Built piece by piece: replacing in place would shift the rest of the
    // text on every occurrence and take quadratic time on long values.
    tstring result;
    std::size_t start = 0;
    std::size_t pos;
    while ((pos = text.find(search, start)) != tstring::npos) {
        result.append(text, start, pos - start);
        result += replacement;
        start = pos + search.size();
    }
    result.append(text, start, tstring::npos);
    return result;
}

tstring_array split(const tstring& text, const tstring& delimiter) {
    tstring_array pieces;
    if (text.empty() || delimiter.empty()) {
        return pieces;
    }
    std::size_t start = 0;
    std::size_t pos;
    while ((pos = text.find(delimiter, start)) != tstring::npos) {
        pieces.push_back(text.substr(start, pos - start));
        start = pos + delimiter.size();
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

tstring join(const tstring_array& items, const tstring& delimiter) {
    tstring result;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            result += delimiter;
        }
        result += items[i];
    }
    return result;
}

// A formatter that fails for another reason than truncation must not make
// the buffer grow for ever.
constexpr std::size_t kFormatLimit = 1 << 20;

tstring format(const wchar_t* fmt, ...) {
    if (!fmt) {
        throw std::invalid_argument("Destination buffer can't be NULL");
    }
    tstring result;
    for (;;) {
        result.resize(result.size() + 256);
        va_list args;
        va_start(args, fmt);
        const int written = std::vswprintf(&result[0], result.size(), fmt, args);
        va_end(args);
        if (written >= 0 && static_cast<std::size_t>(written) < result.size()) {
            result.resize(static_cast<std::size_t>(written));
            return result;
        }
        if (result.size() >= kFormatLimit) {
            throw std::length_error("formatted text too long");
        }
    }
}

Builder& Builder::operator<<(const tstring& v) {
    text += v;
    return *this;
}

Builder& Builder::operator<<(const wchar_t* v) {
    if (v) {
        text += v;
    }
    return *this;
}

Builder& Builder::operator<<(wchar_t v) {
    text += v;
    return *this;
}

Builder& Builder::operator<<(const std::string& v) {
    text += fromUtf8(v);
    return *this;
}

Builder& Builder::operator<<(const char* v) {
    for (const char* p = v; p && *p; ++p) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return *this;
}

Builder& Builder::operator<<(char v) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(v));
    return *this;
}

Builder& Builder::operator<<(const void* v) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    auto value = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(v));
    wchar_t hex[16];
    for (int i = 15; i >= 0; --i, value >>= 4) {
        hex[i] = digits[value & 0xF];
    }
    text.append(hex, 16);
    return *this;
}

}  // namespace tstrings
