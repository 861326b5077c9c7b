#include "tests/modem/ModemTestSupport.h"

#include "BuildConfig.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Window.h"

#include <QVariant>
#include <QWidget>

#include <fstream>
#include <tuple>
#include <thread>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

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
    auto text = [](const fs::path& path) {
        return QString::fromStdString(path.string());
    };
    QStringList arguments = {"--link",          text(link),
                             "--log",           text(m_log),
                             "--receive-dir",   text(m_receiveDir),
                             "--receiver-log",  text(home / "receiver.log"),
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

TestLine::TestLine(const testsupport::TestWorld& world, int comPort)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) < 0 || ::unlockpt(m_master) < 0)
        throw std::runtime_error("posix_openpt");
    std::string slave = ::ptsname(m_master);
    // Kept open so that the line lives between the program's opens of its port.
    m_slave = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    ::tcgetattr(m_slave, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(m_slave, TCSANOW, &settings);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    fs::path link = world.windowsDir() / "dosdevices" / ("com" + std::to_string(comPort));
    fs::create_directories(link.parent_path());
    fs::create_symlink(slave, link);
}

TestLine::~TestLine()
{
    ::close(m_slave);
    ::close(m_master);
}

std::string TestLine::take()
{
    std::string bytes;
    char chunk[4096];
    for (;;) {
        ssize_t count = ::read(m_master, chunk, sizeof chunk);
        if (count <= 0)
            return bytes;
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
}

void TestLine::put(std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t count = ::write(m_master, bytes.data(), bytes.size());
        if (count < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("write to the test line");
        if (count > 0)
            bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

WatchingDesktop::WatchingDesktop(const testsupport::FakeClock* clock)
    : m_previous(&platform::desktop()), m_clock(clock), m_lastFake(clock ? clock->now() : 0),
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
            m_statusTicks.push_back(m_clock ? m_clock->now() : 0);
        }
    }
    if (onPump)
        onPump();
    // Part of the time the test clock moved since the last pump must pass in real time, except
    // while a busy line is waited out: nothing talks on the line then.
    bool busyWait = !m_statusTexts.empty() && m_statusTexts.back().starts_with("The Line is Busy");
    if (m_clock && !busyWait) {
        std::uint32_t advanced = m_clock->now() - m_lastFake;
        auto due = m_lastReal + std::chrono::microseconds(advanced * 100ull);
        if (due > std::chrono::steady_clock::now())
            std::this_thread::sleep_until(due);
    }
    if (m_clock) {
        m_lastFake = m_clock->now();
        m_lastReal = std::chrono::steady_clock::now();
    }
}

RegistrationSettings defaultSettings()
{
    RegistrationSettings s;
    s.Installed = 1;
    std::tie(s.InitString, s.InitString2, s.TestString, s.DialString, s.Pulse, s.Tone, s.OffLine,
             s.HangUp, s.CallWaitingPulse, s.CallWaitingTone, s.DialToneOn, s.DialToneOff) =
        std::tuple("AT&FE1Q0V1&C1&D2S0=0", "AT&B1", "ATE1Q0V1", "ATD", "P", "T", "+++", "ATH",
                   "1177", "*77", "ATX4", "ATX3");
    s.PhoneNumber = config::dialInNumber;
    return s;
}

std::string sampleInformationFile()
{
    return "\r\nAnn\r\nSmith\r\n1 Main St\r\nSpringfield\r\nIL\r\n62701\r\n(217) 555-0100\r\n"
           "USA\r\nann@example.com\r\n123456\r\nCorner Store\r\nGift\r\n6/15/2024\r\n6.993\r\n"
           "OS: Unknown\r\nPantrix Morsels\r\n1";
}

void blockOtherPorts(const testsupport::TestWorld& world, std::vector<int> except)
{
    fs::path folder = world.windowsDir() / "dosdevices";
    fs::create_directories(folder);
    for (int port = 1; port <= 9; ++port) {
        if (std::find(except.begin(), except.end(), port) != except.end())
            continue;
        fs::path entry = folder / ("com" + std::to_string(port));
        std::error_code error;
        fs::remove(entry, error);
        fs::create_symlink(world.root() / ("no-device-" + std::to_string(port)), entry);
    }
}

} // namespace modemtest
