// The byte's value modulo 8 chooses each answer of the receiver.

#include "modem/Ymodem.h"
#include "tests/fuzz/FakeLine.h"
#include "tests/fuzz/Fuzz.h"

namespace {

std::uint16_t crc16(std::string_view data)
{
    std::uint16_t crc = 0;
    for (unsigned char byte : data) {
        crc ^= byte << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = std::uint16_t(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return crc;
}

struct Receiver
{
    std::string file, header, answers;
    std::size_t answered = 0, acknowledged = 0; // bytes of the file
    unsigned lastBlock = 0;                     // the last data block acknowledged
    bool headerDone = false, endDone = false, cancelled = false, weCancelled = false;

    bool answer() // true for an ACK
    {
        static const std::string_view replies[] = {"\6", "\25", "C", "\30\30", "", "\6C", "x", ""};
        const std::string_view reply =
            replies[answered < answers.size() ? answers[answered] & 7 : 7];
        ++answered;
        cancelled = weCancelled |= reply.starts_with('\30');
        fuzz::line.incoming += reply;
        return reply.starts_with('\6');
    }

    // The sender hands the line one frame (or its cancel) at a time.
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
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    fuzz::FakeWorld world;
    Receiver receiver;
    for (std::size_t i = 0; i < (data[0] << 8 | data[1]) % 5000u; ++i)
        receiver.file += char(i * 31 + 7);
    receiver.header = std::string("info\0", 5) + std::to_string(receiver.file.size());
    receiver.answers.assign(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string path = (fuzz::scratch() / "info").string();
    std::ofstream(path, std::ios::binary) << receiver.file;
    fuzz::line.onWrite = [&receiver](std::string_view frame) {
        receiver.receive(frame);
    };
    receiver.answer();
    GFSerial port(nullptr);
    GFYmodem sender(&port, nullptr);
    sender.SetTiming({1000, 1000, 10, 100});
    const int status = sender.Send(path.c_str());
    FUZZ_CHECK(status != GFYmodem::transferred ||
               (receiver.endDone && receiver.acknowledged == receiver.file.size()));
    FUZZ_CHECK(status != GFYmodem::remoteCancelled || receiver.weCancelled);
    return 0;
}
