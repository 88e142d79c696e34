// The signing tests' timestamp authority: OpenSSL's TS responder behind a
// minimal HTTP server on the loopback interface, one connection at a time.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "OpenSslPtr.h"
#include "OwnedFd.h"
#include "SigningKit.h"

namespace testing_support {

namespace {

using imagetool::BioPtr;
using imagetool::OpenSslPtr;
using imagetool::OwnedFd;

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

using CertificatePtr = OpenSslPtr<X509, X509_free>;
using KeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using ObjectPtr = OpenSslPtr<ASN1_OBJECT, ASN1_OBJECT_free>;
using ResponseContextPtr = OpenSslPtr<TS_RESP_CTX, TS_RESP_CTX_free>;
using ResponsePtr = OpenSslPtr<TS_RESP, TS_RESP_free>;

const char* const kPolicyOid = "1.2.3.4.1";

// The oldest error of this thread's OpenSSL queue, which it empties.
std::string openSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return "no error reported";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof(text));
    return text;
}

[[noreturn]] void failResponder(const std::string& what) {
    throw std::runtime_error("timestamp responder: " + what);
}

BioPtr openPem(const tstring& path) {
    BioPtr bio(BIO_new_file(utf8(path).c_str(), "r"));
    if (!bio) {
        failResponder("cannot open " + utf8(path) + ": " + openSslError());
    }
    return bio;
}

CertificatePtr readCertificate(const tstring& path) {
    CertificatePtr certificate(PEM_read_bio_X509(openPem(path).get(), nullptr, nullptr, nullptr));
    if (!certificate) {
        failResponder("no certificate in " + utf8(path) + ": " + openSslError());
    }
    return certificate;
}

KeyPtr readKey(const tstring& path) {
    KeyPtr key(PEM_read_bio_PrivateKey(openPem(path).get(), nullptr, nullptr, nullptr));
    if (!key) {
        failResponder("no key in " + utf8(path) + ": " + openSslError());
    }
    return key;
}

void check(int result, const char* call) {
    if (result != 1) {
        failResponder(std::string(call) + " failed: " + openSslError());
    }
}

// Makes the DER replies to DER requests with the kit's timestamp
// authority. Used by one thread at a time, as OpenSSL's context requires.
class TimestampAuthority {
public:
    explicit TimestampAuthority(const SigningKit& kit) : context(TS_RESP_CTX_new()) {
        if (!context) {
            failResponder("TS_RESP_CTX_new failed: " + openSslError());
        }
        const CertificatePtr certificate = readCertificate(kit.tsaCertificate());
        const KeyPtr key = readKey(kit.tsaKey());
        const ObjectPtr policy(OBJ_txt2obj(kPolicyOid, 1));
        check(TS_RESP_CTX_set_signer_cert(context.get(), certificate.get()), "TS_RESP_CTX_set_signer_cert");
        check(TS_RESP_CTX_set_signer_key(context.get(), key.get()), "TS_RESP_CTX_set_signer_key");
        check(TS_RESP_CTX_set_signer_digest(context.get(), EVP_sha256()), "TS_RESP_CTX_set_signer_digest");
        check(policy ? TS_RESP_CTX_set_def_policy(context.get(), policy.get()) : 0, "TS_RESP_CTX_set_def_policy");
        check(TS_RESP_CTX_add_md(context.get(), EVP_sha256()), "TS_RESP_CTX_add_md");
        check(TS_RESP_CTX_add_md(context.get(), EVP_sha1()), "TS_RESP_CTX_add_md");
        TS_RESP_CTX_set_serial_cb(context.get(), &TimestampAuthority::nextSerial, this);
    }

    // A reply, granted or rejected as the request deserves; nothing when
    // OpenSSL cannot make one at all.
    std::optional<std::string> reply(const std::string& request) {
        BioPtr in(BIO_new_mem_buf(request.data(), static_cast<int>(request.size())));
        const ResponsePtr response(in ? TS_RESP_create_response(context.get(), in.get()) : nullptr);
        const int length = response ? i2d_TS_RESP(response.get(), nullptr) : -1;
        if (length <= 0) {
            return std::nullopt;
        }
        std::string der(static_cast<std::size_t>(length), '\0');
        unsigned char* end = reinterpret_cast<unsigned char*>(der.data());
        i2d_TS_RESP(response.get(), &end);
        return der;
    }

private:
    static ASN1_INTEGER* nextSerial(TS_RESP_CTX*, void* self) {
        ASN1_INTEGER* serial = ASN1_INTEGER_new();
        if (serial && ASN1_INTEGER_set(serial, ++static_cast<TimestampAuthority*>(self)->lastSerial) != 1) {
            ASN1_INTEGER_free(serial);
            return nullptr;
        }
        return serial;
    }

    ResponseContextPtr context;
    long lastSerial = 0;
};

constexpr std::size_t kMaxHeadBytes = 16 * 1024;
constexpr std::size_t kMaxBodyBytes = 64 * 1024;

// One client's connection, read until the responder stops.
class Connection {
public:
    Connection(OwnedFd socket, int stopFd) : socket(std::move(socket)), stopFd(stopFd) {}

    // False at the end of the client's stream, on an error, or when the
    // responder stops.
    bool receive(std::string& into) {
        pollfd fds[2] = {{socket.get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        if (fds[1].revents != 0) {
            stopped = true;
            return false;
        }
        char buffer[4096];
        ssize_t count;
        do {
            count = ::recv(socket.get(), buffer, sizeof(buffer), 0);
        } while (count < 0 && errno == EINTR);
        if (count <= 0) {
            return false;
        }
        into.append(buffer, static_cast<std::size_t>(count));
        return true;
    }

    // A client that went away misses the rest; MSG_NOSIGNAL keeps that
    // from killing the test with SIGPIPE.
    void send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t count = ::send(socket.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(count);
        }
    }

    // True once a read gave up because the responder stops.
    bool stopping() const { return stopped; }

private:
    OwnedFd socket;
    int stopFd;
    bool stopped = false;
};

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The Content-Length of a lowercased request head.
std::optional<std::size_t> contentLength(const std::string& head) {
    const std::string name = "\r\ncontent-length:";
    const std::size_t at = head.find(name);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const char* digits = head.c_str() + at + name.size();
    while (*digits == ' ' || *digits == '\t') {
        ++digits;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(digits, &end, 10);
    if (end == digits || (*end != '\r' && *end != ' ' && *end != '\t')) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(value);
}

// The body of an HTTP POST with a Content-Length; nothing for any other
// request, or one that does not arrive whole.
std::optional<std::string> readPostBody(Connection& connection) {
    std::string data;
    std::size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        if (data.size() > kMaxHeadBytes || !connection.receive(data)) {
            return std::nullopt;
        }
    }
    const std::string head = lowercase(data.substr(0, headEnd + 2));
    const std::optional<std::size_t> length = contentLength(head);
    if (head.compare(0, 5, "post ") != 0 || !length || *length > kMaxBodyBytes) {
        return std::nullopt;
    }
    if (head.find("\r\nexpect: 100-continue\r\n") != std::string::npos) {
        connection.send("HTTP/1.1 100 Continue\r\n\r\n");
    }
    const std::size_t bodyStart = headEnd + 4;
    while (data.size() < bodyStart + *length) {
        if (!connection.receive(data)) {
            return std::nullopt;
        }
    }
    return data.substr(bodyStart, *length);
}

std::string httpReply(const std::string& status, const std::string& contentType, const std::string& body) {
    std::string reply = "HTTP/1.1 " + status + "\r\n";
    if (!contentType.empty()) {
        reply += "Content-Type: " + contentType + "\r\n";
    }
    return reply + "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

[[noreturn]] void failSystem(const char* call) { failResponder(std::string(call) + " failed: " + std::strerror(errno)); }

OwnedFd listenOnLoopback() {
    OwnedFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener) {
        failSystem("socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        failSystem("bind");
    }
    if (::listen(listener.get(), SOMAXCONN) != 0) {
        failSystem("listen");
    }
    return listener;
}

int boundPort(const OwnedFd& listener) {
    sockaddr_in address{};
    socklen_t size = sizeof(address);
    if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        failSystem("getsockname");
    }
    return ntohs(address.sin_port);
}

// The responder thread polls its read end; closing the write end stops it.
struct StopPipe {
    OwnedFd readEnd;
    OwnedFd writeEnd;
};

StopPipe makeStopPipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        failSystem("pipe2");
    }
    return {OwnedFd(ends[0]), OwnedFd(ends[1])};
}

}  // namespace

struct TimestampResponder::State {
    explicit State(const SigningKit& kit)
        : authority(kit), listener(listenOnLoopback()), port(boundPort(listener)), stop(makeStopPipe()) {}

    void serve() {
        try {
            while (OwnedFd client = nextClient()) {
                Connection connection(std::move(client), stop.readEnd.get());
                answer(connection);
            }
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }

    // The next connection; none when the responder stops.
    OwnedFd nextClient() {
        for (;;) {
            pollfd fds[2] = {{listener.get(), POLLIN, 0}, {stop.readEnd.get(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                failSystem("poll");
            }
            if (fds[1].revents != 0) {
                return OwnedFd();
            }
            OwnedFd client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client) {
                return client;
            }
            if (errno != EINTR && errno != ECONNABORTED) {
                failSystem("accept4");
            }
        }
    }

    void answer(Connection& connection) {
        const std::optional<std::string> request = readPostBody(connection);
        if (connection.stopping()) {
            return;
        }
        if (!request) {
            connection.send(httpReply("400 Bad Request", "", ""));
            return;
        }
        const std::optional<std::string> reply = authority.reply(*request);
        if (!reply) {
            ADD_FAILURE() << "timestamp responder: TS_RESP_create_response failed: " << openSslError();
            connection.send(httpReply("500 Internal Server Error", "", ""));
            return;
        }
        ++answered;
        connection.send(httpReply("200 OK", "application/timestamp-reply", *reply));
    }

    TimestampAuthority authority;
    OwnedFd listener;
    int port;
    StopPipe stop;
    std::atomic<int> answered{0};
    std::thread thread;
};

TimestampResponder::TimestampResponder(const SigningKit& kit) : state(std::make_unique<State>(kit)) {
    state->thread = std::thread([running = state.get()] { running->serve(); });
}

TimestampResponder::~TimestampResponder() {
    state->stop.writeEnd = OwnedFd();
    state->thread.join();
}

std::string TimestampResponder::url() const { return "http://127.0.0.1:" + std::to_string(state->port) + "/"; }

int TimestampResponder::requestsAnswered() const { return state->answered; }

}  // namespace testing_support
