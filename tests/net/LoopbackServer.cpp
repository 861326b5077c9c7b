#include "tests/net/LoopbackServer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A TCP socket bound to a free port of 127.0.0.1; the port is returned through port.
int boundSocket(std::uint16_t& port, int receiveBuffer = 0)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_GE(fd, 0) << std::strerror(errno);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address = loopback(0);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
        << std::strerror(errno);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

std::string hostOf(std::uint16_t port)
{
    return "127.0.0.1:" + std::to_string(port);
}

} // namespace

LoopbackServer::LoopbackServer(Behaviour behaviour, std::string reply)
    : m_behaviour(behaviour), m_reply(std::move(reply))
{
    // A small receive buffer (inherited by the accepted connection) makes a client that
    // sends much more than it fills block soon when nobody reads.
    m_listener = boundSocket(m_port, behaviour == Behaviour::StopReading ? 4096 : 0);
    EXPECT_EQ(::listen(m_listener, 8), 0) << std::strerror(errno);
    EXPECT_EQ(::pipe2(m_stopPipe, O_CLOEXEC), 0);
    m_thread = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer()
{
    char stop = 's';
    [[maybe_unused]] auto written = ::write(m_stopPipe[1], &stop, 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
}

std::string LoopbackServer::host() const
{
    return hostOf(m_port);
}

std::string LoopbackServer::request() const
{
    std::lock_guard lock(m_mutex);
    return m_request;
}

bool LoopbackServer::waitUntilServed(int count, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_servedChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return m_served >= count; });
}

void LoopbackServer::serve()
{
    for (;;) {
        pollfd waits[2] = {{m_listener, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno != EINTR)
            return;
        if (waits[1].revents)
            return;
        if (!(waits[0].revents & POLLIN))
            continue;
        int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        ++m_connections;
        {
            std::lock_guard lock(m_mutex);
            m_request.clear();
        }
        handle(connection);
        ::close(connection);
        std::lock_guard lock(m_mutex);
        ++m_served;
        m_servedChanged.notify_all();
    }
}

void LoopbackServer::handle(int connection)
{
    switch (m_behaviour) {
    case Behaviour::Reply:
        readRequest(connection);
        sendAll(connection, m_reply);
        break;
    case Behaviour::CloseAtOnce:
        // The end of the reply goes out first; reading the request afterwards keeps the
        // kernel from answering the client's request with a reset.
        ::shutdown(connection, SHUT_WR);
        readRequest(connection);
        break;
    case Behaviour::NeverAnswer:
        readRequest(connection);
        hold(connection, true);
        break;
    case Behaviour::SendThenHold:
        readRequest(connection);
        sendAll(connection, m_reply);
        hold(connection, true);
        break;
    case Behaviour::StopReading:
        hold(connection, false);
        break;
    }
}

void LoopbackServer::readRequest(int connection)
{
    char buffer[4096];
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_request.find("\r\n\r\n") != std::string::npos)
                return;
        }
        pollfd waits[2] = {{connection, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno != EINTR)
            return;
        if (waits[1].revents)
            return;
        ssize_t count = ::read(connection, buffer, sizeof buffer);
        if (count <= 0)
            return;
        std::lock_guard lock(m_mutex);
        m_request.append(buffer, static_cast<std::size_t>(count));
    }
}

void LoopbackServer::sendAll(int connection, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t count = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        sent += static_cast<std::size_t>(count);
    }
}

void LoopbackServer::hold(int connection, bool watchClient)
{
    char buffer[4096];
    for (;;) {
        pollfd waits[2] = {{m_stopPipe[0], POLLIN, 0}, {connection, POLLIN, 0}};
        if (::poll(waits, watchClient ? 2 : 1, -1) < 0 && errno != EINTR)
            return;
        if (waits[0].revents)
            return;
        if (watchClient && waits[1].revents && ::read(connection, buffer, sizeof buffer) <= 0)
            return;
    }
}

RefusingPort::RefusingPort()
{
    m_socket = boundSocket(m_port);
}

RefusingPort::~RefusingPort()
{
    ::close(m_socket);
}

std::string RefusingPort::host() const
{
    return hostOf(m_port);
}

FullBacklogPort::FullBacklogPort()
{
    m_listener = boundSocket(m_port);
    // A backlog of 0 holds one connection; the filler takes that place.
    EXPECT_EQ(::listen(m_listener, 0), 0);
    m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(m_port);
    EXPECT_EQ(::connect(m_filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
        << std::strerror(errno);
}

FullBacklogPort::~FullBacklogPort()
{
    ::close(m_filler);
    ::close(m_listener);
}

std::string FullBacklogPort::host() const
{
    return hostOf(m_port);
}

} // namespace nettest
