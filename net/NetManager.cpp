#include "net/NetManager.h"

#include "platform/Desktop.h"
#include "ui/Format.h"
#include "ui/StatusWindow.h"

#include "BuildConfig.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <charconv>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

std::string replyFileName;

namespace sys = platform::sys;

namespace {

constexpr std::uint16_t httpPort = 80;
constexpr std::uint16_t httpsPort = 443;
constexpr char captionNetManager[] = "NetManager";
constexpr char progressTitle[] = "Pantrix Update Status";
constexpr char progressFormat[] =
    "Downloading the Pantrix udpate now...Please Wait.  This may take "
    "several minutes.  %.3fMB Received.";

NetManager::TimeLimits limits;

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

std::optional<NetManager::ServerAddress> NetManager::parseServer(const std::string& server)
{
    std::string_view rest = server;
    ServerAddress address;
    if (auto separator = rest.find("://"); separator != std::string_view::npos) {
        std::string scheme(rest.substr(0, separator));
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (scheme == "https")
            address = {true, {}, httpsPort};
        else if (scheme != "http")
            return std::nullopt;
        rest.remove_prefix(separator + 3);
        rest.remove_suffix(rest.ends_with('/') ? 1 : 0);
    }
    if (auto colon = rest.rfind(':'); colon != std::string_view::npos) {
        const char* first = rest.data() + colon + 1;
        const char* last = rest.data() + rest.size();
        unsigned value = 0;
        auto [end, failure] = std::from_chars(first, last, value);
        if (first == last || end != last || failure != std::errc() || value < 1 || value > 65535)
            return std::nullopt;
        address.port = static_cast<std::uint16_t>(value);
        rest = rest.substr(0, colon);
    }
    // What is left is the host, which also goes into the Host header: nothing that would end
    // the header or belong to another part of a URL (a path, a query, a user name).
    auto foreign = [](unsigned char c) {
        return c <= ' ' || c >= 0x7F || std::strchr("/?#@[]", c);
    };
    if (rest.empty() || std::any_of(rest.begin(), rest.end(), foreign))
        return std::nullopt;
    address.name = rest;
    return address;
}

std::string NetManager::ServerAddress::hostHeader() const
{
    return port == (secure ? httpsPort : httpPort) ? name : name + ":" + std::to_string(port);
}

// The step's limit, clipped to what is left of the whole exchange.
int NetManager::within(int stepMs) const
{
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, stepMs));
}

// POSIX sockets need no start-up and no clean-up around an exchange, so there is no library
// that could fail to load here: the exchange begins with the connection. A peer that closes
// while the request is on its way cannot raise SIGPIPE (both connections see to it); the
// connection and the file close when their owners go out of scope.
NetManager::NetManager(const std::string& server, const std::string& path)
    : m_deadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.exchangeMs))
{
    std::unique_ptr<net::Connection> connection = ConnectToHost(server);
    if (!connection)
        return;
    sys::UniqueFd file = SendGetRequest(*connection, server, path);
    if (!file.valid())
        return;

    // Counted exactly in an integer: a floating-point total would drop bytes once it passes
    // 16 MB, and a failed write (-1) is no byte received.
    std::uint64_t total = 0;
    int received;
    do {
        received = ReceiveChunk(*connection, file);
        if (received > 0)
            total += static_cast<std::uint64_t>(received);
        ui::StatusWindow(progressTitle, progressFormat, static_cast<double>(total) * 0.000001);
    } while (received > 0);
}

std::string NetManager::requestText(const std::string& server, const std::string& path)
{
    // No request goes to a server that is no server; its text stands in for the size check.
    auto address = parseServer(server);
    return "GET " + path + " HTTP/1.0\r\nUser-Agent: " + config::productName + " v" +
           config::productVersion + "\r\nHost: " + (address ? address->hostHeader() : server) +
           "\r\n\r\n";
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

std::unique_ptr<net::Connection> NetManager::ConnectToHost(const std::string& server)
{
    auto address = parseServer(server);
    if (!address) {
        showFailure("Not a server address: \"" + server +
                        "\" (expected https://host[:port] or http://host[:port]).",
                    captionNetManager);
        return {};
    }
    auto resolved = sys::resolveIPv4(address->name, address->port);
    if (resolved.isError()) {
        showFailure("Could not get IP address!", address->name);
        return {};
    }
    auto created = sys::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (created.isError()) {
        showFailure("Invalid socket!!", captionNetManager);
        return {};
    }
    sys::UniqueFd socket(created.value());
    // A server that never accepts fails with ETIMEDOUT once the limit has passed.
    auto connected = sys::connect(socket.get(), resolved.value(), within(limits.connectMs));
    if (connected.isError()) {
        showFailure(ui::format("%d Error connecting socket!!", connected.error().code),
                    captionNetManager);
        return {};
    }
    if (!address->secure)
        return net::plainConnection(std::move(socket));
    // The handshake is part of making the connection and has the same time limit again.
    auto secured = net::tlsConnection(std::move(socket), address->name, within(limits.connectMs));
    if (!secured.connection)
        showFailure(secured.failure, captionNetManager);
    return std::move(secured.connection);
}

sys::UniqueFd NetManager::SendGetRequest(net::Connection& connection, const std::string& server,
                                         const std::string& path)
{
    // The whole request, however the kernel splits it, within the receive limit: a peer that
    // stops taking the request is as silent as one that never answers it.
    if (connection.writeAll(requestText(server, path), within(limits.receiveMs)).isError())
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

int NetManager::ReceiveChunk(net::Connection& connection, sys::UniqueFd& file)
{
    // Once the whole exchange has run out of time nothing more is taken, however fast it comes.
    int waitMs = within(limits.receiveMs);
    auto received = waitMs > 0 ? connection.read(m_buffer, receiveLimit, waitMs)
                               : sys::Result<std::size_t>(sys::Error{"read", ETIMEDOUT});

    // A receive error or a time limit: the reply ends with what has arrived; the code is of
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
