#pragma once

// NetManager: the program's small HTTP/1.0 client.
//
// How it works: constructing a NetManager performs one whole exchange and returns when it is
// over, whether it succeeded or not. It looks the host up and connects to its first IPv4
// address (ConnectToHost), sends one GET request (SendGetRequest), and then copies everything
// the server sends, status line and headers included, into a local file in the working
// directory (ReceiveChunk, 499 bytes at a time, each chunk written at once), showing the
// count so far in the progress window after every chunk. The exchange ends when the server
// closes the connection, a receive fails or the receive time limit runs out, or the file
// cannot be written. Nothing is returned: the caller judges the outcome from the file named
// by replyFileName, which is set only once a request has been sent. Failures to reach the
// server are shown in the platform's message box captioned "NetManager" (or, for a failed
// name lookup, the host name); failures after that are silent, because the reply file tells
// the whole story.
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

#include "platform/System.h"

#include <cstdint>
#include <string>

// The local file name of the last request that was sent; empty before the first. Set once a
// request has gone out and kept until the next one; cleared when the reply file could not be
// created, so that no older file passes for the reply.
extern std::string replyFileName;

class NetManager
{
public:
    // The time limits of an exchange, in milliseconds: for the connection to be accepted,
    // and for each receive (and the send) to make progress. A server that goes silent for
    // longer ends the exchange like a receive error.
    static constexpr int connectTimeLimitMs = 30000;
    static constexpr int receiveTimeLimitMs = 30000;

    struct TimeLimits
    {
        int connectMs = connectTimeLimitMs;
        int receiveMs = receiveTimeLimitMs;
    };
    static TimeLimits timeLimits();
    // Tests shorten the limits so that a silent server costs them a fraction of a second.
    static void setTimeLimits(TimeLimits limits);

    // host is a name or a dotted address, optionally followed by ":port" (80 otherwise).
    // Performs the whole exchange.
    NetManager(const std::string& host, const std::string& path);
    ~NetManager() = default;
    NetManager(const NetManager&) = delete;
    NetManager& operator=(const NetManager&) = delete;

    // The request text sent for path to host ("name" or "name:port").
    static std::string requestText(const std::string& host, const std::string& path);

    // The 8.3 name built from a request path: up to 8 characters of the last path segment
    // before its first ".", then ".", then up to 3 characters after the last "." of the
    // whole path, query included ("/storeregistrants.php3?...&version=6.993" gives
    // "storereg.993").
    static std::string LocalFileName(const std::string& path);
    // The name the reply is stored under: LocalFileName, cut at a "?" with ".HTM" appended.
    static std::string replyFileNameFor(const std::string& path);

private:
    platform::sys::UniqueFd ConnectToHost(const std::string& host);
    platform::sys::UniqueFd SendGetRequest(int socket, const std::string& host,
                                           const std::string& path);
    // The number of bytes received and written; 0 at the end of the reply (or when a receive
    // failed); -1 when the file could not be written. Closes the file when it returns 0 or -1.
    int ReceiveChunk(int socket, platform::sys::UniqueFd& file);

    // One receive asks for at most receiveLimit bytes, one less than the buffer holds.
    static constexpr std::size_t receiveBufferSize = 500;
    static constexpr std::size_t receiveLimit = receiveBufferSize - 1;
    char m_buffer[receiveBufferSize];
};
