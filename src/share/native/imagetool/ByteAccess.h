// Little-endian fields in byte strings, read and written byte by byte with
// bounds checks, so that no unaligned or out-of-range access can happen
// whatever the input holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace imagetool {

// Reads fields of `bytes`; a field that does not fit fails as a garbled
// program with the reader's reason.
class ByteReader {
public:
    ByteReader(std::string_view bytes, std::string reasonWhenShort)
        : bytes(bytes), reasonWhenShort(std::move(reasonWhenShort)) {}

    std::uint8_t u8(std::size_t offset) const;
    std::uint16_t u16(std::size_t offset) const;
    std::uint32_t u32(std::size_t offset) const;
    std::uint64_t u64(std::size_t offset) const;
    std::string slice(std::size_t offset, std::size_t length) const;
    // Fails unless `length` bytes from `offset` lie within the bytes.
    void require(std::size_t offset, std::size_t length) const;

    std::size_t size() const { return bytes.size(); }

private:
    std::uint64_t little(std::size_t offset, std::size_t width) const;

    std::string_view bytes;
    std::string reasonWhenShort;
};

// Overwrite fields of a buffer whose size the caller laid out; writing past
// its end is a programming error and throws std::out_of_range.
void putU16(std::string& bytes, std::size_t offset, std::uint16_t value);
void putU32(std::string& bytes, std::size_t offset, std::uint32_t value);

void appendU16(std::string& bytes, std::uint16_t value);
void appendU32(std::string& bytes, std::uint32_t value);

// Wide text as UTF-16 code units: what it holds already where wchar_t has
// 16 bits, code points elsewhere.
std::u16string toUtf16(const std::wstring& text);
// Appends the code units little-endian, without a terminator.
void appendUtf16(std::string& bytes, const std::u16string& text);

// Pads with zero bytes up to a multiple of `alignment`.
void padTo(std::string& bytes, std::size_t alignment);

constexpr std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

}  // namespace imagetool
