// The few DER elements that reading a signature needs, read with bounds
// checks: one definite-length element after another, and object
// identifiers in dotted form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace imagetool {

namespace der_tag {
const std::uint8_t octetString = 0x04;
const std::uint8_t objectIdentifier = 0x06;
const std::uint8_t sequence = 0x30;
}  // namespace der_tag

// Bytes that are not the DER the reader expects.
class DerError : public std::runtime_error {
public:
    DerError() : std::runtime_error("garbled DER") {}
};

struct DerElement {
    std::uint8_t tag = 0;
    // The value's bytes, and the element with its tag and length.
    std::string_view value;
    std::string_view whole;
};

// Reads the elements of `bytes` in order; whatever does not fit throws
// DerError.
class DerReader {
public:
    explicit DerReader(std::string_view bytes) : rest(bytes) {}

    bool atEnd() const { return rest.empty(); }

    DerElement next();
    // The next element, which must have `tag`.
    DerElement next(std::uint8_t tag);

private:
    std::size_t readLength(std::size_t& at) const;

    std::string_view rest;
};

// The one element that `bytes` starts with; what follows it is ignored.
DerElement firstDerElement(std::string_view bytes);

// "1.2.840..." for the value of an object identifier.
std::string dottedOid(std::string_view value);

}  // namespace imagetool
