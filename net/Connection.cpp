#include "net/Connection.h"

#include <cerrno>

namespace sys = platform::sys;

namespace net {

namespace {

class PlainConnection final : public Connection
{
public:
    explicit PlainConnection(sys::UniqueFd socket) : m_socket(std::move(socket)) {}

    sys::Result<void> writeAll(std::string_view bytes, int timeoutMs) override
    {
        return sys::writeAll(m_socket.get(), bytes, timeoutMs);
    }

    sys::Result<std::size_t> read(char* buffer, std::size_t size, int timeoutMs) override
    {
        // Take what is already waiting without a poll; wait only when nothing is. The socket
        // is non-blocking since the connect.
        auto received = sys::read(m_socket.get(), buffer, size);
        if (received.isError() &&
            (received.error().code == EAGAIN || received.error().code == EWOULDBLOCK))
            return sys::readWithTimeout(m_socket.get(), buffer, size, timeoutMs);
        return received;
    }

private:
    sys::UniqueFd m_socket;
};

} // namespace

std::unique_ptr<Connection> plainConnection(sys::UniqueFd socket)
{
    return std::make_unique<PlainConnection>(std::move(socket));
}

} // namespace net
