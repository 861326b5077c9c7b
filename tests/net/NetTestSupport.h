#pragma once

// Shared by the HTTP client's tests: a scripted peer, short limits, the request.

#include "net/NetManager.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"

#include "BuildConfig.h"

#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

// A real peer on 127.0.0.1 for one connection. Deaf never accepts, Refuse does not listen, and
// NeverAccept's one place in the queue is taken; a thread serves the others.
struct LoopbackServer
{
    enum class Behaviour
    {
        Reply,
        CloseAtOnce,
        Hold,
        Dribble,
        Deaf,
        Refuse,
        NeverAccept
    };

    explicit LoopbackServer(Behaviour behaviour, std::string reply = {})
        : m_behaviour(behaviour), m_reply(std::move(reply))
    {
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
        ::listen(m_socket, behaviour == Behaviour::NeverAccept ? 0 : 8);
        if (behaviour == Behaviour::NeverAccept)
            EXPECT_EQ(::connect(m_filler, raw, length), 0) << std::strerror(errno);
        else if (behaviour != Behaviour::Deaf)
            m_thread = std::thread([this] { serve(); });
    }
    ~LoopbackServer()
    {
        request();
        for (int fd : {m_socket, m_filler})
            ::close(fd);
    }

    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }
    // What the connection sent ("" when none came), once it has ended.
    std::string request()
    {
        ::shutdown(m_socket, SHUT_RDWR); // ends the wait for a connection
        if (m_thread.joinable())
            m_thread.join();
        return m_request;
    }

    void serve()
    {
        int connection = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        // Reading the request after the end keeps the kernel from answering it with a reset.
        if (m_behaviour == Behaviour::CloseAtOnce)
            ::shutdown(connection, SHUT_WR);
        char buffer[4096];
        ssize_t count = 0;
        while (m_request.find("\r\n\r\n") == std::string::npos &&
               (count = ::read(connection, buffer, sizeof buffer)) > 0)
            m_request.append(buffer, static_cast<std::size_t>(count));
        bool dribbles = m_behaviour == Behaviour::Dribble;
        for (std::size_t sent = 0; sent < m_reply.size(); sent += static_cast<std::size_t>(count)) {
            if (dribbles)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if ((count = ::send(connection, m_reply.data() + sent,
                                dribbles ? 1 : m_reply.size() - sent, MSG_NOSIGNAL)) <= 0)
                break;
        }
        while (m_behaviour == Behaviour::Hold && ::read(connection, buffer, sizeof buffer) > 0) {
        }
        ::close(connection);
    }

    Behaviour m_behaviour;
    std::string m_reply, m_request;
    int m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::uint16_t m_port = 0;
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
struct RegistrationTest : ::testing::Test
{
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
