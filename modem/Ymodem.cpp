#include "modem/Ymodem.h"

// How it works. YMODEM is a stop-and-wait protocol driven by the receiver. The receiver asks
// for a CRC-16 transfer by sending "C". The sender answers with block 0, which carries the
// file's name and size; the receiver acknowledges it (ACK) and asks again ("C") for the data.
// The data follows in numbered blocks of 1024 bytes (STX) or 128 bytes (SOH), each framed as
// header, block number, its complement, the data padded with Ctrl-Z, and the CRC-16 of the
// data, high byte first. Every block waits for its answer: ACK sends the next one; NAK, a
// repeated "C" or silence sends the same block again, up to a limit. After the last block the
// sender sends EOT; the receiver answers the first EOT with NAK, to be sure, and the second
// with ACK. It then asks ("C") for the next file's block 0, and an empty block 0 ends the batch.
// The receiver stops a transfer by sending CAN twice; the sender stops one the same way.
//
// All waiting is done here, on the user-interface thread: each wait dispatches the window
// messages, measures its limit on platform::clock(), and sleeps in the kernel on the line in
// short slices, so that the windows stay alive and an answer is read the moment it arrives.

#include "modem/Serial.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/System.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

constexpr char SOH = 0x01;
constexpr char STX = 0x02;
constexpr char EOT = 0x04;
constexpr char ACK = 0x06;
constexpr char BS = 0x08;
constexpr char NAK = 0x15;
constexpr char CAN = 0x18;
constexpr char CPMEOF = 0x1A;
constexpr char CRC_REQUEST = 'C';

constexpr std::size_t shortBlock = 128;
constexpr std::size_t longBlock = 1024;
// A tail of up to seven short blocks pads less than one long block would.
constexpr std::size_t longBlockThreshold = longBlock - shortBlock;

// The slice of one kernel wait: short enough that the windows never look frozen.
constexpr std::uint32_t sliceMs = 20;
// The end of a batch is a courtesy to the receiver; the file is already safe.
constexpr int endOfBatchTries = 3;

// CRC-16/XMODEM: polynomial 0x1021, initial value 0.
constexpr std::array<std::uint16_t, 256> crcTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
        table[i] = crc;
    }
    return table;
}();

std::uint16_t crc16(std::string_view data)
{
    std::uint16_t crc = 0;
    for (unsigned char byte : data)
        crc = static_cast<std::uint16_t>((crc << 8) ^ crcTable[((crc >> 8) ^ byte) & 0xFF]);
    return crc;
}

// One framed block: data is padded with padding to the block size (128 or 1024).
std::string frame(unsigned number, std::string_view data, std::size_t size, char padding)
{
    std::string block;
    block.reserve(size + 5);
    block += size == longBlock ? STX : SOH;
    block += static_cast<char>(number & 0xFF);
    block += static_cast<char>(~number & 0xFF);
    std::size_t start = block.size();
    block.append(data);
    block.append(size - data.size(), padding);
    std::uint16_t crc = crc16(std::string_view(block).substr(start));
    block += static_cast<char>(crc >> 8);
    block += static_cast<char>(crc & 0xFF);
    return block;
}

// Seconds since 1970 of the file's last change, or 0 when it cannot be had.
long long modificationTime(const std::string& path)
{
    std::error_code error;
    auto changed = std::filesystem::last_write_time(path, error);
    if (error)
        return 0;
    auto system = std::chrono::file_clock::to_sys(changed);
    return std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count());
}

// The data of block 0: the name, a zero byte, the size in decimal and, when it is known, the
// time of the last change in seconds since 1970, in octal; the frame pads it with zeros.
std::string headerData(const std::string& name, std::size_t size, long long changed)
{
    std::string data = name;
    data += '\0';
    data += std::to_string(size);
    if (changed > 0) {
        char octal[32];
        std::snprintf(octal, sizeof octal, " %llo", changed);
        data += octal;
    }
    data += '\0';
    return data;
}

} // namespace

GFYmodem::Timing& GFYmodem::defaultTiming()
{
    static Timing timing;
    return timing;
}

GFYmodem::GFYmodem(GFSerial* serial, GFMonitor* monitor)
    : m_serial(serial), m_monitor(monitor), m_timing(defaultTiming())
{}

int GFYmodem::Send(const char* path)
{
    m_errors = 0;
    m_lineFailed = false;
    m_input.clear();
    m_inputPos = 0;
    unsigned short lineErrors = 0;
    if (!m_serial || m_serial->GetCommError(lineErrors) != 0)
        return engineNotCreated;
    if (!path || !*path)
        return sentNoFiles;
    // The whole file is read first: a file that cannot be read fails before the receiver
    // has been told of it.
    auto contents = platform::sys::readFile(path);
    if (contents.isError())
        return fileReadError;
    const std::string& file = contents.value();
    std::string name = std::filesystem::path(path).filename().string();
    std::string header = headerData(name, file.size(), modificationTime(path));
    if (name.empty() || header.size() > longBlock)
        return protocolError;

    if (int status = awaitStart(); status != transferred)
        return fail(status);
    if (int status =
            sendHeader(frame(0, header, header.size() > shortBlock ? longBlock : shortBlock, 0));
        status != transferred)
        return fail(status);

    unsigned number = 1;
    for (std::size_t offset = 0; offset < file.size(); ++number) {
        std::size_t left = file.size() - offset;
        std::size_t size = left > longBlockThreshold ? longBlock : shortBlock;
        std::size_t taken = std::min(left, size);
        if (int status =
                transmit(frame(number, std::string_view(file).substr(offset, taken), size, CPMEOF));
            status != transferred)
            return fail(status);
        offset += taken;
        if (m_monitor)
            m_monitor->Progress(static_cast<long>(offset), static_cast<long>(file.size()));
    }

    // The receiver's customary check: it refuses the first EOT to hear it twice.
    if (int status = transmit(std::string(1, EOT), 1); status != transferred)
        return fail(status);
    endBatch();
    return transferred;
}

// Waits for the receiver's first "C". What arrived before the wait began may hold the rest
// of the modem's CONNECT line, whose letters are no request: a "C" counts only when nothing
// but further requests follow it.
int GFYmodem::awaitStart()
{
    int checksumRequests = 0;
    auto& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    for (;;) {
        std::uint32_t elapsed = clock.tickCount() - start;
        if (elapsed >= m_timing.startMs)
            return tooManyRetries;
        int byte = nextByte(m_timing.startMs - elapsed);
        if (byte == -2)
            return generalError;
        if (byte < 0)
            return tooManyRetries;
        bool last = m_inputPos >= m_input.size();
        char following = last ? '\0' : m_input[m_inputPos];
        if (byte == CRC_REQUEST && (last || following == CRC_REQUEST))
            return transferred;
        if (byte == CAN && following == CAN)
            return remoteCancelled;
        // A receiver that asks for checksums speaks plain XMODEM: it would store block 0
        // as the first part of the file.
        if (byte == NAK && ++checksumRequests >= 3)
            return protocolError;
    }
}

// Sends block 0 until the receiver has acknowledged it and asked for the data.
int GFYmodem::sendHeader(const std::string& header)
{
    for (int attempt = 0; attempt < m_timing.retries; ++attempt) {
        if (int status = transmit(header); status != transferred)
            return status;
        switch (awaitReply(m_timing.replyMs)) {
        case Reply::Request:
            return transferred;
        case Reply::Cancel:
            return remoteCancelled;
        case Reply::LineFailed:
            return generalError;
        default:
            // The request for data went astray; the receiver acknowledges block 0 again.
            if (++m_errors > m_timing.errorBudget)
                return tooManyErrors;
            break;
        }
    }
    return tooManyRetries;
}

// Sends one block (or the end-of-file mark) until the receiver acknowledges it. The first
// forgivenNaks refusals are part of the protocol and cost nothing from the error budget.
int GFYmodem::transmit(const std::string& block, int forgivenNaks)
{
    for (int attempt = 0; attempt < m_timing.retries; ++attempt) {
        // Whatever is waiting now answers nothing we are about to send (a late second ACK,
        // a repeated request); read as the answer to this block it would skip the block.
        if (discardStale())
            return remoteCancelled;
        if (!sendBytes(block, m_timing.replyMs))
            return generalError;
        switch (awaitReply(m_timing.replyMs)) {
        case Reply::Ack:
            return transferred;
        case Reply::Cancel:
            return remoteCancelled;
        case Reply::LineFailed:
            return generalError;
        case Reply::Nak:
            if (forgivenNaks-- > 0)
                break;
            [[fallthrough]];
        case Reply::Request:
        case Reply::Timeout:
            if (++m_errors > m_timing.errorBudget)
                return tooManyErrors;
            break;
        }
    }
    return tooManyRetries;
}

// The receiver asks for the next file; an empty block 0 tells it there is none. A receiver
// that does not ask, or does not acknowledge, is left alone: the file is already safe.
void GFYmodem::endBatch()
{
    const std::string last = frame(0, {}, shortBlock, 0);
    Reply reply = awaitReply(m_timing.replyMs);
    for (int attempt = 0;
         attempt < endOfBatchTries && (reply == Reply::Request || reply == Reply::Nak); ++attempt) {
        if (!sendBytes(last, 1000))
            return;
        reply = awaitReply(m_timing.replyMs);
    }
}

GFYmodem::Reply GFYmodem::awaitReply(std::uint32_t timeoutMs)
{
    auto& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    for (;;) {
        std::uint32_t elapsed = clock.tickCount() - start;
        if (elapsed >= timeoutMs)
            return Reply::Timeout;
        int byte = nextByte(timeoutMs - elapsed);
        switch (byte) {
        case -2:
            return Reply::LineFailed;
        case -1:
            return Reply::Timeout;
        case ACK:
            return Reply::Ack;
        case NAK:
            return Reply::Nak;
        case CRC_REQUEST:
            return Reply::Request;
        case CAN:
            // One CAN may be line noise; two in a row are the receiver's wish.
            if (nextByte(std::min<std::uint32_t>(timeoutMs, 1000)) == CAN)
                return Reply::Cancel;
            break;
        default:
            break; // noise, or the receiver's chatter: not an answer
        }
    }
}

// The next received byte, -1 when none came within timeoutMs, -2 when the line failed.
int GFYmodem::nextByte(std::uint32_t timeoutMs)
{
    if (m_inputPos >= m_input.size() && !fill(timeoutMs))
        return m_lineFailed ? -2 : -1;
    return static_cast<unsigned char>(m_input[m_inputPos++]);
}

// Reads what arrives within timeoutMs into the input; false when nothing did.
bool GFYmodem::fill(std::uint32_t timeoutMs)
{
    auto& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    char chunk[4096];
    for (;;) {
        platform::desktop().pumpMessages(0);
        long count = m_serial->Read(chunk, sizeof chunk);
        if (count > 0) {
            m_input.assign(chunk, static_cast<std::size_t>(count));
            m_inputPos = 0;
            return true;
        }
        if (count < 0) {
            m_lineFailed = true;
            return false;
        }
        std::uint32_t elapsed = clock.tickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        std::uint32_t slice = std::min(timeoutMs - elapsed, sliceMs);
        std::uint32_t before = clock.tickCount();
        if (!m_serial->WaitReadable(static_cast<int>(slice))) {
            // The kernel waited in real time; a clock that did not see that time pass (a
            // test's) is told of it, so that the limit means the same on every clock.
            std::uint32_t seen = clock.tickCount() - before;
            if (seen < slice)
                clock.sleep(slice - seen);
        }
    }
}

// Hands bytes to the line as fast as it takes them, pumping messages while it is full (a
// modem holding us off with CTS); false when the line failed or stayed full for timeoutMs.
bool GFYmodem::sendBytes(std::string_view bytes, std::uint32_t timeoutMs)
{
    if (m_lineFailed)
        return false;
    auto& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    for (;;) {
        long count = m_serial->WriteSome(bytes.data(), bytes.size());
        if (count < 0) {
            m_lineFailed = true;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
        if (bytes.empty())
            return true;
        platform::desktop().pumpMessages(0);
        std::uint32_t elapsed = clock.tickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        std::uint32_t slice = std::min(timeoutMs - elapsed, sliceMs);
        std::uint32_t before = clock.tickCount();
        if (!m_serial->WaitWritable(static_cast<int>(slice))) {
            std::uint32_t seen = clock.tickCount() - before;
            if (seen < slice)
                clock.sleep(slice - seen);
        }
    }
}

// Drops what has been received and not looked at; true when it holds the receiver's CAN CAN.
bool GFYmodem::discardStale()
{
    std::string stale = m_input.substr(std::min(m_inputPos, m_input.size()));
    m_input.clear();
    m_inputPos = 0;
    char chunk[4096];
    for (;;) {
        long count = m_serial->Read(chunk, sizeof chunk);
        if (count < 0)
            m_lineFailed = true;
        if (count <= 0)
            break;
        stale.append(chunk, static_cast<std::size_t>(count));
    }
    return stale.find(std::string(2, CAN)) != std::string::npos;
}

// Ends a failed transfer; a receiver that is still listening is told to stop waiting.
int GFYmodem::fail(int status)
{
    if (status != remoteCancelled && !m_lineFailed) {
        std::string cancel(8, CAN);
        cancel.append(8, BS);
        (void)sendBytes(cancel, 1000);
    }
    return status;
}
