// Little-endian fields in byte strings, read and written byte by byte with
// bounds checks.
#include "ByteAccess.h"

#include <stdexcept>

#include "PeImageError.h"

namespace imagetool {

namespace {

void put(std::string& bytes, std::size_t offset, std::uint32_t value, std::size_t width) {
    if (offset > bytes.size() || bytes.size() - offset < width) {
        throw std::out_of_range("a field is written past the end of its buffer");
    }
    for (std::size_t i = 0; i < width; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void append(std::string& bytes, std::uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

}  // namespace

void ByteReader::require(std::size_t offset, std::size_t length) const {
    if (offset > bytes.size() || bytes.size() - offset < length) {
        failNotAProgram(reasonWhenShort);
    }
}

std::uint64_t ByteReader::little(std::size_t offset, std::size_t width) const {
    require(offset, width);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= std::uint64_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
    }
    return value;
}

std::uint8_t ByteReader::u8(std::size_t offset) const { return static_cast<std::uint8_t>(little(offset, 1)); }

std::uint16_t ByteReader::u16(std::size_t offset) const { return static_cast<std::uint16_t>(little(offset, 2)); }

std::uint32_t ByteReader::u32(std::size_t offset) const { return static_cast<std::uint32_t>(little(offset, 4)); }

std::uint64_t ByteReader::u64(std::size_t offset) const { return little(offset, 8); }

std::string ByteReader::slice(std::size_t offset, std::size_t length) const {
    require(offset, length);
    return std::string(bytes.substr(offset, length));
}

void putU16(std::string& bytes, std::size_t offset, std::uint16_t value) { put(bytes, offset, value, 2); }

void putU32(std::string& bytes, std::size_t offset, std::uint32_t value) { put(bytes, offset, value, 4); }

void appendU16(std::string& bytes, std::uint16_t value) { append(bytes, value, 2); }

void appendU32(std::string& bytes, std::uint32_t value) { append(bytes, value, 4); }

std::u16string toUtf16(const std::wstring& text) {
    std::u16string units;
    for (const wchar_t c : text) {
        const auto value = static_cast<std::uint32_t>(c);
        if (value > 0xFFFF) {
            units.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(value));
        }
    }
    return units;
}

void appendUtf16(std::string& bytes, const std::u16string& text) {
    for (const char16_t unit : text) {
        append(bytes, unit, 2);
    }
}

void padTo(std::string& bytes, std::size_t alignment) {
    bytes.resize(static_cast<std::size_t>(alignUp(bytes.size(), alignment)), '\0');
}

}  // namespace imagetool
