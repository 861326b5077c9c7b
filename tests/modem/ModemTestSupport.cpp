#include "tests/modem/ModemTestSupport.h"

#include "BuildConfig.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Window.h"

#include <QVariant>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace modemtest {

namespace {

// The line the simulator prints once its line is ready, read within a few seconds.
std::string readFirstLine(int fd)
{
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            throw std::runtime_error("the modem simulator did not start");
        char chunk[256];
        ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count <= 0)
            throw std::runtime_error("the modem simulator ended at start");
        line.append(chunk, static_cast<std::size_t>(count));
    }
    return line.substr(0, line.find('\n'));
}

} // namespace

ModemSimulator::ModemSimulator(const testsupport::TestWorld& world, int comPort,
                               std::vector<std::string> options)
{
    fs::path home = world.root() / ("modem-com" + std::to_string(comPort));
    m_log = home / "commands.log";
    m_receiveDir = home / "received";
    // A simulator started again on the same port begins with an empty log and no files.
    fs::remove_all(home);
    fs::create_directories(m_receiveDir);
    fs::path link = world.windowsDir() / "dosdevices" / ("com" + std::to_string(comPort));

    std::vector<std::string> arguments = {MODEMSIM_EXECUTABLE,
                                          "--link",
                                          link.string(),
                                          "--log",
                                          m_log.string(),
                                          "--receive-dir",
                                          m_receiveDir.string(),
                                          "--receiver-log",
                                          (home / "receiver.log").string(),
                                          "--dial-delay-ms",
                                          "20",
                                          "--guard-ms",
                                          "50"};
    // Later options win, so a test may set the delays itself.
    arguments.insert(arguments.end(), options.begin(), options.end());

    int output[2];
    if (::pipe2(output, O_CLOEXEC) < 0)
        throw std::runtime_error("pipe");
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    try {
        m_device = readFirstLine(output[0]);
    } catch (...) {
        ::close(output[0]);
        throw;
    }
    ::close(output[0]);
}

ModemSimulator::~ModemSimulator()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
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
    // Kept open here, so that the line lives between the program's opens of its port.
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

WatchingDesktop::WatchingDesktop(const testsupport::FakeClock* clock, unsigned ratio)
    : m_previous(&platform::desktop()), m_clock(clock), m_ratio(ratio),
      m_lastFake(clock ? clock->now() : 0), m_lastReal(std::chrono::steady_clock::now())
{
    platform::setDesktop(this);
}

WatchingDesktop::~WatchingDesktop()
{
    platform::setDesktop(m_previous == this ? nullptr : m_previous);
}

void WatchingDesktop::pumpMessages(std::uint32_t)
{
    ++m_pumps;
    m_previous->pumpMessages(0);
    if (ui::UIW_WINDOW* window = ui::CurrentStatusWindow()) {
        QString text = window->Get(3)->Widget()->property("text").toString();
        std::string shown = (window->Title() + " | " + text).toStdString();
        if (m_statusTexts.empty() || m_statusTexts.back() != shown) {
            m_statusTexts.push_back(shown);
            m_statusTicks.push_back(m_clock ? m_clock->now() : 0);
        }
    }
    if (onPump)
        onPump();
    if (m_clock) {
        // The time the test clock moved since the last pump must have passed in part in real
        // time too; a clock that moved by a real wait (in the kernel) needs no more.
        std::uint32_t advanced = m_clock->now() - m_lastFake;
        auto due = m_lastReal + std::chrono::microseconds(advanced * 1000ull / m_ratio);
        if (due > std::chrono::steady_clock::now())
            std::this_thread::sleep_until(due);
        m_lastFake = m_clock->now();
        m_lastReal = std::chrono::steady_clock::now();
    }
}

RegistrationSettings defaultSettings()
{
    RegistrationSettings settings;
    settings.Installed = 1;
    settings.InitString = "AT&FE1Q0V1&C1&D2S0=0";
    settings.InitString2 = "AT&B1";
    settings.TestString = "ATE1Q0V1";
    settings.DialString = "ATD";
    settings.Pulse = "P";
    settings.Tone = "T";
    settings.OffLine = "+++";
    settings.HangUp = "ATH";
    settings.CallWaitingPulse = "1177";
    settings.CallWaitingTone = "*77";
    settings.DialToneOn = "ATX4";
    settings.DialToneOff = "ATX3";
    settings.PhoneNumber = config::dialInNumber;
    return settings;
}

QuickTiming::QuickTiming(std::uint32_t startMs, std::uint32_t replyMs, int retries)
    : m_saved(GFYmodem::defaultTiming())
{
    GFYmodem::defaultTiming() = {startMs, replyMs, retries, m_saved.errorBudget};
}

QuickTiming::~QuickTiming()
{
    GFYmodem::defaultTiming() = m_saved;
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
