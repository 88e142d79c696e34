// Compiler-specific bits: the qualified function name used in source
// locations, and the attribute that exports a function from the executable.
#pragma once

#include <cstddef>

#if defined(_MSC_VER)

#define KIVO_FUNCTION __FUNCTION__
#define KIVO_WFUNCTION __FUNCTIONW__
#define KIVO_EXPORT extern "C" __declspec(dllexport)

#else

// __PRETTY_FUNCTION__ holds the return type, the parameters and the template
// bindings. GCC leaves the template parameters in the name and lists what
// they are bound to ("void DllFunction<T>::operator T() const [with T =
// void*]"); clang writes the arguments into the name and lists the bindings
// without "with" ("T DllFunction<void *>::operator void *() const [T = void
// *]"). The name shown in messages is the bare qualified name with the
// arguments in place and pointers written with a blank ("DllFunction<void
// *>::operator void *"), and functions of an unnamed namespace carry the
// "`anonymous-namespace'::" prefix, which GCC spells "{anonymous}" and clang
// "(anonymous namespace)". GCC's names of the integer types ("long unsigned
// int") and the inline namespace of its library ("std::__cxx11::") are shown
// as clang writes them. It is derived at compile time.
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

constexpr bool isWordAt(const char* s, std::size_t at, std::size_t end, const char* word) {
    const std::size_t after = at + length(word);
    return matchesAt(s, at, end, word) && (at == 0 || !isIdentChar(s[at - 1])) &&
           (after >= end || !isIdentChar(s[after]));
}

constexpr bool opensBracket(char c) { return c == '<' || c == '(' || c == '['; }
constexpr bool closesBracket(char c) { return c == '>' || c == ')' || c == ']'; }

// Spellings that differ between the compilers, and the one shown: the
// unnamed namespace, GCC's names of the integer types and the inline
// namespace of its library's strings.
struct Spelling {
    const char* compiler;
    const char* shown;
};

constexpr Spelling kSpellings[] = {
    {"{anonymous}", "`anonymous-namespace'"},
    {"(anonymous namespace)", "`anonymous-namespace'"},
    {"long long unsigned int", "unsigned long long"},
    {"long unsigned int", "unsigned long"},
    {"short unsigned int", "unsigned short"},
    {"long long int", "long long"},
    {"long int", "long"},
    {"short int", "short"},
    {"std::__cxx11::", "std::"},
};

// The spelling that starts at `at` as a whole word, or null.
constexpr const Spelling* spellingAt(const char* s, std::size_t at, std::size_t end) {
    if (at > 0 && isIdentChar(s[at - 1]) && isIdentChar(s[at])) {
        return nullptr;
    }
    for (const Spelling& spelling : kSpellings) {
        const std::size_t after = at + length(spelling.compiler);
        if (matchesAt(s, at, end, spelling.compiler) && (after >= end || !isIdentChar(s[after]) ||
                                                         !isIdentChar(s[after - 1]))) {
            return &spelling;
        }
    }
    return nullptr;
}

// The bracketed bindings that end the text, from the blank before them; an
// empty span at the end when there are none.
constexpr Span bindings(const char* s, std::size_t n) {
    if (n == 0 || s[n - 1] != ']') {
        return {n, n};
    }
    int depth = 0;
    for (std::size_t i = n; i-- > 0;) {
        if (s[i] == ']') {
            ++depth;
        } else if (s[i] == '[' && --depth == 0) {
            return i > 0 && s[i - 1] == ' ' ? Span{i - 1, n} : Span{n, n};
        }
    }
    return {n, n};
}

// GCC's bindings ("[with T = void*; int N = 3]") stand for parameters that
// the name still shows; clang's ("[T = void *, N = 3]") only repeat what the
// name already holds.
constexpr bool bindsNameParameters(const char* s, Span list) { return matchesAt(s, list.begin, list.end, " [with "); }

// The opening parenthesis of the parameter list, which the last closing one
// before `end` closes; `end` when there is none.
constexpr std::size_t parameterListStart(const char* s, std::size_t end) {
    std::size_t close = end;
    while (close > 0 && s[close - 1] != ')') {
        --close;
    }
    int depth = 0;
    for (std::size_t i = close; i-- > 0;) {
        if (s[i] == ')') {
            ++depth;
        } else if (s[i] == '(' && --depth == 0) {
            return i;
        }
    }
    return end;
}

// The qualified name starts after the last blank outside brackets that ends
// the return type, and after the '*' or '&' that clang writes against the
// name. Blanks after the word "operator" belong to the name ("operator void
// *").
constexpr std::size_t nameStart(const char* s, std::size_t open) {
    std::size_t begin = 0;
    int depth = 0;
    for (std::size_t i = 0; i < open && !(depth == 0 && isWordAt(s, i, open, "operator")); ++i) {
        if (opensBracket(s[i])) {
            ++depth;
        } else if (closesBracket(s[i])) {
            --depth;
        } else if (s[i] == ' ' && depth == 0) {
            begin = i + 1;
        }
    }
    while (begin < open && (s[begin] == '*' || s[begin] == '&')) {
        ++begin;
    }
    return begin;
}

// The return type: what precedes the name, without the blank between them.
constexpr Span returnType(const char* s, std::size_t nameBegin) {
    std::size_t end = nameBegin;
    while (end > 0 && s[end - 1] == ' ') {
        --end;
    }
    const std::size_t begin = matchesAt(s, 0, end, "static ") ? 7 : 0;
    return {begin, end < begin ? begin : end};
}

// Where the target type of a conversion operator starts in the name
// ("operator int"); the end of the name when it names no conversion.
constexpr std::size_t conversionTypeStart(const char* s, Span name) {
    int depth = 0;
    for (std::size_t i = name.begin; i < name.end; ++i) {
        if (depth == 0 && isWordAt(s, i, name.end, "operator")) {
            const std::size_t type = i + 9;
            const bool conversion = matchesAt(s, i, name.end, "operator ") && !isWordAt(s, type, name.end, "new") &&
                                    !isWordAt(s, type, name.end, "delete");
            return conversion ? type : name.end;
        }
        depth += opensBracket(s[i]) ? 1 : closesBracket(s[i]) ? -1 : 0;
    }
    return name.end;
}

constexpr bool sameText(const char* s, Span a, Span b) {
    if (a.end - a.begin != b.end - b.begin) {
        return false;
    }
    for (std::size_t k = 0; k < a.end - a.begin; ++k) {
        if (s[a.begin + k] != s[b.begin + k]) {
            return false;
        }
    }
    return true;
}

// The value that the bindings give the parameter `name`; an empty span when
// they give it none. GCC separates bindings with ';', clang with ','.
constexpr Span boundValue(const char* s, Span list, Span name) {
    if (list.end - list.begin < 2) {
        return {0, 0};
    }
    const bool gcc = bindsNameParameters(s, list);
    const char separator = gcc ? ';' : ',';
    const std::size_t last = list.end - 1;  // the closing ']'
    for (std::size_t i = list.begin + (gcc ? 7 : 2); i < last;) {
        std::size_t equals = i;
        while (equals < last && !matchesAt(s, equals, last, " = ")) {
            ++equals;
        }
        std::size_t keyBegin = equals;
        while (keyBegin > i && isIdentChar(s[keyBegin - 1])) {
            --keyBegin;
        }
        std::size_t valueEnd = equals + 3;
        for (int depth = 0; valueEnd < last && !(depth == 0 && s[valueEnd] == separator); ++valueEnd) {
            depth += opensBracket(s[valueEnd]) ? 1 : closesBracket(s[valueEnd]) ? -1 : 0;
        }
        if (sameText(s, {keyBegin, equals}, name)) {
            return {equals + 3, valueEnd};
        }
        i = valueEnd + 2;  // past "; " or ", "
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

    constexpr void putText(const char* text) {
        for (std::size_t i = 0; text[i]; ++i) {
            put(text[i]);
        }
    }

    // Writes s[at] on, or a spelling that differs between the compilers in
    // the one shown; gives the position after what it wrote.
    constexpr std::size_t putUnit(const char* s, std::size_t at, std::size_t end) {
        if (const Spelling* spelling = spellingAt(s, at, end)) {
            putText(spelling->shown);
            return at + length(spelling->compiler);
        }
        put(s[at]);
        return at + 1;
    }

    // A type, with a blank between a name and a following '*' or '&', as
    // MSVC writes it.
    constexpr std::size_t putTypeUnit(const char* s, std::size_t at, Span span) {
        if ((s[at] == '*' || s[at] == '&') && at > span.begin && (isIdentChar(s[at - 1]) || s[at - 1] == '>')) {
            put(' ');
        }
        return putUnit(s, at, span.end);
    }

    constexpr void putType(const char* s, Span span) {
        for (std::size_t i = span.begin; i < span.end;) {
            i = putTypeUnit(s, i, span);
        }
    }

    // Writes text of the name, with the template parameters that `list`
    // binds replaced by their values when `substitute` is set; a type when
    // `isType` is set.
    constexpr void putName(const char* s, Span span, Span list, bool substitute, bool isType) {
        for (std::size_t i = span.begin; i < span.end;) {
            if (substitute && isIdentChar(s[i]) && (i == span.begin || !isIdentChar(s[i - 1]))) {
                Span word{i, i};
                while (word.end < span.end && isIdentChar(s[word.end])) {
                    ++word.end;
                }
                const Span value = boundValue(s, list, word);
                putType(s, value.end > value.begin ? value : word);
                i = word.end;
            } else if (isType) {
                i = putTypeUnit(s, i, span);
            } else {
                i = putUnit(s, i, span.end);
            }
        }
    }
};

template <class Char, std::size_t N>
constexpr FunctionName<Char, N> makeFunctionName(const char* pretty) {
    const std::size_t n = length(pretty);
    const Span list = bindings(pretty, n);
    const bool gccBindings = bindsNameParameters(pretty, list);
    const std::size_t open = parameterListStart(pretty, list.begin);
    const Span name{open == list.begin ? 0 : nameStart(pretty, open), open};
    const std::size_t conversion = conversionTypeStart(pretty, name);
    Writer<Char, N> w;
    w.putName(pretty, {name.begin, conversion}, list, gccBindings, false);
    if (!gccBindings && conversion < name.end && name.begin > 0) {
        // clang names the target class of a conversion without its scope;
        // the return type names it in full.
        w.putName(pretty, returnType(pretty, name.begin), list, true, true);
    } else {
        w.putName(pretty, {conversion, name.end}, list, gccBindings, true);
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
