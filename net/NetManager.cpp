#include "net/NetManager.h"

#include "platform/Desktop.h"
#include "ui/Format.h"
#include "ui/StatusWindow.h"

#include "BuildConfig.h"

#include <cerrno>
#include <charconv>
#include <optional>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

std::string replyFileName;

namespace sys = platform::sys;

namespace {

constexpr std::uint16_t httpPort = 80;
constexpr char captionNetManager[] = "NetManager";
constexpr char progressTitle[] = "Pantrix Update Status";
constexpr char progressFormat[] =
    "Downloading the Pantrix udpate now...Please Wait.  This may take "
    "several minutes.  %.3fMB Received.";

NetManager::TimeLimits limits;

// "name" or "name:port", split. The port is absent when the text after the colon is not a
// port number from 1 to 65535.
struct ServerName
{
    std::string name;
    std::optional<std::uint16_t> port;
};

ServerName splitHost(const std::string& host)
{
    auto colon = host.rfind(':');
    if (colon == std::string::npos)
        return {host, httpPort};
    ServerName server{host.substr(0, colon), std::nullopt};
    const char* first = host.data() + colon + 1;
    const char* last = host.data() + host.size();
    unsigned value = 0;
    auto [end, failure] = std::from_chars(first, last, value);
    if (first != last && end == last && failure == std::errc() && value >= 1 && value <= 65535)
        server.port = static_cast<std::uint16_t>(value);
    return server;
}

// Writes the whole chunk to the reply file. Plain write(2) in a loop: writeAll would first
// try the file as a socket, which costs a failed system call per chunk, and a reply comes in
// thousands of chunks.
bool writeChunk(int file, std::string_view chunk)
{
    while (!chunk.empty()) {
        auto written = sys::write(file, chunk.data(), chunk.size());
        if (written.isError() || written.value() == 0)
            return false;
        chunk.remove_prefix(written.value());
    }
    return true;
}

void showFailure(const std::string& text, const std::string& caption)
{
    platform::MessageBoxA(text, caption, platform::MB_OK | platform::MB_ICONHAND);
}

} // namespace

NetManager::TimeLimits NetManager::timeLimits()
{
    return limits;
}

void NetManager::setTimeLimits(TimeLimits replacement)
{
    limits = replacement;
}

// POSIX sockets need no start-up and no clean-up around an exchange, so there is no library
// that could fail to load here: the exchange begins with the connection. A peer that closes
// while the request is on its way cannot raise SIGPIPE, because writeAll sends with
// MSG_NOSIGNAL; the socket and the file close when their owners go out of scope.
NetManager::NetManager(const std::string& host, const std::string& path)
{
    sys::UniqueFd socket = ConnectToHost(host);
    if (!socket.valid())
        return;
    sys::UniqueFd file = SendGetRequest(socket.get(), host, path);
    if (!file.valid())
        return;

    // Counted exactly in an integer: a floating-point total would drop bytes once it passes
    // 16 MB, and a failed write (-1) is no byte received.
    std::uint64_t total = 0;
    int received;
    do {
        received = ReceiveChunk(socket.get(), file);
        if (received > 0)
            total += static_cast<std::uint64_t>(received);
        ui::StatusWindow(progressTitle, progressFormat, static_cast<double>(total) * 0.000001);
    } while (received > 0);
}

std::string NetManager::requestText(const std::string& host, const std::string& path)
{
    ServerName server = splitHost(host);
    std::string hostHeader = server.name;
    if (server.port != httpPort)
        hostHeader = host;
    return "GET " + path + " HTTP/1.0\r\nUser-Agent: " + config::productName + " v" +
           config::productVersion + "\r\nHost: " + hostHeader + "\r\n\r\n";
}

std::string NetManager::LocalFileName(const std::string& path)
{
    auto slash = path.rfind('/');
    std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    std::string name;
    for (std::size_t i = base; i < path.size() && name.size() < 8 && path[i] != '.'; ++i)
        name += path[i];
    name += '.';
    auto dot = path.rfind('.');
    if (dot == std::string::npos)
        return name;
    // A dot before the last "/" belongs to a folder, not to the file; the extension stops at
    // a "/" so that the reply never lands in another folder.
    for (std::size_t i = dot + 1, copied = 0; i < path.size() && copied < 3 && path[i] != '/';
         ++i, ++copied)
        name += path[i];
    return name;
}

std::string NetManager::replyFileNameFor(const std::string& path)
{
    std::string name = LocalFileName(path);
    if (auto question = name.find('?'); question != std::string::npos)
        name = name.substr(0, question) + ".HTM";
    return name;
}

sys::UniqueFd NetManager::ConnectToHost(const std::string& host)
{
    ServerName server = splitHost(host);
    if (!server.port) {
        showFailure("Could not get IP address!", server.name);
        return {};
    }
    auto address = sys::resolveIPv4(server.name, *server.port);
    if (address.isError()) {
        showFailure("Could not get IP address!", server.name);
        return {};
    }
    auto created = sys::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (created.isError()) {
        showFailure("Invalid socket!!", captionNetManager);
        return {};
    }
    sys::UniqueFd socket(created.value());
    // A server that never accepts fails with ETIMEDOUT once the limit has passed.
    auto connected = sys::connect(socket.get(), address.value(), limits.connectMs);
    if (connected.isError()) {
        showFailure(ui::format("%d Error connecting socket!!", connected.error().code),
                    captionNetManager);
        return {};
    }
    return socket;
}

sys::UniqueFd NetManager::SendGetRequest(int socket, const std::string& host,
                                         const std::string& path)
{
    // The whole request, however the kernel splits it, within the receive limit: a peer that
    // stops taking the request is as silent as one that never answers it.
    if (sys::writeAll(socket, requestText(host, path), limits.receiveMs).isError())
        return {};

    replyFileName = replyFileNameFor(path);
    auto opened = sys::open(replyFileName, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (opened.isError()) {
        // A file of that name that we could not replace is not this reply.
        replyFileName.clear();
        return {};
    }
    return sys::UniqueFd(opened.value());
}

int NetManager::ReceiveChunk(int socket, sys::UniqueFd& file)
{
    // Take what is already waiting without a poll; wait (within the limit) only when nothing
    // is. The socket is non-blocking since the connect.
    auto received = sys::read(socket, m_buffer, receiveLimit);
    if (received.isError() &&
        (received.error().code == EAGAIN || received.error().code == EWOULDBLOCK))
        received = sys::readWithTimeout(socket, m_buffer, receiveLimit, limits.receiveMs);

    // A receive error or the time limit: the reply ends with what has arrived; the code is of
    // no use to anyone.
    if (received.isError() || received.value() == 0) {
        file.reset();
        return 0;
    }
    std::size_t count = received.value();
    if (!writeChunk(file.get(), std::string_view(m_buffer, count))) {
        file.reset();
        return -1;
    }
    return static_cast<int>(count);
}
