// The system's conversions between UTF-16 and the narrow code pages.
#include <windows.h>

#include "tstrings.h"

// Every wide text the system takes or gives is UTF-16.
static_assert(sizeof(wchar_t) == 2, "wchar_t holds one UTF-16 code unit");

namespace tstrings::platform {

namespace {

UINT codePageOf(Encoding encoding) { return encoding == Encoding::utf8 ? CP_UTF8 : CP_ACP; }

}  // namespace

int narrowToWide(Encoding encoding, const char* text, int length, wchar_t* out, int outLength) {
    return ::MultiByteToWideChar(codePageOf(encoding), MB_ERR_INVALID_CHARS, text, length, out, outLength);
}

int wideToNarrow(Encoding encoding, const wchar_t* text, int length, char* out, int outLength) {
    return ::WideCharToMultiByte(codePageOf(encoding), 0, text, length, out, outLength, nullptr, nullptr);
}

}  // namespace tstrings::platform
