// The few DER elements that reading a signature needs.
#include "DerReader.h"

namespace imagetool {

namespace {

const std::uint8_t highTagNumber = 0x1F;
const std::uint8_t longLengthForm = 0x80;
// A signature is far smaller than what four length bytes can give.
const std::size_t maxLengthBytes = 4;

std::uint8_t byteAt(std::string_view bytes, std::size_t at) {
    if (at >= bytes.size()) {
        throw DerError();
    }
    return static_cast<std::uint8_t>(bytes[at]);
}

}  // namespace

std::size_t DerReader::readLength(std::size_t& at) const {
    const std::uint8_t first = byteAt(rest, at++);
    if ((first & longLengthForm) == 0) {
        return first;
    }
    const std::size_t count = first & ~longLengthForm;
    // Zero bytes is the indefinite form, which DER does not have.
    if (count == 0 || count > maxLengthBytes) {
        throw DerError();
    }
    std::size_t length = 0;
    for (std::size_t i = 0; i < count; ++i) {
        length = (length << 8) | byteAt(rest, at++);
    }
    return length;
}

DerElement DerReader::next() {
    DerElement element;
    element.tag = byteAt(rest, 0);
    if ((element.tag & highTagNumber) == highTagNumber) {
        throw DerError();
    }
    std::size_t at = 1;
    const std::size_t length = readLength(at);
    if (length > rest.size() - at) {
        throw DerError();
    }
    element.value = rest.substr(at, length);
    element.whole = rest.substr(0, at + length);
    rest.remove_prefix(at + length);
    return element;
}

DerElement DerReader::next(std::uint8_t tag) {
    const DerElement element = next();
    if (element.tag != tag) {
        throw DerError();
    }
    return element;
}

DerElement firstDerElement(std::string_view bytes) { return DerReader(bytes).next(); }

std::string dottedOid(std::string_view value) {
    std::string text;
    std::uint64_t arc = 0;
    for (std::size_t at = 0; at < value.size(); ++at) {
        const std::uint8_t byte = static_cast<std::uint8_t>(value[at]);
        if (arc > (UINT64_MAX >> 7)) {
            throw DerError();
        }
        arc = (arc << 7) | (byte & 0x7F);
        if ((byte & 0x80) != 0) {
            continue;
        }
        if (text.empty()) {
            const std::uint64_t first = arc < 80 ? arc / 40 : 2;
            text = std::to_string(first) + "." + std::to_string(arc - 40 * first);
        } else {
            text += "." + std::to_string(arc);
        }
        arc = 0;
    }
    if (text.empty() || (static_cast<std::uint8_t>(value.back()) & 0x80) != 0) {
        throw DerError();
    }
    return text;
}

}  // namespace imagetool
