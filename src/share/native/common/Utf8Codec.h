// UTF-8 to and from wide text without the system's help, with the results of
// the Windows conversions: wide text is UTF-16 code units where wchar_t has
// 16 bits and code points where it has 32.
#pragma once

namespace tstrings::utf8 {

// Both functions take the length of `text` in units, or -1 for text that
// ends at a NUL, the NUL included. They give the number of units written, or
// needed when `outLength` is 0 (`out` is not used then); 0 when `outLength`
// is too small, and 0 for no text, a null `out` with a non-zero
// `outLength`, and negative lengths but -1.

// The contract of MultiByteToWideChar with MB_ERR_INVALID_CHARS: invalid
// UTF-8 (a stray or missing continuation byte, an overlong form, an encoded
// surrogate, a code point above U+10FFFF) gives 0.
int decode(const char* text, int length, wchar_t* out, int outLength);

// The contract of WideCharToMultiByte with no flags: a surrogate without its
// partner (or, with 32-bit units, a value that is no code point) becomes
// U+FFFD.
int encode(const wchar_t* text, int length, char* out, int outLength);

}  // namespace tstrings::utf8
