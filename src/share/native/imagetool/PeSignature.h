// The Authenticode signature of a 64-bit Windows program: whether it has
// one, who signed it, and whether the file is still the one that was
// signed. Whether the signer is trusted is not judged.
#pragma once

#include <string>

#include "tstrings.h"

namespace imagetool {

enum class SignatureKind {
    none,
    // The signature verifies and the image digest it signs is the file's.
    intact,
    // The file, or the signature, changed after signing.
    changed,
    // The certificate table is garbled, or holds no Authenticode signature.
    unreadable,
};

struct SignatureState {
    SignatureKind kind = SignatureKind::none;
    // For intact and changed: the subject common name of the signer's
    // certificate, or its whole subject when it has none; one line.
    tstring signer;
    // For unreadable: why, a clause such as "it is not PKCS#7 signed data".
    tstring reason;
};

// The signature of the program at `path`. Fails (exit code 1) only when the
// file cannot be read; a file that is not a 64-bit program is unreadable.
SignatureState readSignatureState(const tstring& path);

// The same from the file's bytes.
SignatureState signatureStateOf(const std::string& file);

}  // namespace imagetool
