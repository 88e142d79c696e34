// The Linux side of signing and packaging that needs no other program: the
// PKCS#12 key opened with libcrypto, and Windows code pages through iconv.
#include <iconv.h>

#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include "OpenSslPtr.h"
#include "PackagingHost.h"
#include "ToolError.h"
#include "ToolFiles.h"

namespace imagetool {

namespace {

using Pkcs12Ptr = OpenSslPtr<PKCS12, PKCS12_free>;
using KeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using CertPtr = OpenSslPtr<X509, X509_free>;

void freeCertStack(STACK_OF(X509) * certs) { sk_X509_pop_free(certs, X509_free); }
using CertStackPtr = OpenSslPtr<STACK_OF(X509), freeCertStack>;

tstring commonName(X509* cert) {
    X509_NAME* subject = X509_get_subject_name(cert);
    const int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (index < 0) {
        return tstring();
    }
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
    const OpenSslText owned(utf8);
    if (length < 0) {
        return tstring();
    }
    return tstrings::fromUtf8(std::string(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(length)));
}

std::string certificatesAsPem(X509* cert, STACK_OF(X509) * chain) {
    BioPtr pem(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(pem.get(), cert);
    for (int i = 0; chain && i < sk_X509_num(chain); ++i) {
        PEM_write_bio_X509(pem.get(), sk_X509_value(chain, i));
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(pem.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

// OpenSSL tells an empty password from none; a file may have been made
// with either.
bool macMatches(PKCS12* p12, const std::string& password) {
    if (PKCS12_verify_mac(p12, password.c_str(), static_cast<int>(password.size()))) {
        return true;
    }
    return password.empty() && PKCS12_verify_mac(p12, nullptr, 0);
}

}  // namespace

SigningKey openSigningKey(const tstring& pkcs12Path, const std::string& password) {
    const std::string bytes = readWholeFile(pkcs12Path, L"the PKCS#12 file \"" + pkcs12Path + L"\"", 1 << 20,
                                            L"\"" + pkcs12Path + L"\" is too large for a PKCS#12 file");
    BioPtr input(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    Pkcs12Ptr p12(d2i_PKCS12_bio(input.get(), nullptr));
    if (!p12) {
        fail(L"\"" + pkcs12Path + L"\" is not a PKCS#12 file");
    }
    if (!macMatches(p12.get(), password)) {
        fail(L"The PKCS#12 file \"" + pkcs12Path + L"\" does not open with the given password");
    }
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const bool parsed = PKCS12_parse(p12.get(), password.c_str(), &key, &cert, &chain) == 1;
    KeyPtr ownedKey(key);
    CertPtr ownedCert(cert);
    CertStackPtr ownedChain(chain);
    if (!parsed || !key || !cert) {
        fail(L"The PKCS#12 file \"" + pkcs12Path + L"\" holds no key with its certificate");
    }
    return {commonName(cert), certificatesAsPem(cert, chain)};
}

bool codePageHolds(unsigned codePage, const tstring& text) {
    const std::string target = "CP" + std::to_string(codePage);
    const iconv_t converter = ::iconv_open(target.c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::string utf8 = tstrings::toUtf8(text);
    char* in = utf8.data();
    std::size_t inLeft = utf8.size();
    std::string converted(utf8.size() * 4 + 4, '\0');
    char* out = converted.data();
    std::size_t outLeft = converted.size();
    const bool holds = ::iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(converter);
    return holds;
}

}  // namespace imagetool
