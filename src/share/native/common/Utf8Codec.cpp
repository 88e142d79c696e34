// UTF-8 to and from wide text, written once for both widths of wchar_t.
#include "Utf8Codec.h"

#include <climits>
#include <cstddef>
#include <string>
#include <type_traits>

namespace tstrings::utf8 {

namespace {

constexpr bool kUtf16Units = sizeof(wchar_t) == 2;
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The length of the input in units: -1 stands for the text up to its NUL and
// the NUL itself. Text that ends beyond INT_MAX units gives -1.
template <class Unit>
int inputLength(const Unit* text, int length) {
    if (length != -1) {
        return length;
    }
    const std::size_t terminated = std::char_traits<Unit>::length(text) + 1;
    return terminated > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(terminated);
}

// The arguments that the system's conversions refuse.
template <class In, class Out>
bool refused(const In* text, int length, const Out* out, int outLength) {
    return !text || length == 0 || length < -1 || outLength < 0 || (!out && outLength != 0);
}

// Collects output units, counting them when there is no room at all, and
// notes when the room is too small.
template <class Unit>
class Sink {
public:
    Sink(Unit* out, int capacity) : out(capacity > 0 ? out : nullptr), capacity(capacity) {}

    void put(Unit unit) {
        if (out) {
            if (count >= capacity) {
                overflow = true;
                return;
            }
            out[count] = unit;
        }
        ++count;
    }

    int result() const { return overflow || count > INT_MAX ? 0 : static_cast<int>(count); }

private:
    Unit* out;
    int capacity;
    long long count = 0;
    bool overflow = false;
};

// The code point of the sequence that starts at `pos`, moving past it; false
// for invalid input.
bool decodeOne(const unsigned char* text, int length, int& pos, char32_t& codePoint) {
    const unsigned char lead = text[pos];
    int extra;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        ++pos;
        return true;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return false;
    }
    if (length - pos <= extra) {
        return false;
    }
    for (int i = 1; i <= extra; ++i) {
        const unsigned char next = text[pos + i];
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > kMaxCodePoint || isSurrogate(codePoint)) {
        return false;
    }
    pos += extra + 1;
    return true;
}

void putWide(Sink<wchar_t>& sink, char32_t codePoint) {
    if (kUtf16Units && codePoint > 0xFFFF) {
        const char32_t offset = codePoint - 0x10000;
        sink.put(static_cast<wchar_t>(0xD800 + (offset >> 10)));
        sink.put(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
    } else {
        sink.put(static_cast<wchar_t>(codePoint));
    }
}

// The code point of the unit or surrogate pair that starts at `pos`, moving
// past it; what is no code point reads as U+FFFD.
char32_t nextCodePoint(const wchar_t* text, int length, int& pos) {
    const char32_t unit = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[pos++]));
    if (!kUtf16Units) {
        return unit > kMaxCodePoint || isSurrogate(unit) ? kReplacement : unit;
    }
    if (isHighSurrogate(unit) && pos < length) {
        const char32_t low = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[pos]));
        if (isLowSurrogate(low)) {
            ++pos;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return isSurrogate(unit) ? kReplacement : unit;
}

void putUtf8(Sink<char>& sink, char32_t c) {
    if (c < 0x80) {
        sink.put(static_cast<char>(c));
    } else if (c < 0x800) {
        sink.put(static_cast<char>(0xC0 | (c >> 6)));
        sink.put(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        sink.put(static_cast<char>(0xE0 | (c >> 12)));
        sink.put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        sink.put(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        sink.put(static_cast<char>(0xF0 | (c >> 18)));
        sink.put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        sink.put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        sink.put(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

int decode(const char* text, int length, wchar_t* out, int outLength) {
    if (refused(text, length, out, outLength)) {
        return 0;
    }
    length = inputLength(text, length);
    if (length < 0) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    Sink<wchar_t> sink(out, outLength);
    for (int pos = 0; pos < length;) {
        char32_t codePoint;
        if (!decodeOne(bytes, length, pos, codePoint)) {
            return 0;
        }
        putWide(sink, codePoint);
    }
    return sink.result();
}

int encode(const wchar_t* text, int length, char* out, int outLength) {
    if (refused(text, length, out, outLength)) {
        return 0;
    }
    length = inputLength(text, length);
    if (length < 0) {
        return 0;
    }
    Sink<char> sink(out, outLength);
    for (int pos = 0; pos < length;) {
        putUtf8(sink, nextCodePoint(text, length, pos));
    }
    return sink.result();
}

}  // namespace tstrings::utf8
