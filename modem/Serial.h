#pragma once

// The serial library of the modem channel: a port (GFComWin32), a byte stream over it
// (GFSerial), its modem-control lines (GFLineStatus) and its data format (GFDataFormat).
// The modem dialogue and the YMODEM sender reach the line only through these classes.
//
// How it works. The port opens the device of COM n (the Windows directory's dosdevices entry,
// else /dev/ttyS<n-1>) without blocking and without making it our controlling terminal, and
// keeps three sets of terminal settings: the original ones, found when it opened; the current
// ones, last applied; and the next ones, which the line-status and data-format objects change
// and then apply explicitly. Nothing reaches the device until it is applied, and the original
// settings go back when the port is destroyed, so the device is left as we found it. Reads
// never block: the callers poll, pumping window messages between polls, because everything
// runs on the user-interface thread. Every system call goes through a wrapper that reports
// the failing call and its errno.

#include "platform/System.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <termios.h>

// A terminal device and its staged settings. The device stays open for the life of the
// object; a device that cannot be opened leaves the object closed, with the reason in Error().
class GFComLink
{
public:
    virtual ~GFComLink();
    GFComLink(const GFComLink&) = delete;
    GFComLink& operator=(const GFComLink&) = delete;

    bool IsOpen() const { return m_fd.valid(); }
    // The errno that kept the device from opening (or from taking its first settings); 0 when
    // it is open.
    int Error() const { return m_error; }
    int Descriptor() const { return m_fd.get(); }
    const std::string& Device() const { return m_device; }

    // The settings the next Apply() makes current. Start from Current() to change one thing.
    termios& Next() { return m_next; }
    const termios& Current() const { return m_current; }
    // Makes the next settings current; false when the device refused them.
    bool Apply();

protected:
    // Opens device in raw mode: 57600 bit/s, 8 data bits, no parity, 1 stop bit, no flow
    // control, receiver on, modem status lines ignored until a handshake is set.
    explicit GFComLink(std::string device);

private:
    std::string m_device;
    platform::sys::UniqueFd m_fd;
    int m_error = 0;
    termios m_original{};
    termios m_current{};
    termios m_next{};
};

// COM port n of the machine.
class GFComWin32 : public GFComLink
{
public:
    // port: 0 for COM1. The buffer sizes (4096 and 2048 in the program) are accepted for the
    // library's sake: the kernel's terminal buffers do that work here. options: 0, none.
    GFComWin32(int port, unsigned int receiveBufferSize, unsigned int transmitBufferSize,
               int options);
};

// The byte stream over a port.
class GFSerial
{
public:
    // PutString modes: a command line, sent with a carriage return added; or the text as it is.
    static constexpr int commandLine = -3;
    static constexpr int asIs = -1;

    explicit GFSerial(GFComLink* link);

    // Non-zero when the port cannot be used (it did not open); errors is set to 0.
    int GetCommError(unsigned short& errors);

    // Discard what waits to be sent, and what was received and not yet read. The argument of
    // RXFlush is accepted for the library's sake.
    void TXFlush();
    void RXFlush(int which);

    // Sends text, a zero-terminated string: with commandLine followed by a carriage return,
    // with asIs unchanged; a count of 0 or more sends that many bytes instead. 0 on success,
    // negative when the port is closed or the line refused the bytes within 2 seconds.
    int PutString(const unsigned char* text, int mode);

    // Places what has been received, at most room - 1 bytes, at buffer and a zero byte after
    // it, and returns the count at once: 0 when nothing is waiting (or room is 0). The last two
    // arguments (-1 and 0 in the program: whatever is there, without waiting) are accepted for
    // the library's sake.
    unsigned int GetString(unsigned char* buffer, unsigned int room, int count, long timeout);

    // For the file transfer: the raw stream. Read returns at once with the bytes waiting,
    // 0 when there are none, -1 when the line has failed (the device went away).
    long Read(void* buffer, std::size_t size);
    // Writes every byte within timeoutMs; false when the line failed or stayed full.
    bool Write(std::string_view bytes, int timeoutMs);
    // Hands the line what it takes at once: the count taken, 0 when it is full, -1 when it
    // has failed.
    long WriteSome(const void* bytes, std::size_t size);
    // Wait in the kernel, at most timeoutMs, for something to read or for room to write;
    // true when there is (or the line failed, which the next Read or WriteSome reports).
    bool WaitReadable(int timeoutMs);
    bool WaitWritable(int timeoutMs);

    GFComLink* Link() const { return m_link; }

private:
    bool usable() const { return m_link && m_link->IsOpen(); }

    GFComLink* m_link;
};

// The modem-control lines of the port.
class GFLineStatus
{
public:
    // Values of SetHandShake.
    static constexpr int rtsCtsHandshake = 4; // flow: the modem stops us with CTS
    static constexpr int raiseDtr = 4;        // lines: data terminal ready
    static constexpr int raiseRts = 8;        // lines: request to send

    explicit GFLineStatus(GFSerial* serial);

    // flow rtsCtsHandshake turns on hardware flow control, anything else turns it off; lines
    // names the control lines to hold raised (12: DTR and RTS). 0 on success.
    int SetHandShake(int flow, int lines);
    // Reads the modem-control lines (TIOCM_ bits); 0 when they cannot be read.
    int Status();
    // 1 when the modem signals clear-to-send. A device without modem-control lines (a
    // pseudo-terminal, a modem behind a program) counts as clear; a port that is not open or
    // whose lines cannot be read does not.
    int Cts();

private:
    GFSerial* m_serial;
};

// The line's speed and character format.
class GFDataFormat
{
public:
    explicit GFDataFormat(GFSerial* serial);

    // baud: a standard rate (57600 in the program); parity 'N', 'E' or 'O'; 5 to 8 data bits;
    // 1 or 2 stop bits. 0 on success, negative for a value the line cannot take or a device
    // that refused it.
    int SetUp(long baud, char parity, int dataBits, int stopBits);

private:
    GFSerial* m_serial;
};
