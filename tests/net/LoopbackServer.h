#pragma once

// A scripted web server on 127.0.0.1 for the HTTP client's tests: a real socket peer that
// misbehaves on request. It listens on a port of its own choosing, serves each connection in
// turn on a thread of its own with the behaviour it was made with, and records what it read.
// Connections it holds open stay open until the server is destroyed or the client goes.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace nettest {

class LoopbackServer
{
public:
    enum class Behaviour
    {
        Reply,        // reads the request, sends the reply, closes
        CloseAtOnce,  // ends its side at once without sending anything, then reads
        NeverAnswer,  // reads the request, then keeps the connection open and silent
        SendThenHold, // reads the request, sends the reply, keeps the connection open
        StopReading,  // reads nothing at all (with a small receive buffer) and holds on
    };

    explicit LoopbackServer(Behaviour behaviour, std::string reply = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return m_port; }
    // "127.0.0.1:<port>", as the client takes a server.
    std::string host() const;
    // What was read from the last connection.
    std::string request() const;
    // Connections accepted so far.
    int connections() const { return m_connections.load(); }
    // Waits until count connections have been served to their end; false after timeoutMs.
    bool waitUntilServed(int count, int timeoutMs = 5000);

private:
    void serve();
    void handle(int connection);
    // Reads until the blank line that ends a request's headers, the client's end, or stop.
    void readRequest(int connection);
    // Sends every byte unless the client goes first.
    void sendAll(int connection, const std::string& bytes);
    // Waits until the server is destroyed, or (with watchClient) until the client has gone.
    void hold(int connection, bool watchClient);

    Behaviour m_behaviour;
    std::string m_reply;
    int m_listener = -1;
    int m_stopPipe[2] = {-1, -1};
    std::uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    std::string m_request;
    std::atomic<int> m_connections{0};
    int m_served = 0;
    std::condition_variable m_servedChanged;
    std::thread m_thread;
};

// A port on 127.0.0.1 that refuses every connection: bound, but not listening.
class RefusingPort
{
public:
    RefusingPort();
    ~RefusingPort();
    std::string host() const;

private:
    int m_socket = -1;
    std::uint16_t m_port = 0;
};

// A listener on 127.0.0.1 whose queue of connections is full and which never accepts: the
// next connection attempt is never answered, so the connect waits for its time limit.
class FullBacklogPort
{
public:
    FullBacklogPort();
    ~FullBacklogPort();
    std::string host() const;

private:
    int m_listener = -1;
    int m_filler = -1;
    std::uint16_t m_port = 0;
};

} // namespace nettest
