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
    return bytes.substr(offset, length);
}

void putU16(std::string& bytes, std::size_t offset, std::uint16_t value) { put(bytes, offset, value, 2); }

void putU32(std::string& bytes, std::size_t offset, std::uint32_t value) { put(bytes, offset, value, 4); }

void appendU16(std::string& bytes, std::uint16_t value) { append(bytes, value, 2); }

void appendU32(std::string& bytes, std::uint32_t value) { append(bytes, value, 4); }

void padTo(std::string& bytes, std::size_t alignment) {
    bytes.resize(static_cast<std::size_t>(alignUp(bytes.size(), alignment)), '\0');
}

}  // namespace imagetool
