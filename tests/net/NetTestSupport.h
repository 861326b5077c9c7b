#pragma once

// Shared by the HTTP client's tests: a scripted peer on 127.0.0.1, short limits, the request.

#include "net/NetManager.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"

#include "BuildConfig.h"

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

// A real socket peer serving one connection on its own thread. Hold keeps the connection open
// after the reply; StopReading reads nothing; NeverAccept never answers the connection attempt;
// Dribble sends a byte every 50 ms.
class LoopbackServer
{
public:
    enum class Behaviour
    {
        Reply,
        CloseAtOnce,
        Hold,
        StopReading,
        Refuse,
        NeverAccept,
        Dribble
    };

    explicit LoopbackServer(Behaviour behaviour, std::string reply = {})
        : m_behaviour(behaviour), m_reply(std::move(reply)), m_request(m_promise.get_future())
    {
        int small = 4096; // inherited by the connection: a client sending far more soon blocks
        if (behaviour == Behaviour::StopReading)
            ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        EXPECT_EQ(::bind(m_socket, raw, length), 0) << std::strerror(errno);
        ::getsockname(m_socket, raw, &length);
        m_port = ntohs(address.sin_port);
        if (behaviour == Behaviour::Refuse)
            return;
        // A backlog of 0 holds one connection; the filler takes that place.
        EXPECT_EQ(::listen(m_socket, behaviour == Behaviour::NeverAccept ? 0 : 8), 0);
        if (behaviour == Behaviour::NeverAccept)
            EXPECT_EQ(::connect(m_filler, raw, length), 0) << std::strerror(errno);
        else
            m_thread = std::thread([this] { serve(); });
    }
    ~LoopbackServer()
    {
        ::shutdown(m_socket, SHUT_RDWR); // ends the wait for a connection
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : {m_socket, m_filler, m_held})
            ::close(fd);
    }

    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }
    bool connected() const { return m_connected; }
    // What the connection sent, once served (waiting up to 5 s).
    std::string request()
    {
        return m_request.wait_for(std::chrono::seconds(5)) == std::future_status::ready
                   ? m_request.get()
                   : "";
    }

private:
    void serve()
    {
        int connection = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        m_connected = true;
        if (m_behaviour == Behaviour::StopReading) { // closed when the server goes
            m_held = connection;
            return;
        }
        // Reading the request after the end keeps the kernel from answering it with a reset.
        if (m_behaviour == Behaviour::CloseAtOnce)
            ::shutdown(connection, SHUT_WR);
        std::string request;
        char buffer[4096];
        ssize_t count = 0;
        while (request.find("\r\n\r\n") == std::string::npos &&
               (count = ::read(connection, buffer, sizeof buffer)) > 0)
            request.append(buffer, static_cast<std::size_t>(count));
        bool dribbles = m_behaviour == Behaviour::Dribble;
        bool replies = m_behaviour != Behaviour::CloseAtOnce;
        for (std::size_t sent = 0; replies && sent < m_reply.size();
             sent += static_cast<std::size_t>(count)) {
            if (dribbles)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if ((count = ::send(connection, m_reply.data() + sent,
                                dribbles ? 1 : m_reply.size() - sent, MSG_NOSIGNAL)) <= 0)
                break;
        }
        while (m_behaviour == Behaviour::Hold && ::read(connection, buffer, sizeof buffer) > 0) {
        }
        ::close(connection);
        m_promise.set_value(request);
    }

    Behaviour m_behaviour;
    std::string m_reply;
    int m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int m_held = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_connected{false};
    std::promise<std::string> m_promise;
    std::shared_future<std::string> m_request;
    std::thread m_thread;
};

struct ShortTimeLimits
{
    static constexpr int limitMs = 300;
    NetManager::TimeLimits previous = NetManager::timeLimits();
    ShortTimeLimits() { NetManager::setTimeLimits({limitMs, limitMs}); }
    ~ShortTimeLimits() { NetManager::setTimeLimits(previous); }
};

inline std::string requestFor(const std::string& host, const std::string& path)
{
    return "GET " + path + " HTTP/1.0\r\nUser-Agent: " + config::productName + " v" +
           config::productVersion + "\r\nHost: " + host + "\r\n\r\n";
}

// A registration in a world of its own; a message the scripted user does not expect fails it.
class RegistrationTest : public ::testing::Test
{
protected:
    RegistrationTest() { programDirectory = world.files().programDir().string(); }
    ~RegistrationTest() override
    {
        resetProgramState();
        programDirectory.clear();
        replyFileName.clear();
    }

    testsupport::GuiWorld world;
    ui::ScriptedUser user;
    ShortTimeLimits limits;
};

} // namespace nettest
