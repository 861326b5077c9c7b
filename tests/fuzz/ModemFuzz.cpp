#include "modem/ModemDialogue.h"
#include "tests/fuzz/FakeLine.h"

#include <optional>

static std::optional<std::pair<int, int>> outcome(std::string_view reply, std::size_t count)
{
    std::string text(reply.substr(0, std::min(count, reply.find('\0'))));
    for (char& c : text)
        c = c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    const std::pair<const char*, int> results[] = {
        {"busy", 7},        {"no dialtone", 8}, {"no dial tone", 8}, {"no answer", 9},
        {"no carrier", 10}, {"error", 5},       {"connect", 0},      {"carrier", 0}};
    for (auto [word, result] : results) {
        if (text.find(word) != text.npos)
            return std::pair(result, result == 0);
    }
    return std::nullopt;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    fuzz::FakeWorld world;
    const std::string_view reply(reinterpret_cast<const char*>(data) + 1, size - 1);
    fuzz::line.incoming = reply;
    fuzz::line.readSize = data[0] % 64 + 1;
    GFSerial port(nullptr);
    int hangUp = -1;
    const std::uint32_t start = world.clock.now();
    const int result = modem::DialAndAwaitConnect(port, "ATDT5550100", hangUp);
    const std::uint32_t waited = world.clock.now() - start;
    const auto& reads = fuzz::line.reads;
    for (std::size_t i = 0; i + 1 < reads.size(); ++i)
        FUZZ_CHECK(!outcome(reply, reads[i]));
    // Without a result the wait ends on the read that passes 900 bytes, else after 60 seconds.
    const std::size_t count = fuzz::line.handedOut, before = reads.size() > 1 ? reads.end()[-2] : 0;
    const auto expected = outcome(reply, count);
    FUZZ_CHECK(expected ? std::pair(result, hangUp) == *expected
                        : result == 10 && hangUp == 1 &&
                              (count > 900 ? before <= 900 : waited >= 60000 && waited < 60200));
    return 0;
}
