#pragma once

// A scripted line for the modem targets: FakeLine.cpp defines the GFSerial calls of Serial.h in
// place of the real port. The program reads what the far end sent, at most readSize bytes a
// read, and what it writes goes to onWrite. With the fake clock and a quiet desktop no wait
// costs real time.

#include "modem/Serial.h"
#include "platform/Desktop.h"
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

// A fresh line, the fake clock and a quiet desktop, for the life of the object.
struct FakeWorld : platform::Desktop
{
    FakeWorld() { line = {}, platform::setDesktop(this); }
    ~FakeWorld() override { platform::setDesktop(nullptr); }
    void pumpMessages(std::uint32_t) override {}
    void beep() override {}
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    testsupport::FakeClock clock;
};

} // namespace fuzz
