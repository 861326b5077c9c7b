#pragma once

// The transport under the HTTP exchange: a connected stream that sends and receives within time
// limits. A plain connection is the TCP socket itself; a TLS connection runs OpenSSL over that
// socket. NetManager speaks HTTP to either through this one interface, so the exchange is
// written once and the bytes inside the encrypted channel are exactly those a plain connection
// carries.
//
// The socket stays non-blocking under both: every wait is a poll with what is left of its
// limit, so a peer that stalls in the TLS handshake is cut off like one that stalls in a reply.

#include "platform/System.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace net {

class Connection
{
public:
    virtual ~Connection() = default;

    // Sends every byte, waiting at most timeoutMs in all for the peer to take them.
    virtual platform::sys::Result<void> writeAll(std::string_view bytes, int timeoutMs) = 0;
    // Receives at most size bytes: what is waiting already, or what arrives within timeoutMs
    // (ETIMEDOUT otherwise). 0 bytes is the end of the stream.
    virtual platform::sys::Result<std::size_t> read(char* buffer, std::size_t size,
                                                    int timeoutMs) = 0;
};

// The connected socket itself.
std::unique_ptr<Connection> plainConnection(platform::sys::UniqueFd socket);

// The outcome of a TLS handshake: the connection, or a text for the user that says why none
// could be made.
struct TlsHandshake
{
    std::unique_ptr<Connection> connection;
    std::string failure;
};

// Runs a TLS handshake (1.2 or later) over the connected socket within timeoutMs. The server
// must show a certificate that the system's trust store vouches for ($SSL_CERT_FILE and
// $SSL_CERT_DIR replace its file and its folder, as for every OpenSSL program) and that names host:
// a host name is also sent to the server (SNI), a dotted address is checked as an address.
TlsHandshake tlsConnection(platform::sys::UniqueFd socket, const std::string& host, int timeoutMs);

} // namespace net
