// The cryptography of a signature check, which each platform layer does
// with the system's own library: reading a PKCS#7 SignedData message,
// verifying its signer's signature, and digests.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tstrings.h"

namespace imagetool {

enum class DigestAlgorithm { sha1, sha256, sha384, sha512 };

// The algorithm with the dotted object identifier `oid`, or nothing for one
// that the check does not know.
inline std::optional<DigestAlgorithm> digestAlgorithmWithOid(std::string_view oid) {
    if (oid == "1.3.14.3.2.26") {
        return DigestAlgorithm::sha1;
    }
    if (oid == "2.16.840.1.101.3.4.2.1") {
        return DigestAlgorithm::sha256;
    }
    if (oid == "2.16.840.1.101.3.4.2.2") {
        return DigestAlgorithm::sha384;
    }
    if (oid == "2.16.840.1.101.3.4.2.3") {
        return DigestAlgorithm::sha512;
    }
    return std::nullopt;
}

// What a SignedData message says about its content and its signers.
struct SignedData {
    // The dotted object identifier of the content's type.
    std::string contentType;
    // The DER encoding of the content, tag and length included, for a type
    // that is not one of PKCS#7's own.
    std::string content;
    std::size_t signerCount = 0;
    // The rest is about the one signer of a message that has one.
    bool signerCertificateFound = false;
    // The subject common name of the signer's certificate, or its whole
    // subject in one line when it has none.
    tstring signer;
    // The signature verifies with the certificate's public key over the
    // signed attributes, whose message digest is the content's: the digest
    // of its value, without its tag and length. Nothing about trust.
    bool signatureVerifies = false;
};

// Nothing when `message` is not a DER PKCS#7 SignedData message.
std::optional<SignedData> readSignedData(std::string_view message);

// The digest of the pieces one after another.
std::string digestOf(DigestAlgorithm algorithm, const std::vector<std::string_view>& pieces);

}  // namespace imagetool
