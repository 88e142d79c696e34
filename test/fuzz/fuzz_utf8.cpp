// The UTF-8 codec on arbitrary bytes: decoding agrees with an independent
// check of well-formedness, encoding gives the bytes back, and measuring
// agrees with writing.
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Utf8Codec.h"

using fuzz::check;
namespace utf8 = tstrings::utf8;

namespace {

// Code points need one unit each with 32-bit units, and those above U+FFFF
// two with 16-bit ones.
std::size_t expectedUnits(const std::string& bytes) {
    std::size_t units = 0;
    for (char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80 ? 1 : 0;
        units += sizeof(wchar_t) == 2 && byte >= 0xF0 ? 1 : 0;
    }
    return units;
}

void checkDecode(const std::string& bytes) {
    const int length = static_cast<int>(bytes.size());
    const int measured = utf8::decode(bytes.data(), length, nullptr, 0);
    const bool valid = fuzz::isValidUtf8(bytes);
    check(bytes.empty() ? measured == 0 : (measured > 0) == valid, "decode disagrees with the reference check");
    if (measured <= 0) {
        return;
    }
    check(static_cast<std::size_t>(measured) == expectedUnits(bytes), "wrong number of wide units");
    std::vector<wchar_t> wide(static_cast<std::size_t>(measured) + 1, L'#');
    check(utf8::decode(bytes.data(), length, wide.data(), measured) == measured, "writing gives another count");
    check(wide.back() == L'#', "decode wrote past its length");
    check(measured == 1 || utf8::decode(bytes.data(), length, wide.data(), measured - 1) == 0,
          "decode into too small a buffer did not fail");

    const int encodedSize = utf8::encode(wide.data(), measured, nullptr, 0);
    check(encodedSize == length, "encoding measures another size");
    std::string encoded(bytes.size() + 1, '#');
    check(utf8::encode(wide.data(), measured, &encoded[0], encodedSize) == encodedSize, "encoding writes another size");
    check(encoded.back() == '#', "encode wrote past its length");
    encoded.pop_back();
    check(encoded == bytes, "encode(decode(x)) differs from x");
}

// 32-bit units: what is above U+10FFFF or a surrogate reads as U+FFFD.
std::vector<wchar_t> withReplacements(std::vector<wchar_t> wide) {
    for (wchar_t& unit : wide) {
        const std::uint32_t value = static_cast<std::uint32_t>(unit);
        if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            unit = static_cast<wchar_t>(0xFFFD);
        }
    }
    return wide;
}

// Wide text from the bytes four at a time (or two for 16-bit units), any
// value at all: encoding gives valid UTF-8 that decodes to the text with
// every value that is no character replaced by U+FFFD.
void checkEncodeOfAnyUnits(const std::string& bytes) {
    std::vector<wchar_t> wide(bytes.size() / sizeof(wchar_t));
    if (wide.empty()) {
        return;
    }
    std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
    const int length = static_cast<int>(wide.size());
    const int measured = utf8::encode(wide.data(), length, nullptr, 0);
    check(measured > 0, "encoding failed");
    std::string encoded(static_cast<std::size_t>(measured), '\0');
    check(utf8::encode(wide.data(), length, &encoded[0], measured) == measured, "encoding writes another size");
    check(fuzz::isValidUtf8(encoded), "encoding is not valid UTF-8");
    std::vector<wchar_t> decoded(wide.size() * 2);
    const int units = utf8::decode(encoded.data(), measured, decoded.data(), static_cast<int>(decoded.size()));
    check(units > 0, "encoded text does not decode");
    decoded.resize(static_cast<std::size_t>(units));
    if constexpr (sizeof(wchar_t) == 4) {
        check(decoded == withReplacements(wide), "decode(encode(x)) differs from x with replacements");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > INT_MAX / 4) {
        return 0;
    }
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    checkDecode(bytes);
    checkEncodeOfAnyUnits(bytes);
    return 0;
}
