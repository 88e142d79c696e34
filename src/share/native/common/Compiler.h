// Compiler-specific bits: the qualified function name used in source
// locations, and the attribute that exports a function from the executable.
#pragma once

#include <cstddef>

#if defined(_MSC_VER)

#define KIVO_FUNCTION __FUNCTION__
#define KIVO_WFUNCTION __FUNCTIONW__
#define KIVO_EXPORT extern "C" __declspec(dllexport)

#else

// GCC's __PRETTY_FUNCTION__ holds the return type, the parameters and the
// template bindings ("void DllFunction<T>::operator T() const [with T =
// void*]"). The name shown in messages is the bare qualified name with the
// bindings substituted and pointers written with a blank ("DllFunction<void
// *>::operator void *"), and functions of an unnamed namespace carry the
// "`anonymous-namespace'::" prefix. It is derived at compile time.
namespace kivo::detail {

template <class Char, std::size_t N>
struct FunctionName {
    Char text[N] = {};
};

struct Span {
    std::size_t begin;
    std::size_t end;
};

constexpr bool isIdentChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

constexpr std::size_t length(const char* s) {
    std::size_t n = 0;
    while (s[n]) {
        ++n;
    }
    return n;
}

constexpr bool matchesAt(const char* s, std::size_t at, std::size_t end, const char* word) {
    for (std::size_t i = 0; word[i]; ++i) {
        if (at + i >= end || s[at + i] != word[i]) {
            return false;
        }
    }
    return true;
}

// Start of the " [with ...]" suffix, or the end of the text.
constexpr std::size_t bindingsStart(const char* s, std::size_t n) {
    for (std::size_t i = 0; i + 6 < n; ++i) {
        if (matchesAt(s, i, n, " [with ")) {
            return i;
        }
    }
    return n;
}

// The qualified name: what stands before the parameter list, back to the
// blank that separates it from the return type.
constexpr Span qualifiedName(const char* s, std::size_t n) {
    std::size_t close = n;
    while (close > 0 && s[close - 1] != ')') {
        --close;
    }
    if (close == 0) {
        return {0, n};
    }
    std::size_t open = close - 1;
    int depth = 0;
    for (std::size_t i = close; i-- > 0;) {
        if (s[i] == ')') {
            ++depth;
        } else if (s[i] == '(' && --depth == 0) {
            open = i;
            break;
        }
    }
    std::size_t begin = open;
    int angle = 0;
    while (begin > 0) {
        char c = s[begin - 1];
        if (c == '>' || c == ')' || c == ']') {
            ++angle;
        } else if (c == '<' || c == '(' || c == '[') {
            --angle;
        } else if (c == ' ' && angle == 0) {
            bool afterOperator = begin >= 9 && matchesAt(s, begin - 9, n, "operator");
            if (!afterOperator) {
                break;
            }
        }
        --begin;
    }
    return {begin, open};
}

// The value bound to `name` in "[with T = void*; U = int]", if any.
constexpr Span boundValue(const char* s, std::size_t n, std::size_t with, Span name) {
    std::size_t i = with + 7;
    while (i < n) {
        std::size_t keyBegin = i;
        while (i < n && isIdentChar(s[i])) {
            ++i;
        }
        std::size_t keyEnd = i;
        i += 3;  // " = "
        std::size_t valueBegin = i;
        int depth = 0;
        while (i < n && !(depth == 0 && (s[i] == ';' || s[i] == ']'))) {
            if (s[i] == '<' || s[i] == '(') {
                ++depth;
            } else if (s[i] == '>' || s[i] == ')') {
                --depth;
            }
            ++i;
        }
        bool same = keyEnd - keyBegin == name.end - name.begin;
        for (std::size_t k = 0; same && k < keyEnd - keyBegin; ++k) {
            same = s[keyBegin + k] == s[name.begin + k];
        }
        if (same) {
            return {valueBegin, i};
        }
        i += 2;  // "; "
    }
    return {0, 0};
}

template <class Char, std::size_t N>
struct Writer {
    FunctionName<Char, N> out{};
    std::size_t size = 0;

    constexpr void put(char c) {
        if (size + 1 < N) {
            out.text[size++] = static_cast<Char>(c);
        }
    }

    // Types are written with a blank before '*' and '&', as MSVC does.
    constexpr void putType(const char* s, Span span) {
        for (std::size_t i = span.begin; i < span.end; ++i) {
            if ((s[i] == '*' || s[i] == '&') && i > span.begin && s[i - 1] != ' ' && s[i - 1] != '*' &&
                s[i - 1] != '&') {
                put(' ');
            }
            put(s[i]);
        }
    }

    constexpr void putText(const char* text) {
        for (std::size_t i = 0; text[i]; ++i) {
            put(text[i]);
        }
    }
};

template <class Char, std::size_t N>
constexpr FunctionName<Char, N> makeFunctionName(const char* pretty) {
    std::size_t n = length(pretty);
    std::size_t with = bindingsStart(pretty, n);
    Span name = qualifiedName(pretty, with);
    Writer<Char, N> w;
    std::size_t i = name.begin;
    while (i < name.end) {
        if (matchesAt(pretty, i, name.end, "{anonymous}")) {
            w.putText("`anonymous-namespace'");
            i += 11;
            continue;
        }
        if (isIdentChar(pretty[i]) && (i == name.begin || !isIdentChar(pretty[i - 1]))) {
            Span word{i, i};
            while (word.end < name.end && isIdentChar(pretty[word.end])) {
                ++word.end;
            }
            Span value = with < n ? boundValue(pretty, n, with, word) : Span{0, 0};
            w.putType(pretty, value.end > value.begin ? value : word);
            i = word.end;
            continue;
        }
        w.put(pretty[i]);
        ++i;
    }
    return w.out;
}

}  // namespace kivo::detail

// Room for the unnamed-namespace prefix and for substituted bindings.
#define KIVO_FUNCTION_CAPACITY (sizeof(__PRETTY_FUNCTION__) * 2 + 64)

#define KIVO_FUNCTION                                                                                   \
    (__extension__({                                                                                    \
        static constexpr auto kivoFunctionName_ =                                                       \
            ::kivo::detail::makeFunctionName<char, KIVO_FUNCTION_CAPACITY>(__PRETTY_FUNCTION__);        \
        kivoFunctionName_.text;                                                                         \
    }))

#define KIVO_WFUNCTION                                                                                  \
    (__extension__({                                                                                    \
        static constexpr auto kivoFunctionNameW_ =                                                      \
            ::kivo::detail::makeFunctionName<wchar_t, KIVO_FUNCTION_CAPACITY>(__PRETTY_FUNCTION__);     \
        kivoFunctionNameW_.text;                                                                        \
    }))

#if defined(_WIN32)
#define KIVO_EXPORT extern "C" __declspec(dllexport)
#else
#define KIVO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#endif

#define KIVO_WIDEN2(x) L##x
#define KIVO_WIDEN(x) KIVO_WIDEN2(x)
#define KIVO_WFILE KIVO_WIDEN(__FILE__)
