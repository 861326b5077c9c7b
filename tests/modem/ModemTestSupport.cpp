#include "tests/modem/ModemTestSupport.h"

#include "ui/StatusWindow.h"
#include "ui/framework/Window.h"

#include <QVariant>
#include <QWidget>

#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace modemtest {

ModemSimulator::ModemSimulator(const testsupport::TestWorld& world, int comPort,
                               std::vector<std::string> options)
{
    fs::path home = world.root() / ("modem-com" + std::to_string(comPort));
    m_log = home / "commands.log";
    m_receiveDir = home / "received";
    fs::remove_all(home); // a simulator started again on a port begins afresh
    fs::create_directories(m_receiveDir);
    fs::path link = world.windowsDir() / "dosdevices" / ("com" + std::to_string(comPort));
    QStringList arguments = {"--link",          link.c_str(),
                             "--log",           m_log.c_str(),
                             "--receive-dir",   m_receiveDir.c_str(),
                             "--receiver-log",  (home / "receiver.log").c_str(),
                             "--dial-delay-ms", "20",
                             "--guard-ms",      "50"};
    // Later options win, so a test may set the delays itself.
    for (const std::string& option : options)
        arguments << QString::fromStdString(option);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(MODEMSIM_EXECUTABLE, arguments);
    // It prints a line once its line is ready.
    while (!m_process.canReadLine())
        if (!m_process.waitForReadyRead(10000))
            throw std::runtime_error("the modem simulator did not start");
}

ModemSimulator::~ModemSimulator()
{
    m_process.terminate();
    m_process.waitForFinished();
}

std::vector<std::string> ModemSimulator::commands() const
{
    std::vector<std::string> lines;
    std::ifstream file(m_log);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

WatchingDesktop::WatchingDesktop(const testsupport::FakeClock* clock)
    : m_previous(&platform::desktop()), m_clock(clock), m_lastFake(clock->now()),
      m_lastReal(std::chrono::steady_clock::now())
{
    platform::setDesktop(this);
}

WatchingDesktop::~WatchingDesktop()
{
    platform::setDesktop(m_previous == this ? nullptr : m_previous);
}

void WatchingDesktop::pumpMessages(std::uint32_t)
{
    m_previous->pumpMessages(0);
    ui::UIW_WINDOW* window = ui::CurrentStatusWindow();
    if (window && window->Get(3)) {
        QString text = window->Get(3)->Widget()->property("text").toString();
        std::string shown = (window->Title() + " | " + text).toStdString();
        if (m_statusTexts.empty() || m_statusTexts.back() != shown) {
            m_statusTexts.push_back(shown);
            m_statusTicks.push_back(m_clock->now());
        }
    }
    // Part of the time the test clock moved since the last pump must pass in real time, except
    // while a busy line is waited out: nothing talks on the line then.
    bool busyWait = !m_statusTexts.empty() && m_statusTexts.back().starts_with("The Line is Busy");
    auto due = m_lastReal + std::chrono::microseconds((m_clock->now() - m_lastFake) * 100ull);
    if (!busyWait && due > std::chrono::steady_clock::now())
        std::this_thread::sleep_until(due);
    m_lastFake = m_clock->now();
    m_lastReal = std::chrono::steady_clock::now();
}

void blockOtherPorts(const testsupport::TestWorld& world, std::vector<int> except)
{
    fs::create_directories(world.windowsDir() / "dosdevices");
    for (int port = 1; port <= 9; ++port) {
        std::string name = std::to_string(port);
        fs::path entry = world.windowsDir() / "dosdevices" / ("com" + name);
        if (std::find(except.begin(), except.end(), port) == except.end()) {
            world.writeFile(world.root() / "devices" / name, "");
            fs::remove(entry);
            fs::create_symlink(world.root() / "devices" / name, entry);
        }
    }
}

} // namespace modemtest
