// The signature check's cryptography with the system's crypt32 and bcrypt.
#include <windows.h>
#include <wincrypt.h>
#include <bcrypt.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "DerReader.h"
#include "OwnedResource.h"
#include "SignatureCrypto.h"

namespace imagetool {

namespace {

const DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// BCryptHashData takes at most this many bytes at once.
const std::size_t maxHashedAtOnce = 0x40000000;

void closeMessage(HCRYPTMSG message) noexcept { ::CryptMsgClose(message); }
void closeStore(HCERTSTORE store) noexcept { ::CertCloseStore(store, 0); }
void freeCertificate(PCCERT_CONTEXT certificate) noexcept { ::CertFreeCertificateContext(certificate); }
void closeAlgorithm(BCRYPT_ALG_HANDLE algorithm) noexcept { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
void destroyHash(BCRYPT_HASH_HANDLE hash) noexcept { ::BCryptDestroyHash(hash); }

using OwnedMessage = OwnedResource<ownedresource::CloseTraits<HCRYPTMSG, nullptr, closeMessage>>;
using OwnedStore = OwnedResource<ownedresource::CloseTraits<HCERTSTORE, nullptr, closeStore>>;
using OwnedCertificate = OwnedResource<ownedresource::CloseTraits<PCCERT_CONTEXT, nullptr, freeCertificate>>;
using OwnedAlgorithm = OwnedResource<ownedresource::CloseTraits<BCRYPT_ALG_HANDLE, nullptr, closeAlgorithm>>;
using OwnedHash = OwnedResource<ownedresource::CloseTraits<BCRYPT_HASH_HANDLE, nullptr, destroyHash>>;

// A parameter of the message, in memory aligned for the structure that
// it holds.
class MessageParam {
public:
    MessageParam(HCRYPTMSG message, DWORD type) {
        DWORD size = 0;
        if (!::CryptMsgGetParam(message, type, 0, nullptr, &size)) {
            return;
        }
        storage.resize(size / sizeof(std::max_align_t) + 1);
        found = ::CryptMsgGetParam(message, type, 0, storage.data(), &size) != FALSE;
        length = size;
    }

    bool present() const { return found; }
    template <class T>
    const T& as() const {
        return *reinterpret_cast<const T*>(storage.data());
    }
    std::string bytes() const { return std::string(reinterpret_cast<const char*>(storage.data()), length); }

private:
    std::vector<std::max_align_t> storage;
    DWORD length = 0;
    bool found = false;
};

std::optional<DWORD> messageNumber(HCRYPTMSG message, DWORD type) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!::CryptMsgGetParam(message, type, 0, &value, &size)) {
        return std::nullopt;
    }
    return value;
}

OwnedCertificate signerCertificate(HCRYPTMSG message) {
    const MessageParam issuerAndSerial(message, CMSG_SIGNER_CERT_INFO_PARAM);
    const OwnedStore store(::CertOpenStore(CERT_STORE_PROV_MSG, encoding, 0, 0, message));
    if (!issuerAndSerial.present() || !store) {
        return OwnedCertificate();
    }
    return OwnedCertificate(::CertFindCertificateInStore(store.get(), encoding, 0, CERT_FIND_SUBJECT_CERT,
                                                         &issuerAndSerial.as<CERT_INFO>(), nullptr));
}

tstring nameString(PCCERT_CONTEXT certificate, DWORD type, void* typeParameter) {
    const DWORD size = ::CertGetNameStringW(certificate, type, 0, typeParameter, nullptr, 0);
    if (size <= 1) {
        return tstring();
    }
    tstring text(size, L'\0');
    const DWORD written = ::CertGetNameStringW(certificate, type, 0, typeParameter, text.data(), size);
    text.resize(written > 0 ? written - 1 : 0);
    return text;
}

tstring signerName(PCCERT_CONTEXT certificate) {
    const tstring commonName =
        nameString(certificate, CERT_NAME_ATTR_TYPE, const_cast<char*>(szOID_COMMON_NAME));
    if (!commonName.empty()) {
        return commonName;
    }
    DWORD format = CERT_X500_NAME_STR;
    return nameString(certificate, CERT_NAME_RDN_TYPE, &format);
}

// The value of the signed attribute that holds the content's digest.
std::optional<std::string_view> signedContentDigest(const CRYPT_ATTRIBUTES& attributes) {
    for (DWORD i = 0; i < attributes.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[i];
        if (attribute.pszObjId && std::strcmp(attribute.pszObjId, szOID_RSA_messageDigest) == 0 &&
            attribute.cValue == 1) {
            const CRYPT_ATTR_BLOB& value = attribute.rgValue[0];
            const DerElement digest =
                firstDerElement(std::string_view(reinterpret_cast<const char*>(value.pbData), value.cbData));
            return digest.tag == der_tag::octetString ? std::optional<std::string_view>(digest.value) : std::nullopt;
        }
    }
    return std::nullopt;
}

// Wine's crypt32 verifies the signature over the signed attributes without
// comparing the digest they hold with the content's, and digests the content
// with its tag and length; Windows compares the digest of the value alone.
// Comparing here makes both judge the same.
bool signedDigestIsContents(HCRYPTMSG message, const std::string& content) {
    const MessageParam signer(message, CMSG_SIGNER_INFO_PARAM);
    if (!signer.present()) {
        return false;
    }
    const CMSG_SIGNER_INFO& info = signer.as<CMSG_SIGNER_INFO>();
    const std::optional<DigestAlgorithm> algorithm =
        digestAlgorithmWithOid(info.HashAlgorithm.pszObjId ? info.HashAlgorithm.pszObjId : "");
    try {
        const std::optional<std::string_view> signedDigest = signedContentDigest(info.AuthAttrs);
        return algorithm && signedDigest && digestOf(*algorithm, {firstDerElement(content).value}) == *signedDigest;
    } catch (const DerError&) {
        return false;
    }
}

bool signatureVerifies(HCRYPTMSG message, PCCERT_CONTEXT certificate, const std::string& content) {
    return ::CryptMsgControl(message, 0, CMSG_CTRL_VERIFY_SIGNATURE, certificate->pCertInfo) &&
           signedDigestIsContents(message, content);
}

std::string contentType(HCRYPTMSG message) {
    const std::string text = MessageParam(message, CMSG_INNER_CONTENT_TYPE_PARAM).bytes();
    return text.substr(0, text.find('\0'));
}

const wchar_t* algorithmName(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::sha1:
            return BCRYPT_SHA1_ALGORITHM;
        case DigestAlgorithm::sha256:
            return BCRYPT_SHA256_ALGORITHM;
        case DigestAlgorithm::sha384:
            return BCRYPT_SHA384_ALGORITHM;
        case DigestAlgorithm::sha512:
            return BCRYPT_SHA512_ALGORITHM;
    }
    return L"";
}

bool hashPiece(BCRYPT_HASH_HANDLE hash, std::string_view piece) {
    for (std::size_t at = 0; at < piece.size(); at += maxHashedAtOnce) {
        const std::string_view part = piece.substr(at, maxHashedAtOnce);
        PUCHAR bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(part.data()));
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash, bytes, static_cast<ULONG>(part.size()), 0))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<SignedData> readSignedData(std::string_view message) {
    if (message.size() > MAXDWORD) {
        return std::nullopt;
    }
    const OwnedMessage decoder(::CryptMsgOpenToDecode(encoding, 0, 0, 0, nullptr, nullptr));
    const BYTE* bytes = reinterpret_cast<const BYTE*>(message.data());
    if (!decoder || !::CryptMsgUpdate(decoder.get(), bytes, static_cast<DWORD>(message.size()), TRUE) ||
        messageNumber(decoder.get(), CMSG_TYPE_PARAM) != DWORD{CMSG_SIGNED}) {
        return std::nullopt;
    }
    SignedData data;
    data.contentType = contentType(decoder.get());
    if (data.contentType != szOID_RSA_data) {
        data.content = MessageParam(decoder.get(), CMSG_CONTENT_PARAM).bytes();
    }
    data.signerCount = messageNumber(decoder.get(), CMSG_SIGNER_COUNT_PARAM).value_or(0);
    if (data.signerCount != 1) {
        return data;
    }
    const OwnedCertificate certificate = signerCertificate(decoder.get());
    if (!certificate) {
        return data;
    }
    data.signerCertificateFound = true;
    data.signer = signerName(certificate.get());
    data.signatureVerifies = signatureVerifies(decoder.get(), certificate.get(), data.content);
    return data;
}

std::string digestOf(DigestAlgorithm algorithm, const std::vector<std::string_view>& pieces) {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&opened, algorithmName(algorithm), nullptr, 0))) {
        return std::string();
    }
    const OwnedAlgorithm provider(opened);
    DWORD length = 0;
    ULONG got = 0;
    BCRYPT_HASH_HANDLE created = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptGetProperty(provider.get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                            sizeof length, &got, 0)) ||
        !BCRYPT_SUCCESS(::BCryptCreateHash(provider.get(), &created, nullptr, 0, nullptr, 0, 0))) {
        return std::string();
    }
    const OwnedHash hash(created);
    for (const std::string_view piece : pieces) {
        if (!hashPiece(hash.get(), piece)) {
            return std::string();
        }
    }
    std::string digest(length, '\0');
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), reinterpret_cast<PUCHAR>(digest.data()), length, 0))) {
        return std::string();
    }
    return digest;
}

}  // namespace imagetool
