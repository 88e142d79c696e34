// Owners of libcrypto's objects, each freed with its own function.
#pragma once

#include <memory>

#include <openssl/bio.h>
#include <openssl/crypto.h>

namespace imagetool {

template <auto release>
struct OpenSslRelease {
    template <class T>
    void operator()(T* object) const {
        release(object);
    }
};

template <class T, auto release>
using OpenSslPtr = std::unique_ptr<T, OpenSslRelease<release>>;

using BioPtr = OpenSslPtr<BIO, BIO_free_all>;

struct OpenSslFree {
    void operator()(void* memory) const { OPENSSL_free(memory); }
};

// Text that libcrypto allocated for its caller.
using OpenSslText = std::unique_ptr<unsigned char, OpenSslFree>;

}  // namespace imagetool
