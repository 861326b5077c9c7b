#include "modem/Serial.h"

#include "platform/DosDevices.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>

namespace sys = platform::sys;

namespace {

// The calls that the platform layer has no wrapper for; like its wrappers they
// report the failing call and its errno.
sys::Result<void> flushQueue(int fd, int queue)
{
    if (::tcflush(fd, queue) < 0)
        return sys::Error::fromErrno("tcflush");
    return {};
}

sys::Result<void> raiseModemLines(int fd, int lines)
{
    if (::ioctl(fd, TIOCMBIS, &lines) < 0)
        return sys::Error::fromErrno("ioctl(TIOCMBIS)");
    return {};
}

sys::Result<bool> pollWritable(int fd, int timeoutMs)
{
    for (;;) {
        pollfd entry{fd, POLLOUT, 0};
        int ready = ::poll(&entry, 1, timeoutMs);
        if (ready >= 0)
            return ready > 0;
        if (errno != EINTR)
            return sys::Error::fromErrno("poll");
    }
}

speed_t speedOf(long baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return 0;
    }
}

// Raw mode: every byte passes unchanged in both directions, no echo, no signals, and reads
// return what is there (the descriptor is non-blocking anyway).
void makeRaw(termios& settings)
{
    ::cfmakeraw(&settings);
    // The modem's carrier must not decide whether we may talk to it: it has none while it is
    // in command mode, which is when we talk to it most.
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, B57600);
    ::cfsetospeed(&settings, B57600);
}

constexpr int writeTimeoutMs = 2000;

} // namespace

GFComLink::GFComLink(std::string device) : m_device(std::move(device))
{
    if (m_device.empty()) {
        m_error = ENOENT;
        return;
    }
    auto opened = sys::open(m_device, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (opened.isError()) {
        m_error = opened.error().code;
        return;
    }
    sys::UniqueFd fd(opened.value());
    // Something that is not a terminal (a plain file behind a dosdevices entry) is no port.
    auto original = sys::tcgetattr(fd.get());
    if (original.isError()) {
        m_error = original.error().code;
        return;
    }
    m_original = m_current = m_next = original.value();
    m_fd = std::move(fd);
    makeRaw(m_next);
    if (!Apply()) {
        m_error = errno ? errno : EIO;
        m_fd.reset();
    }
}

GFComLink::~GFComLink()
{
    if (!m_fd.valid())
        return;
    // What we wrote but the line has not taken is of no use to anyone any more; dropping it
    // keeps the close from waiting for a modem that holds us off with CTS.
    (void)flushQueue(m_fd.get(), TCOFLUSH);
    (void)sys::tcsetattr(m_fd.get(), TCSANOW, m_original);
}

bool GFComLink::Apply()
{
    if (!m_fd.valid())
        return false;
    auto applied = sys::tcsetattr(m_fd.get(), TCSANOW, m_next);
    if (applied.isError()) {
        errno = applied.error().code;
        return false;
    }
    m_current = m_next;
    return true;
}

GFComWin32::GFComWin32(int port, unsigned int, unsigned int, int)
    : GFComLink(platform::comPortDevice(port + 1))
{}

GFSerial::GFSerial(GFComLink* link) : m_link(link) {}

int GFSerial::GetCommError(unsigned short& errors)
{
    errors = 0;
    if (!m_link)
        return ENODEV;
    return m_link->IsOpen() ? 0 : (m_link->Error() ? m_link->Error() : ENODEV);
}

void GFSerial::TXFlush()
{
    if (usable())
        (void)flushQueue(m_link->Descriptor(), TCOFLUSH);
}

void GFSerial::RXFlush(int)
{
    if (usable())
        (void)flushQueue(m_link->Descriptor(), TCIFLUSH);
}

int GFSerial::PutString(const unsigned char* text, int mode)
{
    if (!usable() || !text)
        return -1;
    std::string bytes;
    const char* characters = reinterpret_cast<const char*>(text);
    if (mode >= 0)
        bytes.assign(characters, static_cast<std::size_t>(mode));
    else if (mode == asIs)
        bytes = characters;
    else if (mode == commandLine)
        bytes = std::string(characters) + '\r';
    else
        return -2;
    return Write(bytes, writeTimeoutMs) ? 0 : -1;
}

unsigned int GFSerial::GetString(unsigned char* buffer, unsigned int room, int, long)
{
    if (!buffer || room == 0)
        return 0;
    long count = Read(buffer, room - 1);
    unsigned int placed = count > 0 ? static_cast<unsigned int>(count) : 0;
    buffer[placed] = '\0';
    return placed;
}

long GFSerial::Read(void* buffer, std::size_t size)
{
    if (!usable())
        return -1;
    if (size == 0)
        return 0;
    auto count = sys::read(m_link->Descriptor(), buffer, size);
    if (!count.isError())
        return static_cast<long>(count.value());
    if (count.error().code == EAGAIN || count.error().code == EWOULDBLOCK)
        return 0;
    return -1;
}

bool GFSerial::Write(std::string_view bytes, int timeoutMs)
{
    if (!usable())
        return false;
    return !sys::writeAll(m_link->Descriptor(), bytes, timeoutMs).isError();
}

bool GFSerial::WaitReadable(int timeoutMs)
{
    if (!usable())
        return true; // the next Read reports the failure
    auto ready = sys::pollReadable(m_link->Descriptor(), timeoutMs);
    return ready.isError() || ready.value();
}

long GFSerial::WriteSome(const void* bytes, std::size_t size)
{
    if (!usable())
        return -1;
    if (size == 0)
        return 0;
    auto count = sys::write(m_link->Descriptor(), bytes, size);
    if (!count.isError())
        return static_cast<long>(count.value());
    if (count.error().code == EAGAIN || count.error().code == EWOULDBLOCK)
        return 0;
    return -1;
}

bool GFSerial::WaitWritable(int timeoutMs)
{
    if (!usable())
        return true;
    auto ready = pollWritable(m_link->Descriptor(), timeoutMs);
    return ready.isError() || ready.value();
}

GFLineStatus::GFLineStatus(GFSerial* serial) : m_serial(serial) {}

int GFLineStatus::SetHandShake(int flow, int lines)
{
    GFComLink* link = m_serial ? m_serial->Link() : nullptr;
    if (!link || !link->IsOpen())
        return -1;
    termios& next = link->Next();
    next = link->Current();
    if (flow == rtsCtsHandshake)
        next.c_cflag |= CRTSCTS;
    else
        next.c_cflag &= ~CRTSCTS;
    if (!link->Apply())
        return -1;
    int raise = ((lines & raiseDtr) ? TIOCM_DTR : 0) | ((lines & raiseRts) ? TIOCM_RTS : 0);
    if (raise != 0) {
        // A device without control lines has none to raise; that is no failure.
        auto raised = raiseModemLines(link->Descriptor(), raise);
        if (raised.isError() && raised.error().code != ENOTTY && raised.error().code != EINVAL)
            return -1;
    }
    return 0;
}

int GFLineStatus::Status()
{
    GFComLink* link = m_serial ? m_serial->Link() : nullptr;
    if (!link || !link->IsOpen())
        return 0;
    auto lines = sys::modemLines(link->Descriptor());
    return lines.isError() ? 0 : lines.value();
}

int GFLineStatus::Cts()
{
    GFComLink* link = m_serial ? m_serial->Link() : nullptr;
    if (!link || !link->IsOpen())
        return 0;
    auto lines = sys::modemLines(link->Descriptor());
    if (lines.isError())
        return lines.error().code == ENOTTY || lines.error().code == EINVAL ? 1 : 0;
    return (lines.value() & TIOCM_CTS) ? 1 : 0;
}

GFDataFormat::GFDataFormat(GFSerial* serial) : m_serial(serial) {}

int GFDataFormat::SetUp(long baud, char parity, int dataBits, int stopBits)
{
    GFComLink* link = m_serial ? m_serial->Link() : nullptr;
    if (!link || !link->IsOpen())
        return -1;
    speed_t speed = speedOf(baud);
    tcflag_t parityBits = 0;
    switch (parity) {
    case 'N':
    case 'n':
        break;
    case 'E':
    case 'e':
        parityBits = PARENB;
        break;
    case 'O':
    case 'o':
        parityBits = PARENB | PARODD;
        break;
    default:
        return -2;
    }
    if (speed == 0 || dataBits < 5 || dataBits > 8 || (stopBits != 1 && stopBits != 2))
        return -2;

    termios& next = link->Next();
    next = link->Current();
    ::cfsetispeed(&next, speed);
    ::cfsetospeed(&next, speed);
    next.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    next.c_cflag |= sizes[dataBits - 5] | parityBits;
    if (stopBits == 2)
        next.c_cflag |= CSTOPB;
    return link->Apply() ? 0 : -1;
}
