// Keys, certificates and a timestamp authority for the tests of signing:
// made with the openssl tool, used through osslsigncode, never trusted by
// anything outside the test that made them. Linux only.
#pragma once

#include <memory>
#include <string>

#include "TestFiles.h"
#include "TestProcess.h"
#include "tstrings.h"

namespace testing_support {

// Throwaway signing keys for the tests, made with the openssl tool in a
// temporary directory: a certificate authority, a code-signing certificate
// that it issued, in a PKCS#12 file with a password, and a timestamp
// authority's certificate that it issued.
//
// The keys are made once per process and copied into each kit's directory:
// every kit shares one authority, and kits with the same signer name share
// the signer's key too. A missing openssl or osslsigncode, or a failing
// run of either, throws a std::runtime_error that names it.
class SigningKit {
public:
    explicit SigningKit(const std::string& signerName = "Kivo Test Signer");
    SigningKit(const SigningKit&) = delete;
    SigningKit& operator=(const SigningKit&) = delete;

    // UTF-8, the common name of the signer's certificate, its whole subject.
    const std::string& signerName() const;
    tstring caCertificate() const;    // PEM: the authority both certificates chain to
    tstring caKey() const;            // PEM, unencrypted
    tstring pkcs12() const;           // the signer's key, certificate and the CA certificate
    const std::string& password() const;  // the PKCS#12 password (not empty, has a blank and a non-ASCII letter)
    tstring passwordFile() const;     // a file holding exactly the password, no line end
    tstring tsaCertificate() const;   // PEM
    tstring tsaKey() const;           // PEM, unencrypted
    // Signs `in` into `out` directly with osslsigncode, SHA-256, no timestamp:
    // signed fixtures for tests that do not test the tool's own signing.
    void sign(const tstring& in, const tstring& out) const;
    // The same with a timestamp from the RFC 3161 authority at `tsaUrl`.
    void signWithTimestamp(const tstring& in, const tstring& out, const std::string& tsaUrl) const;
    // osslsigncode verify -CAfile <ca> -TSA-CAfile <ca> -in <file>.
    ProcessResult verify(const tstring& file) const;

private:
    tstring kitFile(const wchar_t* name) const;
    void signFile(const tstring& in, const tstring& out, const tstring_array& extraArgs) const;

    std::string name;
    std::string pass;
    TempDir dir;
};

// A local RFC 3161 timestamp responder over HTTP on 127.0.0.1 (an ephemeral
// port), answering with the kit's timestamp authority from a thread of the
// test process; stops at destruction.
class TimestampResponder {
public:
    explicit TimestampResponder(const SigningKit& kit);
    ~TimestampResponder();
    TimestampResponder(const TimestampResponder&) = delete;
    TimestampResponder& operator=(const TimestampResponder&) = delete;

    std::string url() const;          // "http://127.0.0.1:<port>/"
    // Requests answered with a timestamp reply, counted before the reply
    // is sent: once a client has its reply, the count includes it.
    int requestsAnswered() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace testing_support
