#pragma once

// Thin wrappers of the system calls that the serial port, the HTTP client and the profile
// writer need. Each returns a Result: the value, or the name of the call that failed and its
// errno. The wrappers restart a call that a signal interrupted (EINTR), open every descriptor
// close-on-exec so that a program we start never inherits a serial port or a socket, and
// measure time limits on the real monotonic clock: they wait in the kernel, so a test's clock
// (Clock.h) cannot stand in for that time.
//
// Time limits are in milliseconds; a negative limit waits without end.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include <netinet/in.h>
#include <sys/types.h>
#include <termios.h>

namespace platform::sys {

struct Error
{
    const char* call = ""; // the failing call, e.g. "connect"
    int code = 0;          // its errno; for "getaddrinfo" an EAI_ code instead

    // "connect: Connection refused"
    std::string message() const;

    // The error that the last failed call left in errno.
    static Error fromErrno(const char* call);
};

template <class T> class [[nodiscard]] Result
{
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(Error error) : m_data(error) {}

    bool isError() const { return std::holds_alternative<Error>(m_data); }
    T& value() { return std::get<T>(m_data); }
    const T& value() const { return std::get<T>(m_data); }
    const Error& error() const { return std::get<Error>(m_data); }

private:
    std::variant<T, Error> m_data;
};

template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Error error) : m_error(error) {}

    bool isError() const { return m_error.has_value(); }
    const Error& error() const { return *m_error; }

private:
    std::optional<Error> m_error;
};

// Owns a file descriptor and closes it when it goes out of scope.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// open(2); O_CLOEXEC is always added to flags.
Result<int> open(const std::string& path, int flags, mode_t mode = 0);
// close(2); never retried, because Linux has released the descriptor even when it reports EINTR.
Result<void> close(int fd);

// One read(2); 0 bytes means end of file. A non-blocking descriptor with nothing waiting
// gives the error EAGAIN.
Result<std::size_t> read(int fd, void* buffer, std::size_t size);
// Waits at most timeoutMs for fd to become readable, then reads once. A time limit that runs
// out gives the error ETIMEDOUT; 0 bytes means end of file.
Result<std::size_t> readWithTimeout(int fd, void* buffer, std::size_t size, int timeoutMs);

// One write(2).
Result<std::size_t> write(int fd, const void* buffer, std::size_t size);
// Writes every byte, however the kernel splits the write. On a non-blocking descriptor that
// is full (EAGAIN) it waits for room, all in all at most timeoutMs (no limit when absent);
// the time running out gives the error ETIMEDOUT. Serves a serial port and a socket alike;
// on a socket whose peer has gone it gives EPIPE instead of raising SIGPIPE.
Result<void> writeAll(int fd, std::string_view bytes, std::optional<int> timeoutMs = std::nullopt);

// True when fd is readable (or at end of file, or in error, so that the next read reports it)
// within timeoutMs; false when the time ran out.
Result<bool> pollReadable(int fd, int timeoutMs);
// True when fd can take more bytes (or is in error) within timeoutMs; false when the time ran out.
Result<bool> pollWritable(int fd, int timeoutMs);

Result<termios> tcgetattr(int fd);
Result<void> tcsetattr(int fd, int when, const termios& settings);
// The modem-control lines of a serial port (TIOCM_CTS, TIOCM_DSR, ...). A pseudo-terminal
// has none and gives the error ENOTTY.
Result<int> modemLines(int fd);

// socket(2); SOCK_CLOEXEC is always added to type.
Result<int> socket(int domain, int type, int protocol);
// Connects within timeoutMs (a refused or unreachable peer fails at once, a silent one after
// the limit with ETIMEDOUT). The socket is left non-blocking, so that writeAll and
// readWithTimeout keep their time limits on it.
Result<void> connect(int fd, const sockaddr_in& address, int timeoutMs);

// The first IPv4 address of host (a name or a dotted address), with port filled in.
Result<sockaddr_in> resolveIPv4(const std::string& host, std::uint16_t port);

// The whole content of the file at path, which must be a regular file of at most limit
// bytes. A missing file gives the error ENOENT; anything else at path (a named pipe that would
// wait for a writer, a device such as /dev/zero that never ends, a folder) gives EINVAL
// without waiting, and a file larger than limit gives EFBIG without being read whole.
inline constexpr std::size_t defaultReadLimit = 64 * 1024 * 1024;
Result<std::string> readFile(const std::string& path, std::size_t limit = defaultReadLimit);

// Replaces the file at path with bytes, or leaves it as it was: the bytes go to a temporary
// file beside it, which is flushed to disk and renamed over the old one. A replaced file
// keeps its permissions; a new one gets those of an ordinary new file. A symbolic link is
// followed, so the file it points to is replaced and the link stays. A file without any
// write permission is refused (EACCES), as Windows refuses a read-only file, even to root.
Result<void> replaceFile(const std::string& path, std::string_view bytes);

} // namespace platform::sys
