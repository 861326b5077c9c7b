// Two bytes choose the size of the file; each further byte, modulo 8, an answer of the receiver.

#include "tests/fuzz/FakeLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    fuzz::FakeWorld world;
    GFYmodem::defaultTiming() = {1000, 1000, 10, 100}; // waits cut short, for speed
    fuzz::Receiver receiver;
    receiver.answers.assign(reinterpret_cast<const char*>(data) + 2, size - 2);
    receiver.transfer((data[0] << 8 | data[1]) % 5000u);
    return 0;
}
