#include "platform/System.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <chrono>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::sys {

namespace {

// A point in time after which a wait gives up; a negative limit never comes.
class Deadline
{
public:
    explicit Deadline(int timeoutMs)
        : m_forever(timeoutMs < 0),
          m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs))
    {}

    // What is left of the limit, in the form poll(2) takes it.
    int remainingMs() const
    {
        if (m_forever)
            return -1;
        auto left =
            std::chrono::ceil<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

private:
    bool m_forever;
    std::chrono::steady_clock::time_point m_end;
};

// Waits until fd reports one of events (or an error or hang-up, which the next call on it
// will report); false when the deadline passed first. A signal only restarts the wait.
Result<bool> waitFor(int fd, short events, const Deadline& deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, deadline.remainingMs());
        if (ready > 0)
            return true;
        if (ready == 0)
            return false;
        if (errno != EINTR)
            return Error::fromErrno("poll");
    }
}

} // namespace

std::string Error::message() const
{
    const char* text =
        std::strcmp(call, "getaddrinfo") == 0 ? ::gai_strerror(code) : std::strerror(code);
    return std::string(call) + ": " + text;
}

Error Error::fromErrno(const char* call)
{
    return Error{call, errno};
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

Result<int> open(const std::string& path, int flags, mode_t mode)
{
    for (;;) {
        int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
        if (fd >= 0)
            return fd;
        if (errno != EINTR)
            return Error::fromErrno("open");
    }
}

Result<void> close(int fd)
{
    if (::close(fd) < 0 && errno != EINTR)
        return Error::fromErrno("close");
    return {};
}

Result<std::size_t> read(int fd, void* buffer, std::size_t size)
{
    for (;;) {
        ssize_t count = ::read(fd, buffer, size);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno != EINTR)
            return Error::fromErrno("read");
    }
}

Result<std::size_t> readWithTimeout(int fd, void* buffer, std::size_t size, int timeoutMs)
{
    Deadline deadline(timeoutMs);
    for (;;) {
        auto ready = waitFor(fd, POLLIN, deadline);
        if (ready.isError())
            return ready.error();
        if (!ready.value())
            return Error{"read", ETIMEDOUT};
        auto count = read(fd, buffer, size);
        // Readiness can be spurious (another reader came first, a serial line glitch);
        // then wait again for what is left of the limit.
        if (!count.isError() || (count.error().code != EAGAIN && count.error().code != EWOULDBLOCK))
            return count;
    }
}

Result<std::size_t> write(int fd, const void* buffer, std::size_t size)
{
    for (;;) {
        ssize_t count = ::write(fd, buffer, size);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno != EINTR)
            return Error::fromErrno("write");
    }
}

Result<void> writeAll(int fd, std::string_view bytes, std::optional<int> timeoutMs)
{
    Deadline deadline(timeoutMs.value_or(-1));
    // send() with MSG_NOSIGNAL keeps a vanished peer from killing the process with SIGPIPE;
    // a descriptor that is no socket (a serial port, a pipe, a file) falls back to write().
    bool isSocket = true;
    while (!bytes.empty()) {
        ssize_t count = isSocket ? ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                 : ::write(fd, bytes.data(), bytes.size());
        if (count > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0) {
            if (isSocket && errno == ENOTSOCK) {
                isSocket = false;
                continue;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return Error::fromErrno(isSocket ? "send" : "write");
        }
        // Full (or a write of nothing, which some serial drivers give when full): wait for room.
        auto ready = waitFor(fd, POLLOUT, deadline);
        if (ready.isError())
            return ready.error();
        if (!ready.value())
            return Error{"write", ETIMEDOUT};
    }
    return {};
}

Result<bool> pollReadable(int fd, int timeoutMs)
{
    return waitFor(fd, POLLIN, Deadline(timeoutMs));
}

Result<bool> pollWritable(int fd, int timeoutMs)
{
    return waitFor(fd, POLLOUT, Deadline(timeoutMs));
}

Result<termios> tcgetattr(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) < 0)
        return Error::fromErrno("tcgetattr");
    return settings;
}

Result<void> tcsetattr(int fd, int when, const termios& settings)
{
    for (;;) {
        if (::tcsetattr(fd, when, &settings) == 0)
            return {};
        if (errno != EINTR)
            return Error::fromErrno("tcsetattr");
    }
}

Result<int> modemLines(int fd)
{
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) < 0)
        return Error::fromErrno("ioctl(TIOCMGET)");
    return lines;
}

Result<int> socket(int domain, int type, int protocol)
{
    int fd = ::socket(domain, type | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        return Error::fromErrno("socket");
    return fd;
}

Result<void> connect(int fd, const sockaddr_in& address, int timeoutMs)
{
    Deadline deadline(timeoutMs);
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return Error::fromErrno("fcntl");
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return {};
    // After EINTR the connection goes on in the background, as after EINPROGRESS.
    if (errno != EINPROGRESS && errno != EINTR)
        return Error::fromErrno("connect");
    auto ready = waitFor(fd, POLLOUT, deadline);
    if (ready.isError())
        return ready.error();
    if (!ready.value())
        return Error{"connect", ETIMEDOUT};
    int failure = 0;
    socklen_t length = sizeof failure;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) < 0)
        return Error::fromErrno("getsockopt");
    if (failure != 0)
        return Error{"connect", failure};
    return {};
}

Result<sockaddr_in> resolveIPv4(const std::string& host, std::uint16_t port)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status == EAI_SYSTEM)
        return Error::fromErrno("resolve");
    if (status != 0)
        return Error{"getaddrinfo", status};
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    address.sin_port = htons(port);
    return address;
}

Result<std::string> readFile(const std::string& path, std::size_t limit)
{
    // Without O_NONBLOCK, opening a named pipe would wait for a writer before fstat could
    // tell what it is.
    auto opened = open(path, O_RDONLY | O_NONBLOCK);
    if (opened.isError())
        return opened.error();
    UniqueFd file(opened.value());
    struct stat info
    {};
    if (::fstat(file.get(), &info) < 0)
        return Error::fromErrno("fstat");
    if (!S_ISREG(info.st_mode))
        return Error{"read", EINVAL};
    std::string contents;
    char chunk[8192];
    for (;;) {
        auto count = read(file.get(), chunk, sizeof chunk);
        if (count.isError())
            return count.error();
        if (count.value() == 0)
            return contents;
        // A file that grows while it is read is held to the limit all the same.
        if (count.value() > limit - contents.size())
            return Error{"read", EFBIG};
        contents.append(chunk, count.value());
    }
}

namespace {

// The file that path finally names, through any chain of symbolic links; the file itself
// need not exist (a link may point to a file yet to be made).
Result<std::string> followLinks(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info
        {};
        if (::lstat(path.c_str(), &info) < 0 || !S_ISLNK(info.st_mode))
            return path;
        std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
        ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0)
            return Error::fromErrno("readlink");
        target.resize(static_cast<std::size_t>(length));
        auto slash = path.rfind('/');
        if (target.starts_with('/') || slash == std::string::npos)
            path = target;
        else
            path = path.substr(0, slash + 1) + target;
    }
    return Error{"readlink", ELOOP};
}

// A process killed while it wrote leaves its temporary file behind; the next write removes
// those whose writer is gone, so that they do not pile up beside the file. A writer that is
// still at work (its process alive) keeps its file.
void removeStaleTemporaries(const std::string& directory, const std::string& prefix)
{
    DIR* folder = ::opendir(directory.c_str());
    if (!folder)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        std::string_view name = entry->d_name;
        if (!name.starts_with(prefix))
            continue;
        name.remove_prefix(prefix.size());
        long long writer = 0;
        auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), writer);
        if (error != std::errc() || *end != '-' || writer <= 0 || writer > INT_MAX)
            continue;
        if (writer != ::getpid() && ::kill(static_cast<pid_t>(writer), 0) < 0 && errno == ESRCH)
            ::unlink((directory + entry->d_name).c_str());
    }
    ::closedir(folder);
}

} // namespace

Result<void> replaceFile(const std::string& path, std::string_view bytes)
{
    auto resolved = followLinks(path);
    if (resolved.isError())
        return resolved.error();
    const std::string& target = resolved.value();

    struct stat old
    {};
    bool replacing = ::stat(target.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT)
        return Error::fromErrno("stat");
    if (replacing && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        return Error{"open", EACCES};

    // A name of our own beside the target, so that the rename stays within one file system.
    static std::atomic<unsigned> serial{0};
    auto slash = target.rfind('/');
    std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (slash == std::string::npos)
        directory += '/';
    const std::string prefix = "." + base + ".tmp";
    std::string temporary =
        directory + prefix + std::to_string(::getpid()) + "-" + std::to_string(serial++);

    auto opened = open(temporary, O_WRONLY | O_CREAT | O_EXCL, replacing ? 0600 : 0666);
    if (opened.isError())
        return opened.error();
    UniqueFd file(opened.value());
    auto fail = [&](Error error) -> Result<void> {
        file.reset();
        ::unlink(temporary.c_str());
        return error;
    };
    if (replacing) {
        if (::fchmod(file.get(), old.st_mode & 07777) < 0)
            return fail(Error::fromErrno("fchmod"));
        // Only root may give the file back to its owner; for anyone else it is theirs already.
        [[maybe_unused]] int ignored = ::fchown(file.get(), old.st_uid, old.st_gid);
    }
    if (auto written = writeAll(file.get(), bytes); written.isError())
        return fail(written.error());
    if (::fsync(file.get()) < 0)
        return fail(Error::fromErrno("fsync"));
    // A network file system may report a failed write only now.
    if (::close(file.release()) < 0)
        return fail(Error::fromErrno("close"));
    if (::rename(temporary.c_str(), target.c_str()) < 0)
        return fail(Error::fromErrno("rename"));

    // Make the rename itself durable; a failure here loses nothing that is already written.
    if (int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    removeStaleTemporaries(directory, prefix);
    return {};
}

} // namespace platform::sys
