#pragma once

// The modem simulator on a COM port of the test's Windows directory, and a desktop that watches.

#include "platform/Desktop.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestWorld.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Window.h"

#include <QProcess>
#include <QWidget>

#include <chrono>
#include <fstream>
#include <thread>

namespace modemtest {

namespace fs = std::filesystem;

// tools/modemsim on COM port n until the object goes; its receiver stores files in receiveDir().
struct ModemSimulator
{
    ModemSimulator(const testsupport::TestWorld& world, int comPort, QStringList options = {})
        : home(world.root() / ("modem-com" + std::to_string(comPort)))
    {
        fs::create_directories(receiveDir());
        fs::path link = world.windowsDir() / "dosdevices" / ("com" + std::to_string(comPort));
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(MODEMSIM_EXECUTABLE,
                      QStringList{"--link", link.c_str(), "--log", (home / "commands.log").c_str(),
                                  "--receive-dir", receiveDir().c_str(), "--dial-delay-ms", "20",
                                  "--guard-ms", "50"}
                          << options);
        while (!process.canReadLine()) // it prints a line once its line is ready
            if (!process.waitForReadyRead(10000))
                throw std::runtime_error("the modem simulator did not start");
    }
    ~ModemSimulator() { process.terminate(), process.waitForFinished(); }

    // Every command line the simulator received, in order ("+++" for an escape).
    std::vector<std::string> commands() const
    {
        std::vector<std::string> lines;
        std::ifstream file(home / "commands.log");
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }
    fs::path receiveDir() const { return home / "received"; }

    fs::path home;
    QProcess process;
};

// Notes each new "title | text" of the status window and its tick; keeps the test clock at most
// ten times faster than real time (but in a busy line's wait), so that the simulator keeps up.
struct WatchingDesktop : platform::Desktop
{
    explicit WatchingDesktop(const testsupport::FakeClock* clock) : clock(clock)
    {
        platform::setDesktop(this);
    }
    ~WatchingDesktop() override { platform::setDesktop(previous); }
    void beep() override { previous->beep(); }
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override
    {
        return previous->messageBox(text, caption, style);
    }
    void pumpMessages(std::uint32_t) override
    {
        previous->pumpMessages(0);
        ui::UIW_WINDOW* window = ui::CurrentStatusWindow();
        if (window && window->Get(3)) {
            std::string shown = window->Title().toStdString() + " | " + window->Get(3)->DataGet();
            if (statusTexts.empty() || statusTexts.back() != shown) {
                statusTexts.push_back(shown);
                statusTicks.push_back(clock->now());
            }
        }
        bool busyWait = !statusTexts.empty() && statusTexts.back().starts_with("The Line is Busy");
        auto due = lastReal + std::chrono::microseconds((clock->now() - lastFake) * 100ull);
        if (!busyWait && due > std::chrono::steady_clock::now())
            std::this_thread::sleep_until(due);
        lastFake = clock->now();
        lastReal = std::chrono::steady_clock::now();
    }

    platform::Desktop* previous = &platform::desktop();
    const testsupport::FakeClock* clock;
    std::uint32_t lastFake = clock->now();
    std::chrono::steady_clock::time_point lastReal = std::chrono::steady_clock::now();
    std::vector<std::string> statusTexts;
    std::vector<std::uint32_t> statusTicks;
};

// Points COM ports 1 to 9, except those named, at plain files in root()/devices: no ports.
inline void blockOtherPorts(const testsupport::TestWorld& world, std::vector<int> except)
{
    fs::create_directories(world.windowsDir() / "dosdevices");
    for (int port = 1; port <= 9; ++port) {
        fs::path entry = world.windowsDir() / "dosdevices" / ("com" + std::to_string(port));
        if (std::ranges::find(except, port) == except.end()) {
            world.writeFile(world.root() / "devices" / std::to_string(port), "");
            fs::remove(entry);
            fs::create_symlink(world.root() / "devices" / std::to_string(port), entry);
        }
    }
}

} // namespace modemtest
