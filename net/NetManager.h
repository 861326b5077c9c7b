#pragma once

// NetManager: the program's small HTTP/1.0 client, over TLS or plain TCP.
//
// How it works: constructing a NetManager performs one whole exchange and returns when it is
// over, whether it succeeded or not. It looks the server up and connects to its first IPv4
// address, then, for an "https://" server, makes the TLS handshake and checks the server's
// certificate (ConnectToHost); it sends one GET request (SendGetRequest), and then copies
// everything the server sends, status line and headers included, into a local file in the
// working directory (ReceiveChunk, 499 bytes at a time, each chunk written at once), showing
// the count so far in the progress window after every chunk. The exchange ends when the server
// closes the connection, a receive fails, a time limit runs out, or the file cannot be written.
// Nothing is returned: the caller judges the outcome from the file named by replyFileName,
// which is set only once a request has been sent. Failures to reach the server (a certificate
// that fails the check among them) are shown in the platform's message box captioned
// "NetManager" (or, for a failed name lookup, the host name); failures after that are silent,
// because the reply file tells the whole story. A server that cannot be reached securely is
// never tried in plain text instead.
//
// The HTTP exchange is written once, against net::Connection: the request and the reply are
// the same bytes over TLS as over plain TCP.
//
// The request is the request line, the User-Agent header and a Host header, in that order:
//
//     GET <path> HTTP/1.0\r\n
//     User-Agent: <product name> v<product version>\r\n
//     Host: <host>[:<port>]\r\n
//     \r\n
//
// The Host header comes last so that the request still begins with exactly the two lines
// that the registration server has always received; without it, a server that hosts
// several sites on one address would answer for the wrong one.

#include "net/Connection.h"
#include "platform/System.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The local file name of the last request that was sent; empty before the first. Set once a
// request has gone out and kept until the next one; cleared when the reply file could not be
// created, so that no older file passes for the reply.
extern std::string replyFileName;

class NetManager
{
public:
    // The time limits of an exchange, in milliseconds: for the connection to be accepted (and
    // then, over TLS, for the handshake to complete), for each receive (and the send) to make
    // progress, and for the whole exchange, from the first connection attempt to the last byte
    // of the reply. A server that goes silent for longer, or that sends its reply so slowly
    // that the whole exchange takes longer (a byte every 29 seconds keeps every receive within
    // its limit), ends the exchange like a receive error. A registration reply is a small page;
    // two minutes is far more than a slow link needs for it.
    static constexpr int connectTimeLimitMs = 30000;
    static constexpr int receiveTimeLimitMs = 30000;
    static constexpr int exchangeTimeLimitMs = 120000;

    struct TimeLimits
    {
        int connectMs = connectTimeLimitMs;
        int receiveMs = receiveTimeLimitMs;
        int exchangeMs = exchangeTimeLimitMs;
    };
    static TimeLimits timeLimits();
    // Tests shorten the limits so that a silent server costs them a fraction of a second.
    static void setTimeLimits(TimeLimits limits);

    // A server as it is configured: "https://host[:port]", "http://host[:port]", or a bare
    // "host[:port]", which means plain HTTP; the port is 443 or 80 unless given. The host is a
    // name or a dotted address. A "/" may end the text; anything else makes it no server.
    struct ServerAddress
    {
        bool secure = false;
        std::string name;
        std::uint16_t port = 80;

        // The Host header's value: the name, with ":port" when the port is not the default.
        std::string hostHeader() const;
    };
    static std::optional<ServerAddress> parseServer(const std::string& server);

    // server is as parseServer reads it. Performs the whole exchange.
    NetManager(const std::string& server, const std::string& path);
    ~NetManager() = default;
    NetManager(const NetManager&) = delete;
    NetManager& operator=(const NetManager&) = delete;

    // The request text sent for path to server.
    static std::string requestText(const std::string& server, const std::string& path);

    // The 8.3 name built from a request path: up to 8 characters of the last path segment
    // before its first ".", then ".", then up to 3 characters after the last "." of the
    // whole path, query included ("/storeregistrants.php3?...&version=6.993" gives
    // "storereg.993").
    static std::string LocalFileName(const std::string& path);
    // The name the reply is stored under: LocalFileName, cut at a "?" with ".HTM" appended.
    static std::string replyFileNameFor(const std::string& path);

private:
    std::unique_ptr<net::Connection> ConnectToHost(const std::string& server);
    platform::sys::UniqueFd SendGetRequest(net::Connection& connection, const std::string& server,
                                           const std::string& path);
    // The number of bytes received and written; 0 at the end of the reply (or when a receive
    // failed or the exchange ran out of time); -1 when the file could not be written. Closes
    // the file when it returns 0 or -1.
    int ReceiveChunk(net::Connection& connection, platform::sys::UniqueFd& file);

    // A step's own time limit, or what is left of the whole exchange's when that is shorter.
    int within(int stepMs) const;

    std::chrono::steady_clock::time_point m_deadline;

    // One receive asks for at most receiveLimit bytes, one less than the buffer holds.
    static constexpr std::size_t receiveBufferSize = 500;
    static constexpr std::size_t receiveLimit = receiveBufferSize - 1;
    char m_buffer[receiveBufferSize];
};
