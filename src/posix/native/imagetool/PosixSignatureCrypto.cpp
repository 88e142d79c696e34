// The signature check's cryptography with OpenSSL's libcrypto.
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <climits>

#include "DerReader.h"
#include "OpenSslPtr.h"
#include "SignatureCrypto.h"

namespace imagetool {

namespace {

using Pkcs7Ptr = OpenSslPtr<PKCS7, PKCS7_free>;
using DigestContextPtr = OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;

// OpenSSL's own reasons are not shown; the queue only needs to be empty
// for the next call.
class ErrorQueueCleaner {
public:
    ErrorQueueCleaner() = default;
    ~ErrorQueueCleaner() { ERR_clear_error(); }
    ErrorQueueCleaner(const ErrorQueueCleaner&) = delete;
    ErrorQueueCleaner& operator=(const ErrorQueueCleaner&) = delete;
};

std::string dotted(const ASN1_OBJECT* object) {
    char text[128];
    const int length = OBJ_obj2txt(text, sizeof text, object, 1);
    return length > 0 && static_cast<std::size_t>(length) < sizeof text ? std::string(text, length) : std::string();
}

bool isPkcs7ContentType(int nid) {
    return nid == NID_pkcs7_data || nid == NID_pkcs7_signed || nid == NID_pkcs7_enveloped ||
           nid == NID_pkcs7_signedAndEnveloped || nid == NID_pkcs7_digest || nid == NID_pkcs7_encrypted;
}

// A content of another type is kept as it was read.
std::string otherContent(const PKCS7& contents) {
    if (isPkcs7ContentType(OBJ_obj2nid(contents.type)) || !contents.d.other) {
        return std::string();
    }
    const int length = i2d_ASN1_TYPE(contents.d.other, nullptr);
    if (length <= 0) {
        return std::string();
    }
    std::string der(static_cast<std::size_t>(length), '\0');
    unsigned char* out = reinterpret_cast<unsigned char*>(der.data());
    return i2d_ASN1_TYPE(contents.d.other, &out) == length ? der : std::string();
}

tstring utf8Text(const ASN1_STRING* value) {
    unsigned char* text = nullptr;
    const int length = ASN1_STRING_to_UTF8(&text, value);
    const OpenSslText owned(text);
    return length > 0 ? tstrings::fromUtf8(std::string(reinterpret_cast<const char*>(text), length)) : tstring();
}

// "C=DE, O=Example": the attributes in the order of the certificate, as
// Windows writes them.
tstring wholeName(const X509_NAME* name) {
    const BioPtr out(BIO_new(BIO_s_mem()));
    const unsigned long flags = XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN | ASN1_STRFLGS_UTF8_CONVERT;
    if (!out || X509_NAME_print_ex(out.get(), name, 0, flags) < 0) {
        return tstring();
    }
    char* text = nullptr;
    const long length = BIO_get_mem_data(out.get(), &text);
    return length > 0 ? tstrings::fromUtf8(std::string(text, static_cast<std::size_t>(length))) : tstring();
}

tstring signerName(X509* certificate) {
    const X509_NAME* subject = X509_get_subject_name(certificate);
    const int at = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (at >= 0) {
        const tstring commonName = utf8Text(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, at)));
        if (!commonName.empty()) {
            return commonName;
        }
    }
    return wholeName(subject);
}

const EVP_MD* digestMethod(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::sha1:
            return EVP_sha1();
        case DigestAlgorithm::sha256:
            return EVP_sha256();
        case DigestAlgorithm::sha384:
            return EVP_sha384();
        case DigestAlgorithm::sha512:
            return EVP_sha512();
    }
    return nullptr;
}

// Authenticode signs the content's value, without its tag and length. The
// signer's own digest algorithm is the one that counts, as for Windows, and
// Authenticode always signs attributes.
bool signatureVerifies(PKCS7* message, PKCS7_SIGNER_INFO* signer, X509* certificate, const std::string& content) {
    const std::optional<DigestAlgorithm> algorithm = digestAlgorithmWithOid(dotted(signer->digest_alg->algorithm));
    std::string_view value;
    try {
        value = firstDerElement(content).value;
    } catch (const DerError&) {
        return false;
    }
    if (!algorithm || value.size() > INT_MAX || !PKCS7_digest_from_attributes(signer->auth_attr)) {
        return false;
    }
    BioPtr memory(BIO_new_mem_buf(value.data(), static_cast<int>(value.size())));
    const BioPtr digesting(BIO_new(BIO_f_md()));
    if (!memory || !digesting || BIO_set_md(digesting.get(), digestMethod(*algorithm)) != 1) {
        return false;
    }
    BIO_push(digesting.get(), memory.release());
    char buffer[4096];
    while (BIO_read(digesting.get(), buffer, sizeof buffer) > 0) {
    }
    return PKCS7_signatureVerify(digesting.get(), message, signer, certificate) == 1;
}

}  // namespace

std::optional<SignedData> readSignedData(std::string_view message) {
    const ErrorQueueCleaner cleaner;
    if (message.size() > LONG_MAX) {
        return std::nullopt;
    }
    const unsigned char* at = reinterpret_cast<const unsigned char*>(message.data());
    const Pkcs7Ptr pkcs7(d2i_PKCS7(nullptr, &at, static_cast<long>(message.size())));
    if (!pkcs7 || !PKCS7_type_is_signed(pkcs7.get()) || !pkcs7->d.sign || !pkcs7->d.sign->contents) {
        return std::nullopt;
    }
    SignedData data;
    const PKCS7_SIGNED& signedData = *pkcs7->d.sign;
    data.contentType = dotted(signedData.contents->type);
    data.content = otherContent(*signedData.contents);
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(pkcs7.get());
    const int signerCount = signers ? sk_PKCS7_SIGNER_INFO_num(signers) : 0;
    data.signerCount = signerCount > 0 ? static_cast<std::size_t>(signerCount) : 0;
    if (data.signerCount != 1) {
        return data;
    }
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    const PKCS7_ISSUER_AND_SERIAL* issuer = signer->issuer_and_serial;
    X509* certificate =
        issuer ? X509_find_by_issuer_and_serial(signedData.cert, issuer->issuer, issuer->serial) : nullptr;
    if (!certificate) {
        return data;
    }
    data.signerCertificateFound = true;
    data.signer = signerName(certificate);
    data.signatureVerifies = signatureVerifies(pkcs7.get(), signer, certificate, data.content);
    return data;
}

std::string digestOf(DigestAlgorithm algorithm, const std::vector<std::string_view>& pieces) {
    const DigestContextPtr context(EVP_MD_CTX_new());
    bool done = context && EVP_DigestInit_ex(context.get(), digestMethod(algorithm), nullptr) == 1;
    for (const std::string_view piece : pieces) {
        done = done && EVP_DigestUpdate(context.get(), piece.data(), piece.size()) == 1;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    done = done && EVP_DigestFinal_ex(context.get(), digest, &length) == 1;
    ERR_clear_error();
    // Without a digest nothing can equal the signed one.
    return done ? std::string(reinterpret_cast<const char*>(digest), length) : std::string();
}

}  // namespace imagetool
