#pragma once

// What the modem tests share: the modem simulator on a COM port of the test's Windows
// directory, a pseudo-terminal the test answers itself, and a desktop that watches the waits.

#include "modem/Ymodem.h"
#include "platform/Desktop.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestWorld.h"

#include <QProcess>

#include <chrono>
#include <functional>

namespace modemtest {

// The simulator (tools/modemsim) on COM port n, stopped when the object goes; its receiver
// stores files in receiveDir().
class ModemSimulator
{
public:
    ModemSimulator(const testsupport::TestWorld& world, int comPort,
                   std::vector<std::string> options = {});
    ~ModemSimulator();

    // Every command line the simulator received, in order ("+++" for an escape).
    std::vector<std::string> commands() const;
    const std::filesystem::path& receiveDir() const { return m_receiveDir; }

private:
    QProcess m_process;
    std::filesystem::path m_log;
    std::filesystem::path m_receiveDir;
};

// A pseudo-terminal whose slave the program opens through a COM port entry; the test reads and
// writes the master.
class TestLine
{
public:
    TestLine(const testsupport::TestWorld& world, int comPort);
    ~TestLine();
    TestLine(const TestLine&) = delete;
    TestLine& operator=(const TestLine&) = delete;

    int master() const { return m_master; }
    // All that the program has written and the test has not read.
    std::string take();
    void put(std::string_view bytes);

private:
    int m_master = -1;
    int m_slave = -1;
};

// Stands in for the desktop: at every pump lets the test act, notes each new text of the status
// window, and keeps the test clock from running more than ten times faster than real time
// (except during a busy line's wait), so that a peer in another process gets its share of the
// time the program allows it.
class WatchingDesktop : public platform::Desktop
{
public:
    explicit WatchingDesktop(const testsupport::FakeClock* clock = nullptr);
    ~WatchingDesktop() override;

    void pumpMessages(std::uint32_t maxWaitMs) override;
    void beep() override { m_previous->beep(); }
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override
    {
        return m_previous->messageBox(text, caption, style);
    }

    std::function<void()> onPump;
    // "title | text" each time the status window showed something new, and the clock's tick.
    const std::vector<std::string>& statusTexts() const { return m_statusTexts; }
    const std::vector<std::uint32_t>& statusTicks() const { return m_statusTicks; }

private:
    platform::Desktop* m_previous;
    const testsupport::FakeClock* m_clock;
    std::uint32_t m_lastFake = 0;
    std::chrono::steady_clock::time_point m_lastReal;
    std::vector<std::string> m_statusTexts;
    std::vector<std::uint32_t> m_statusTicks;
};

// The settings that ReadSettings gives without any modem keys in REGISTER.INI.
RegistrationSettings defaultSettings();

// An information file as the registrant form writes it.
std::string sampleInformationFile();

// Points COM ports 1 to 9, except those named, at devices that do not exist.
void blockOtherPorts(const testsupport::TestWorld& world, std::vector<int> except);

// Shortens the YMODEM sender's waits (start 1.5 s, reply 0.3 s, 4 tries) for its lifetime.
struct QuickTiming
{
    GFYmodem::Timing saved = std::exchange(GFYmodem::defaultTiming(), {1500, 300, 4});
    ~QuickTiming() { GFYmodem::defaultTiming() = saved; }
};

// Real seconds since construction.
struct RealTime
{
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

} // namespace modemtest
