#pragma once

// The modem simulator on a COM port of the test's Windows directory, and a desktop that watches.

#include "platform/Desktop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestWorld.h"

#include <QProcess>

#include <chrono>

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

// Stands in for the desktop: at every pump notes each new text of the status window, and keeps
// the test clock from running more than ten times faster than real time (except during a busy
// line's wait), so that a peer in another process gets its share of the time it is allowed.
class WatchingDesktop : public platform::Desktop
{
public:
    explicit WatchingDesktop(const testsupport::FakeClock* clock);
    ~WatchingDesktop() override;

    void pumpMessages(std::uint32_t maxWaitMs) override;
    void beep() override { m_previous->beep(); }
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override
    {
        return m_previous->messageBox(text, caption, style);
    }

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

// Points COM ports 1 to 9, except those named, at plain files in root()/devices, which cannot
// be ports.
void blockOtherPorts(const testsupport::TestWorld& world, std::vector<int> except);

} // namespace modemtest
