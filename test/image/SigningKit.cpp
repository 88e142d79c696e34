// The signing tests' keys, made with the openssl tool.
#include "SigningKit.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include "FileUtils.h"

namespace testing_support {

using FileUtils::combinePath;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

// Both Debian packages are named after their program.
tstring programOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    for (const tstring& dir : tstrings::split(tstrings::fromUtf8(path ? path : ""), L":")) {
        const tstring candidate = combinePath(dir.empty() ? L"." : dir, tstrings::fromUtf8(program));
        if (::access(utf8(candidate).c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    throw std::runtime_error(program + " is not on PATH: install the Debian package " + program);
}

ProcessResult runTool(const std::string& program, const tstring_array& args, const ProcessOptions& options = {}) {
    const ProcessResult result = runProcess(programOnPath(program), args, options);
    if (result.exitCode != 0 || result.timedOut) {
        throw std::runtime_error(program + " " + utf8(args.front()) + " failed with exit code " +
                                 std::to_string(result.exitCode) + (result.timedOut ? " (timed out)" : "") + ": " +
                                 result.err + result.out);
    }
    return result;
}

const std::string kPassword = "Kivo test p\xC3\xA4ssword";
const std::string kAuthorityName = "Kivo Test Authority";
const std::string kTimestampingName = "Kivo Test Timestamps";

constexpr const wchar_t* kConfigFile = L"openssl.cnf";
constexpr const wchar_t* kPasswordFile = L"password";
constexpr const wchar_t* kAuthorityCertificate = L"authority.pem";
constexpr const wchar_t* kAuthorityKey = L"authority.key";
constexpr const wchar_t* kTimestampingCertificate = L"timestamping.pem";
constexpr const wchar_t* kTimestampingKey = L"timestamping.key";
constexpr const wchar_t* kSignerPkcs12 = L"signer.p12";

// The whole configuration of every openssl run: subjects in UTF-8 and the
// extensions of each certificate, nothing from the system's configuration.
const std::string kOpenSslConfig =
    "[req]\n"
    "distinguished_name = subject\n"
    "string_mask = utf8only\n"
    "prompt = no\n"
    "[subject]\n"
    "[authority]\n"
    "basicConstraints = critical, CA:true\n"
    "keyUsage = critical, keyCertSign, cRLSign\n"
    "subjectKeyIdentifier = hash\n"
    "[signer]\n"
    "basicConstraints = critical, CA:false\n"
    "keyUsage = critical, digitalSignature\n"
    "extendedKeyUsage = codeSigning\n"
    "subjectKeyIdentifier = hash\n"
    "authorityKeyIdentifier = keyid\n"
    "[timestamping]\n"
    "basicConstraints = critical, CA:false\n"
    "keyUsage = critical, digitalSignature\n"
    "extendedKeyUsage = critical, timeStamping\n"
    "subjectKeyIdentifier = hash\n"
    "authorityKeyIdentifier = keyid\n";

// A common name as openssl's -subj reads it, which splits at '/' and '+'.
tstring subjectOption(const std::string& commonName) {
    std::string subject = "/CN=";
    for (const char c : commonName) {
        if (c == '/' || c == '+' || c == '\\') {
            subject += '\\';
        }
        subject += c;
    }
    return tstrings::fromUtf8(subject);
}

// Runs openssl in the kit's directory, where it reads and writes the
// files by name.
class KeyMaker {
public:
    explicit KeyMaker(const tstring& dir) {
        options.cwd = dir;
        options.env[L"OPENSSL_CONF"] = combinePath(dir, kConfigFile);
    }

    void makeAuthority() {
        openssl({L"req", L"-x509", L"-newkey", L"rsa:2048", L"-nodes", L"-keyout", kAuthorityKey, L"-out",
                 kAuthorityCertificate, L"-days", L"3650", L"-sha256", L"-utf8", L"-subj",
                 subjectOption(kAuthorityName), L"-extensions", L"authority"});
        issue(kTimestampingName, L"timestamping", L"1", L"timestamping");
    }

    void makeSigner(const std::string& signerName, int serial) {
        issue(signerName, L"signer", std::to_wstring(serial), L"signer");
        openssl({L"pkcs12", L"-export", L"-inkey", L"signer.key", L"-in", L"signer.pem", L"-certfile",
                 kAuthorityCertificate, L"-passout", L"file:" + tstring(kPasswordFile), L"-out", kSignerPkcs12});
    }

private:
    // <base>.key and <base>.pem: a new key and its certificate from the
    // authority, with the extensions of `section`.
    void issue(const std::string& commonName, const tstring& base, const tstring& serial, const tstring& section) {
        openssl({L"req", L"-new", L"-newkey", L"rsa:2048", L"-nodes", L"-keyout", base + L".key", L"-out",
                 base + L".csr", L"-utf8", L"-subj", subjectOption(commonName)});
        openssl({L"x509", L"-req", L"-in", base + L".csr", L"-CA", kAuthorityCertificate, L"-CAkey", kAuthorityKey,
                 L"-set_serial", serial, L"-days", L"3650", L"-sha256", L"-extfile", kConfigFile, L"-extensions",
                 section, L"-out", base + L".pem"});
    }

    void openssl(const tstring_array& args) { runTool("openssl", args, options); }

    ProcessOptions options;
};

// File names and contents of a kit's directory.
using FileSet = std::map<tstring, std::string>;

FileSet readFiles(const tstring& dir, const std::vector<const wchar_t*>& names) {
    FileSet files;
    for (const wchar_t* name : names) {
        files[name] = readFile(combinePath(dir, name));
    }
    return files;
}

void writeFiles(const tstring& dir, const FileSet& files) {
    for (const auto& [name, bytes] : files) {
        writeFile(combinePath(dir, name), bytes);
    }
}

// What the kits of this process made, to be copied into the next kits.
struct KeyCache {
    std::mutex mutex;
    std::optional<FileSet> authority;
    std::map<std::string, FileSet> signers;
    int nextSerial = 2;
};

KeyCache& keyCache() {
    static KeyCache cache;
    return cache;
}

void provideAuthority(KeyCache& cache, const tstring& dir) {
    if (cache.authority) {
        writeFiles(dir, *cache.authority);
        return;
    }
    KeyMaker(dir).makeAuthority();
    cache.authority =
        readFiles(dir, {kAuthorityCertificate, kAuthorityKey, kTimestampingCertificate, kTimestampingKey});
}

void provideSigner(KeyCache& cache, const tstring& dir, const std::string& signerName) {
    const auto made = cache.signers.find(signerName);
    if (made != cache.signers.end()) {
        writeFiles(dir, made->second);
        return;
    }
    KeyMaker(dir).makeSigner(signerName, cache.nextSerial++);
    cache.signers[signerName] = readFiles(dir, {kSignerPkcs12});
}

}  // namespace

SigningKit::SigningKit(const std::string& signerName) : name(signerName), pass(kPassword), dir(L"kivo-signing") {
    writeFile(kitFile(kConfigFile), kOpenSslConfig);
    writeFile(passwordFile(), pass);
    KeyCache& cache = keyCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    provideAuthority(cache, dir.path());
    provideSigner(cache, dir.path(), name);
}

const std::string& SigningKit::signerName() const { return name; }

tstring SigningKit::caCertificate() const { return kitFile(kAuthorityCertificate); }

tstring SigningKit::caKey() const { return kitFile(kAuthorityKey); }

tstring SigningKit::pkcs12() const { return kitFile(kSignerPkcs12); }

const std::string& SigningKit::password() const { return pass; }

tstring SigningKit::passwordFile() const { return kitFile(kPasswordFile); }

tstring SigningKit::tsaCertificate() const { return kitFile(kTimestampingCertificate); }

tstring SigningKit::tsaKey() const { return kitFile(kTimestampingKey); }

void SigningKit::sign(const tstring& in, const tstring& out) const { signFile(in, out, {}); }

void SigningKit::signWithTimestamp(const tstring& in, const tstring& out, const std::string& tsaUrl) const {
    signFile(in, out, {L"-ts", tstrings::fromUtf8(tsaUrl)});
}

ProcessResult SigningKit::verify(const tstring& file) const {
    return runProcess(programOnPath("osslsigncode"),
                      {L"verify", L"-CAfile", caCertificate(), L"-TSA-CAfile", caCertificate(), L"-in", file});
}

tstring SigningKit::kitFile(const wchar_t* fileName) const { return combinePath(dir.path(), fileName); }

void SigningKit::signFile(const tstring& in, const tstring& out, const tstring_array& extraArgs) const {
    tstring_array args = {L"sign", L"-pkcs12", pkcs12(), L"-readpass", passwordFile(), L"-h", L"sha256"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    args.insert(args.end(), {L"-in", in, L"-out", out});
    runTool("osslsigncode", args);
}

}  // namespace testing_support
