#pragma once

// What the modem tests share: the modem simulator as a child process on a COM port of the
// test's Windows directory, a pseudo-terminal that a test answers itself, and a desktop that
// watches the program's waits.

#include "modem/Ymodem.h"
#include "platform/Desktop.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestWorld.h"

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace modemtest {

// The simulator (tools/modemsim) on COM port n of the world's Windows directory, with the
// options given; stopped when the object goes. Its receiver stores files in receiveDir().
class ModemSimulator
{
public:
    ModemSimulator(const testsupport::TestWorld& world, int comPort,
                   std::vector<std::string> options = {});
    ~ModemSimulator();
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    // Every command line the simulator received, in order ("+++" for an escape).
    std::vector<std::string> commands() const;
    const std::filesystem::path& receiveDir() const { return m_receiveDir; }
    // The line's device, for tests that open it directly.
    const std::string& device() const { return m_device; }

private:
    pid_t m_pid = -1;
    std::filesystem::path m_log;
    std::filesystem::path m_receiveDir;
    std::string m_device;
};

// A pseudo-terminal pair the test holds both ends of: the program opens the slave through a
// COM port entry, the test reads and writes the master.
class TestLine
{
public:
    TestLine(const testsupport::TestWorld& world, int comPort);
    ~TestLine();
    TestLine(const TestLine&) = delete;
    TestLine& operator=(const TestLine&) = delete;

    int master() const { return m_master; }
    // All that the program has written so far and the test has not read.
    std::string take();
    void put(std::string_view bytes);

private:
    int m_master = -1;
    int m_slave = -1;
};

// Stands in for the desktop while a test runs: forwards to the real one, and at every pump
// lets the test act (a scripted peer), notes each new text of the status window, and keeps a
// test's clock from running more than `ratio` times faster than real time between two pumps,
// so that a peer in another process (the simulator) gets a share of the time the program
// allows it to answer.
class WatchingDesktop : public platform::Desktop
{
public:
    explicit WatchingDesktop(const testsupport::FakeClock* clock = nullptr, unsigned ratio = 10);
    ~WatchingDesktop() override;

    void pumpMessages(std::uint32_t maxWaitMs) override;
    void beep() override { m_previous->beep(); }
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override
    {
        return m_previous->messageBox(text, caption, style);
    }

    std::function<void()> onPump;
    // "title | text" each time the status window showed something new, in order.
    const std::vector<std::string>& statusTexts() const { return m_statusTexts; }
    // The test clock's tick when each of them was first seen.
    const std::vector<std::uint32_t>& statusTicks() const { return m_statusTicks; }
    std::size_t pumps() const { return m_pumps; }

private:
    platform::Desktop* m_previous;
    const testsupport::FakeClock* m_clock;
    unsigned m_ratio;
    std::uint32_t m_lastFake = 0;
    std::chrono::steady_clock::time_point m_lastReal;
    std::vector<std::string> m_statusTexts;
    std::vector<std::uint32_t> m_statusTicks;
    std::size_t m_pumps = 0;
};

// The settings that ReadSettings gives without any modem keys in REGISTER.INI.
RegistrationSettings defaultSettings();

// An information file as the registrant form writes it: 18 lines, Windows line ends.
std::string sampleInformationFile();

// Gives COM ports 1 to 9, except those named, a dosdevices entry whose device does not exist,
// so that no test ever opens a serial port of the machine.
void blockOtherPorts(const testsupport::TestWorld& world, std::vector<int> except);

// Shortens the YMODEM sender's waits for the life of the object, for tests of a receiver that
// never answers.
class QuickTiming
{
public:
    explicit QuickTiming(std::uint32_t startMs = 1500, std::uint32_t replyMs = 300,
                         int retries = 4);
    ~QuickTiming();
    QuickTiming(const QuickTiming&) = delete;
    QuickTiming& operator=(const QuickTiming&) = delete;

private:
    GFYmodem::Timing m_saved;
};

// The time since the start of a test, for tests that must not wait in real time.
class RealTime
{
public:
    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

} // namespace modemtest
