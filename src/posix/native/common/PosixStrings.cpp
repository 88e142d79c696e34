// Conversions between wide text and the narrow encodings on systems whose
// narrow encoding is UTF-8 throughout: the ANSI code page is UTF-8 too, as
// the launcher's manifest makes it on Windows.
#include "Utf8Codec.h"
#include "tstrings.h"

namespace tstrings::platform {

int narrowToWide(Encoding, const char* text, int length, wchar_t* out, int outLength) {
    return utf8::decode(text, length, out, outLength);
}

int wideToNarrow(Encoding, const wchar_t* text, int length, char* out, int outLength) {
    return utf8::encode(text, length, out, outLength);
}

}  // namespace tstrings::platform
