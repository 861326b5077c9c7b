// The TLS connection, on OpenSSL's libssl.
//
// How it works: OpenSSL runs over the non-blocking socket. Each of its calls (the handshake, a
// read, a write) either gets through or says what it is waiting for, the server's next bytes or
// room to send; we then poll the socket for that, within what is left of the call's time limit,
// and try again. The certificate is checked during the handshake (SSL_VERIFY_PEER), so a
// handshake that fails on it ends before a byte of the request exists, and the verification's
// own result says why.

#include "net/Connection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <chrono>

#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>

namespace sys = platform::sys;

namespace net {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char libraryFailure[] =
    "Could not make a secure connection: the TLS library failed to start.";

// What perform() gives when the time ran out, beside SSL_get_error's codes.
constexpr int timedOut = -1;

// OpenSSL sends with write(2), which raises SIGPIPE when the peer has gone. While one of its
// calls runs the signal is blocked on this thread, and one raised meanwhile is taken back
// before the mask is restored: a vanished server is an error, not the end of the program.
class SigpipeHeld
{
public:
    SigpipeHeld()
    {
        ::sigemptyset(&m_pipe);
        ::sigaddset(&m_pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~SigpipeHeld()
    {
        timespec noWait{};
        while (::sigtimedwait(&m_pipe, nullptr, &noWait) == SIGPIPE) {
        }
        ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_previous;
};

struct SslFree
{
    void operator()(SSL* ssl) const { SSL_free(ssl); }
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

class TlsConnection final : public Connection
{
public:
    TlsConnection(sys::UniqueFd socket, SSL* ssl) : m_socket(std::move(socket)), m_ssl(ssl) {}

    SSL* ssl() const { return m_ssl.get(); }

    // Repeats call, one OpenSSL function on this connection, until it gets through, waiting on
    // the socket for what OpenSSL asks for, within timeoutMs in all. SSL_ERROR_NONE once it got
    // through; otherwise SSL_get_error's code of the last try, or timedOut.
    template <class Call> int perform(Call call, int timeoutMs)
    {
        SigpipeHeld held;
        auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            ERR_clear_error();
            int result = call();
            if (result > 0)
                return SSL_ERROR_NONE;
            int error = SSL_get_error(m_ssl.get(), result);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                return error;
            auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
            int waitMs = left > 0 ? static_cast<int>(left) : 0;
            auto ready = error == SSL_ERROR_WANT_READ ? sys::pollReadable(m_socket.get(), waitMs)
                                                      : sys::pollWritable(m_socket.get(), waitMs);
            if (ready.isError())
                return SSL_ERROR_SYSCALL;
            if (!ready.value())
                return timedOut;
        }
    }

    sys::Result<void> writeAll(std::string_view bytes, int timeoutMs) override
    {
        // Without SSL_MODE_ENABLE_PARTIAL_WRITE a write gets through only once every byte has.
        std::size_t written = 0;
        int error =
            perform([&] { return SSL_write_ex(m_ssl.get(), bytes.data(), bytes.size(), &written); },
                    timeoutMs);
        if (error != SSL_ERROR_NONE)
            return sys::Error{"SSL_write", error == timedOut ? ETIMEDOUT : EIO};
        return {};
    }

    sys::Result<std::size_t> read(char* buffer, std::size_t size, int timeoutMs) override
    {
        std::size_t count = 0;
        int error =
            perform([&] { return SSL_read_ex(m_ssl.get(), buffer, size, &count); }, timeoutMs);
        if (error == SSL_ERROR_NONE)
            return count;
        if (error == SSL_ERROR_ZERO_RETURN) // the server's close_notify
            return std::size_t{0};
        // Among these, a server that closes without close_notify: a reply cut off there is
        // judged by what arrived, as over a plain connection.
        return sys::Error{"SSL_read", error == timedOut ? ETIMEDOUT : EIO};
    }

private:
    sys::UniqueFd m_socket;
    std::unique_ptr<SSL, SslFree> m_ssl;
};

// Why a handshake that is not the certificate's fault failed, for the user.
std::string handshakeFailure(int error)
{
    std::string reason = "the connection ended during the handshake";
    if (error == timedOut)
        reason = "the server did not complete the handshake in time";
    else if (const char* library = ERR_reason_error_string(ERR_peek_last_error()))
        reason = library;
    return "Could not make a secure connection to the server: " + reason + ".";
}

} // namespace

TlsHandshake tlsConnection(sys::UniqueFd socket, const std::string& host, int timeoutMs)
{
    std::unique_ptr<SSL_CTX, SslFree> context(SSL_CTX_new(TLS_client_method()));
    if (!context || !SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) ||
        !SSL_CTX_set_default_verify_paths(context.get()))
        return {nullptr, libraryFailure};
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);

    // The connection holds its own reference to the context.
    SSL* ssl = SSL_new(context.get());
    if (!ssl)
        return {nullptr, libraryFailure};
    int fd = socket.get();
    auto connection = std::make_unique<TlsConnection>(std::move(socket), ssl);

    // A dotted address is checked against the certificate's addresses and never sent as the
    // server name, which must be a host name.
    in_addr address{};
    bool named = ::inet_pton(AF_INET, host.c_str(), &address) == 1
                     ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1
                     : SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 &&
                           SSL_set1_host(ssl, host.c_str()) == 1;
    if (!named || SSL_set_fd(ssl, fd) != 1)
        return {nullptr, libraryFailure};

    int error = connection->perform([ssl] { return SSL_connect(ssl); }, timeoutMs);
    if (error == SSL_ERROR_NONE)
        return {std::move(connection), {}};
    if (long verified = SSL_get_verify_result(ssl); verified != X509_V_OK)
        return {nullptr, std::string("The server's certificate could not be verified: ") +
                             X509_verify_cert_error_string(verified) + "."};
    return {nullptr, handshakeFailure(error)};
}

} // namespace net
