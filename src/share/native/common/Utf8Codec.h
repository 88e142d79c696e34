// UTF-8 to and from wide text without the system's help, with the results of
// the Windows conversions: wide text is UTF-16 code units where wchar_t has
// 16 bits and code points where it has 32.
#pragma once

namespace tstrings::utf8 {

// The contract of MultiByteToWideChar with MB_ERR_INVALID_CHARS: invalid
// UTF-8 (a stray or missing continuation byte, an overlong form, an encoded
// surrogate, a code point above U+10FFFF) gives 0. Otherwise the number of
// wide units written, or needed when `out` is null; 0 when `outLength` is
// too small.
int decode(const char* text, int length, wchar_t* out, int outLength);

// The contract of WideCharToMultiByte with no flags: a surrogate without its
// partner (or, with 32-bit units, a value that is no code point) becomes
// U+FFFD. The number of bytes written, or needed when `out` is null; 0 when
// `outLength` is too small.
int encode(const wchar_t* text, int length, char* out, int outLength);

}  // namespace tstrings::utf8
