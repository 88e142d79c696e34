// UTF-8 text and the wide text it stands for, for the tests of the portable
// codec and of the system's conversions. Wide literals hold UTF-16 units
// where wchar_t has 16 bits and code points where it has 32.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tstrings.h"

namespace utf8_cases {

struct Utf8Case {
    std::string utf8;
    tstring wide;
};

// Units outside printable ASCII as \xNN: the tests' names carry this text,
// on one line.
template <class Unit>
void printEscaped(const std::basic_string<Unit>& text, std::ostream* os) {
    static const char digits[] = "0123456789ABCDEF";
    for (const Unit unit : text) {
        const unsigned long value = static_cast<unsigned long>(unit) & (sizeof(Unit) == 1 ? 0xff : 0xffffffff);
        if (value >= 0x20 && value < 0x7f && value != '"' && value != '\\') {
            *os << static_cast<char>(value);
            continue;
        }
        *os << "\\x";
        for (int shift = value > 0xff ? (value > 0xffff ? 20 : 12) : 4; shift >= 0; shift -= 4) {
            *os << digits[(value >> shift) & 0xf];
        }
    }
}

inline void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << '"';
    printEscaped(c.utf8, os);
    *os << "\" L\"";
    printEscaped(c.wide, os);
    *os << '"';
}

// Valid UTF-8, from the first and last code point of each sequence length
// to the code points around the surrogates and characters outside the Basic
// Multilingual Plane.
inline const std::vector<Utf8Case> kValid = {
    {"a", L"a"},
    {std::string("a\0b", 3), tstring(L"a\0b", 3)},
    {"\x7f", L"\x007f"},
    {"\xc2\x80", L"\x0080"},
    {"\xc3\xa9", L"\x00e9"},
    {"\xdf\xbf", L"\x07ff"},
    {"\xe0\xa0\x80", L"\x0800"},
    {"\xe2\x82\xac", L"\x20ac"},
    {"\xed\x9f\xbf", L"\xd7ff"},
    {"\xee\x80\x80", L"\xe000"},
    {"\xef\xbb\xbf", L"\xfeff"},
    {"\xef\xbf\xbd", L"\xfffd"},
    {"\xef\xbf\xbe", L"\xfffe"},
    {"\xef\xbf\xbf", L"\xffff"},
    {"\xf0\x90\x80\x80", L"\U00010000"},
    {"\xf0\x9f\x98\x80", L"\U0001F600"},
    {"\xf3\xbf\xbf\xbf", L"\U000FFFFF"},
    {"\xf4\x8f\xbf\xbf", L"\U0010FFFF"},
    {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z", L"a\x00e9\x20ac\U0001F600z"},
    {"\xf0\x9f\x98\x80\xf0\x9f\x98\x80", L"\U0001F600\U0001F600"},
};

// Invalid UTF-8: stray continuation bytes, truncated sequences, overlong
// forms, encoded surrogates, code points above U+10FFFF and the bytes that
// never lead a sequence.
inline const std::vector<std::string> kInvalid = {
    "\x80",
    "\xbf",
    "a\x80z",
    "\xc3\xa9\xa9",
    "\xc3",
    "\xc3z",
    "\xe2\x82",
    "\xe2\x82z",
    "\xe2z\xac",
    "\xf0\x9f\x98",
    "\xf0\x9f\x98z",
    "valid start \xff",
    "\xc0\xaf",
    "\xc0\x80",
    "\xc1\xbf",
    "\xe0\x80\x80",
    "\xe0\x9f\xbf",
    "\xf0\x80\x80\x80",
    "\xf0\x8f\xbf\xbf",
    "\xed\xa0\x80",
    "\xed\xbf\xbf",
    "\xed\xa0\xbd\xed\xb8\x80",
    "\xf4\x90\x80\x80",
    "\xf7\xbf\xbf\xbf",
    "\xf5\x80\x80\x80",
    "\xf8\x88\x80\x80\x80",
    "\xfc\x84\x80\x80\x80\x80",
    "\xfe",
    "\xff",
};

// Wide text that is no code point, and the UTF-8 it becomes: every
// surrogate without its partner is U+FFFD.
inline const std::vector<Utf8Case> kReplaced = {
    {"\xef\xbf\xbd", L"\xd800"},
    {"\xef\xbf\xbd", L"\xdbff"},
    {"\xef\xbf\xbd", L"\xdc00"},
    {"\xef\xbf\xbd", L"\xdfff"},
    {"a\xef\xbf\xbd", L"a\xd83d"},
    {"\xef\xbf\xbdz", L"\xd83dz"},
    {"\xef\xbf\xbdz", L"\xde00z"},
    {"\xef\xbf\xbd\xef\xbf\xbd", L"\xde00\xd83d"},
};

}  // namespace utf8_cases
