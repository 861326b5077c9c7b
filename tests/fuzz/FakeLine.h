#pragma once

// A scripted line: FakeLine.cpp defines the GFSerial calls in place of the real port. The program
// reads what the far end sent, readSize bytes a read at most; what it writes goes to onWrite.

#include "modem/Serial.h"
#include "modem/Ymodem.h"
#include "tests/fuzz/Fuzz.h"
#include "tests/support/FakeClock.h"

#include <functional>
#include <string>
#include <vector>

namespace fuzz {

struct FakeLine
{
    std::string incoming;
    std::size_t readSize = SIZE_MAX, handedOut = 0;
    std::vector<std::size_t> reads; // handedOut after each read that brought something
    std::function<void(std::string_view)> onWrite = [](std::string_view) {
    };
};
inline FakeLine line;

// A fresh line and the fake clock, which the plain desktop's waits move on.
struct FakeWorld
{
    FakeWorld() { line = {}; }
    testsupport::FakeClock clock;
};

inline std::uint16_t crc16(std::string_view data)
{
    std::uint16_t crc = 0;
    for (unsigned char byte : data) {
        crc ^= byte << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = std::uint16_t(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return crc;
}

// A YMODEM receiver that checks every frame the sender hands the line (one frame, or its
// cancel, a write) and answers from answers: 0 ACK, 1 NAK, 2 C, 3 CAN CAN, 4 nothing, 5 ACK C,
// 6 noise, and nothing once they are used up (each byte modulo 8; '0' to '7' will do).
struct Receiver
{
    std::string file, header, answers;
    std::size_t answered = 0, acknowledged = 0; // bytes of the file
    int repeats = 0;
    unsigned lastBlock = 0; // the last data block acknowledged
    bool headerDone = false, endDone = false, cancelled = false, weCancelled = false;

    bool answer() // true for an ACK
    {
        static const std::string_view replies[] = {"\6", "\25", "C", "\30\30", "", "\6C", "x", ""};
        const std::string_view reply =
            replies[answered < answers.size() ? answers[answered] & 7 : 7];
        ++answered;
        cancelled = weCancelled |= reply.starts_with('\30');
        line.incoming += reply;
        return reply.starts_with('\6');
    }

    void receive(std::string_view frame)
    {
        FUZZ_CHECK(!cancelled && answered < 100000);
        if (frame[0] == 0x18 || frame[0] == 0x04) {
            cancelled = frame[0] == 0x18;
            FUZZ_CHECK(cancelled || (headerDone && acknowledged == file.size()));
            endDone |= !cancelled && answer();
            return;
        }
        FUZZ_CHECK(frame.size() == (frame[0] == 0x01 ? 133u : 1029u));
        const unsigned number = std::uint8_t(frame[1]);
        const std::string_view data = frame.substr(3, frame.size() - 5);
        FUZZ_CHECK(std::uint8_t(frame[2]) == 255 - number);
        FUZZ_CHECK(crc16(data) ==
                   (std::uint8_t(frame[frame.size() - 2]) << 8 | std::uint8_t(frame.back())));
        if (number == 0) {
            FUZZ_CHECK(endDone ? data == std::string(128, '\0')
                               : lastBlock == 0 && data.starts_with(header) &&
                                     data[header.size()] % 32 == 0);
            headerDone |= answer();
            return;
        }
        FUZZ_CHECK(headerDone && !endDone && acknowledged < file.size() &&
                   number == ((lastBlock + 1) & 0xFF));
        const std::string part = file.substr(acknowledged, data.size());
        FUZZ_CHECK(data == part + std::string(data.size() - part.size(), 0x1A));
        if (answer())
            acknowledged += part.size(), ++lastBlock;
    }

    // Sends a file of size bytes after the bytes before and a first answer; returns the status.
    int transfer(std::size_t size, std::string_view before = "")
    {
        for (std::size_t i = 0; i < size; ++i)
            file += char(i * 31 + 7);
        header = std::string("info\0", 5) + std::to_string(size);
        const std::string path = (scratch() / "info").string();
        std::ofstream(path, std::ios::binary) << file;
        line.onWrite = std::bind_front(&Receiver::receive, this);
        line.incoming = before;
        answer();
        GFSerial port(nullptr);
        GFYmodem sender(&port, nullptr);
        const int status = sender.Send(path.c_str());
        repeats = sender.Repeats();
        FUZZ_CHECK(status != GFYmodem::transferred || (endDone && acknowledged == size));
        FUZZ_CHECK(status != GFYmodem::remoteCancelled || weCancelled);
        return status;
    }
};

} // namespace fuzz
