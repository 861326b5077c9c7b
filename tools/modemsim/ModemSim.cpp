// modemsim: a Hayes modem on a pseudo-terminal, with a YMODEM receiver (lrzsz's rb) behind it
// as the registration server. The tests and the demo point a COM port at it.
//
// How it works. The simulator opens a pseudo-terminal, keeps its slave side open itself (so
// that the line survives the program opening and closing the port), and links the slave to
// the path given (a COM port entry of dosdevices). It then serves one byte stream in one of
// three modes:
//
//  - command mode: every byte is echoed (E1), command lines end with a carriage return and
//    start at "AT"; each line is written to the log and answered with "OK" (or "ERROR"),
//    verbose or numeric as V says, or not at all with Q1;
//  - dialing: "ATD" takes the next outcome of the dial script and answers it after a short
//    delay; "SILENCE" and "JUNK" never answer, and any byte the program sends then aborts
//    the dial with "NO CARRIER", as on a real modem;
//  - on line, after "CONNECT": the bytes go to the receiver, rb, started with pipes for its
//    standard input and output (on a terminal rb can lose its own last ACK), and rb's output
//    comes back. rb empties its input buffer right after each ACK it sends, so bytes are
//    handed to it only while it is blocked reading; a sender that is fast enough to beat it
//    would otherwise lose a block. "+++" with a guard time of silence on both sides returns
//    to command mode with the call still up; "ATH" ends the call and the receiver.
//
// Faults to order: line noise that corrupts every n-th block on its way to rb, a receiver
// that never answers, a receiver that cancels (rb is interrupted and sends its CAN CAN),
// commands that get no answer, and a device that answers nothing at all.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr char SOH = 0x01;
constexpr char STX = 0x02;

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

struct Options
{
    std::string link;
    std::string logPath;
    std::vector<std::string> script{"CONNECT"};
    std::string receiveDir = ".";
    std::string receiver = "rb";
    std::string receiverLog = "/dev/null";
    bool noReceiver = false;
    int cancelAfter = 0;
    int noiseEvery = 0;
    std::vector<std::string> ignored;
    bool mute = false;
    int guardMs = 1000;
    int dialDelayMs = 1000;
};

void usage()
{
    std::fprintf(
        stderr,
        "usage: modemsim [options]\n"
        "  --link PATH           link PATH to the line (e.g. $WINDIR/dosdevices/com5)\n"
        "  --log FILE            append every command line received to FILE (\"+++\" for an\n"
        "                        escape to command mode)\n"
        "  --script LIST         outcomes of successive dials, comma-separated, the last one\n"
        "                        repeating: CONNECT, BUSY, NO DIALTONE, NO DIAL TONE, NO ANSWER,\n"
        "                        NO CARRIER, ERROR, SILENCE, JUNK (default CONNECT)\n"
        "  --receive-dir DIR     where the receiver stores the files (default .)\n"
        "  --receiver PATH       the YMODEM receiver (default rb)\n"
        "  --receiver-log FILE   the receiver's standard error (default /dev/null)\n"
        "  --no-receiver         connect, but nobody answers on the far side\n"
        "  --cancel-after N      the receiver cancels after N blocks (block 0 included)\n"
        "  --noise N             corrupt every N-th block on its way to the receiver\n"
        "  --ignore LIST         command prefixes that get no answer, comma-separated\n"
        "                        (\"AT&F,AT&B\": a modem that ignores its initialisation)\n"
        "  --mute                a device that answers nothing at all\n"
        "  --guard-ms N          escape guard time (default 1000)\n"
        "  --dial-delay-ms N     time before the answer to a dial (default 1000)\n"
        "The line's path is printed on standard output once it is ready.\n");
}

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ','))
        items.push_back(item);
    return items;
}

std::optional<Options> parseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string(argv[++i]);
        };
        auto number = [&](int& target) {
            auto text = value();
            if (!text)
                return false;
            target = std::atoi(text->c_str());
            return true;
        };
        bool ok = true;
        if (option == "--link")
            ok = (options.link = value().value_or("")) != "";
        else if (option == "--log")
            ok = (options.logPath = value().value_or("")) != "";
        else if (option == "--script") {
            auto text = value();
            ok = text && !text->empty();
            if (ok)
                options.script = splitList(*text);
        } else if (option == "--receive-dir")
            ok = (options.receiveDir = value().value_or("")) != "";
        else if (option == "--receiver")
            ok = (options.receiver = value().value_or("")) != "";
        else if (option == "--receiver-log")
            ok = (options.receiverLog = value().value_or("")) != "";
        else if (option == "--no-receiver")
            options.noReceiver = true;
        else if (option == "--cancel-after")
            ok = number(options.cancelAfter);
        else if (option == "--noise")
            ok = number(options.noiseEvery);
        else if (option == "--ignore") {
            auto text = value();
            ok = text.has_value();
            if (ok)
                options.ignored = splitList(*text);
        } else if (option == "--mute")
            options.mute = true;
        else if (option == "--guard-ms")
            ok = number(options.guardMs);
        else if (option == "--dial-delay-ms")
            ok = number(options.dialDelayMs);
        else
            ok = false;
        if (!ok) {
            usage();
            return std::nullopt;
        }
    }
    return options;
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void setNonBlocking(int fd)
{
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// True when the process is blocked in read(2) on its standard input. Where the kernel does not
// tell (no /proc), the answer is yes: the bytes then simply go on at once.
bool blockedReadingStdin(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
    if (!file)
        return true;
    std::string number;
    std::string firstArgument;
    file >> number >> firstArgument;
    // "running" while it computes, else the number of the call it waits in and its arguments.
    if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0])))
        return false;
    return std::stol(number) == SYS_read && (firstArgument == "0x0" || firstArgument == "0");
}

class Modem
{
public:
    explicit Modem(Options options) : m_options(std::move(options)) {}
    ~Modem();

    bool open();
    int run();

private:
    enum class Mode
    {
        Command,
        Dialing,
        Online,
    };

    void fromTerminal(const char* data, std::size_t size);
    void commandByte(char byte);
    void commandLine(std::string line);
    bool runCommands(const std::string& body);
    void dial();
    void answerDial();
    void onLineBytes(const char* data, std::size_t size);
    void toReceiver(std::string data);
    void escapeIfDue();
    void hangUp();
    void startReceiver();
    void stopReceiver();
    void fromReceiver();
    void feedReceiver();
    void result(const std::string& text, int code);
    void send(const std::string& bytes);
    void flushToTerminal();
    void log(const std::string& line);
    int pollTimeoutMs() const;

    Options m_options;
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;

    Mode m_mode = Mode::Command;
    bool m_callUp = false;
    bool m_echo = true;
    bool m_quiet = false;
    bool m_verbose = true;
    std::string m_line;
    std::size_t m_dials = 0;
    std::string m_outcome;
    std::optional<Clock::time_point> m_dialAnswerAt;

    Clock::time_point m_lastByte = Clock::now() - Milliseconds(100000);
    int m_pluses = 0;
    Clock::time_point m_lastPlus;

    pid_t m_receiver = -1;
    int m_toReceiver = -1;
    int m_fromReceiver = -1;
    std::string m_pendingForReceiver;
    int m_blocks = 0;
    bool m_cancelled = false;

    std::string m_pendingForTerminal;
};

Modem::~Modem()
{
    stopReceiver();
    if (!m_options.link.empty()) {
        std::error_code error;
        std::filesystem::remove(m_options.link, error);
    }
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool Modem::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) < 0 || ::unlockpt(m_master) < 0) {
        std::perror("modemsim: posix_openpt");
        return false;
    }
    const char* name = ::ptsname(m_master);
    if (!name) {
        std::perror("modemsim: ptsname");
        return false;
    }
    m_slavePath = name;
    // Held open by us, the line keeps its settings and never hangs up when the program closes
    // its port; raw, so that nothing between us and the program changes a byte.
    m_slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        std::perror("modemsim: open slave");
        return false;
    }
    termios settings{};
    ::tcgetattr(m_slave, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(m_slave, TCSANOW, &settings);
    setNonBlocking(m_master);

    if (!m_options.link.empty()) {
        std::error_code error;
        std::filesystem::path link(m_options.link);
        if (link.has_parent_path())
            std::filesystem::create_directories(link.parent_path(), error);
        std::filesystem::remove(link, error);
        std::filesystem::create_symlink(m_slavePath, link, error);
        if (error) {
            std::fprintf(stderr, "modemsim: cannot link %s: %s\n", m_options.link.c_str(),
                         error.message().c_str());
            return false;
        }
    }
    std::printf("%s\n", m_slavePath.c_str());
    std::fflush(stdout);
    return true;
}

int Modem::pollTimeoutMs() const
{
    auto now = Clock::now();
    long wait = -1;
    auto consider = [&](Clock::time_point when) {
        long left = std::max<long>(0, std::chrono::ceil<Milliseconds>(when - now).count());
        wait = wait < 0 ? left : std::min(wait, left);
    };
    if (m_dialAnswerAt)
        consider(*m_dialAnswerAt);
    if (m_pluses == 3)
        consider(m_lastPlus + Milliseconds(m_options.guardMs));
    // rb is busy: look again soon whether it reads.
    if (!m_pendingForReceiver.empty() && m_toReceiver >= 0)
        consider(now + Milliseconds(1));
    return static_cast<int>(wait);
}

int Modem::run()
{
    while (!stopRequested) {
        std::vector<pollfd> fds;
        fds.push_back({m_master,
                       static_cast<short>(POLLIN | (m_pendingForTerminal.empty() ? 0 : POLLOUT)),
                       0});
        if (m_fromReceiver >= 0)
            fds.push_back({m_fromReceiver, POLLIN, 0});
        int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs());
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::perror("modemsim: poll");
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            char chunk[4096];
            ssize_t count = ::read(m_master, chunk, sizeof chunk);
            if (count > 0)
                fromTerminal(chunk, static_cast<std::size_t>(count));
        }
        if (fds.size() > 1 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            fromReceiver();
        if (m_dialAnswerAt && Clock::now() >= *m_dialAnswerAt)
            answerDial();
        escapeIfDue();
        feedReceiver();
        flushToTerminal();
    }
    return 0;
}

void Modem::fromTerminal(const char* data, std::size_t size)
{
    if (m_options.mute)
        return;
    switch (m_mode) {
    case Mode::Command:
        for (std::size_t i = 0; i < size; ++i)
            commandByte(data[i]);
        break;
    case Mode::Dialing:
        // Any key aborts a dial in progress; the key itself is dropped.
        m_dialAnswerAt.reset();
        m_mode = Mode::Command;
        result("NO CARRIER", 3);
        for (std::size_t i = 1; i < size; ++i)
            commandByte(data[i]);
        break;
    case Mode::Online:
        onLineBytes(data, size);
        break;
    }
}

void Modem::commandByte(char byte)
{
    if (m_echo)
        send(std::string(1, byte));
    if (m_mode != Mode::Command)
        return;
    if (byte == '\r') {
        std::string line;
        line.swap(m_line);
        commandLine(line);
    } else if (byte == '\b' || byte == 0x7F) {
        if (!m_line.empty())
            m_line.pop_back();
    } else if (byte != '\n' && m_line.size() < 255) {
        m_line += byte;
    }
}

void Modem::commandLine(std::string line)
{
    // A modem hunts for "AT": whatever came before it (the rest of an escape that was no
    // escape, a stray byte) is no command.
    std::size_t start = upper(line).find("AT");
    if (start == std::string::npos)
        return;
    line.erase(0, start);
    log(line);
    std::string command = upper(line);
    for (const auto& prefix : m_options.ignored) {
        if (!prefix.empty() && command.rfind(upper(prefix), 0) == 0)
            return;
    }
    if (!runCommands(command.substr(2)))
        result("ERROR", 4);
    else if (m_mode == Mode::Command)
        result("OK", 0);
}

// Runs the commands of one line after "AT"; false for one it does not know.
bool Modem::runCommands(const std::string& body)
{
    std::size_t i = 0;
    auto digits = [&]() {
        int value = 0;
        while (i < body.size() && std::isdigit(static_cast<unsigned char>(body[i])))
            value = value * 10 + (body[i++] - '0');
        return value;
    };
    while (i < body.size()) {
        char command = body[i++];
        switch (command) {
        case ' ':
            break;
        case 'D':
            dial();
            return true; // the rest of the line is the number
        case 'E':
            m_echo = digits() != 0;
            break;
        case 'Q':
            m_quiet = digits() != 0;
            break;
        case 'V':
            m_verbose = digits() != 0;
            break;
        case 'H':
            digits();
            hangUp();
            break;
        case 'Z':
            digits();
            hangUp();
            m_echo = true;
            m_quiet = false;
            m_verbose = true;
            break;
        case 'O':
            digits();
            if (!m_callUp)
                return false;
            m_mode = Mode::Online;
            result("CONNECT 57600", 1);
            return true;
        case '&':
            if (i >= body.size())
                return false;
            ++i;
            digits();
            break;
        case 'S':
            digits();
            if (i < body.size() && body[i] == '=') {
                ++i;
                digits();
            } else if (i < body.size() && body[i] == '?') {
                ++i;
            }
            break;
        default:
            if (!std::isalpha(static_cast<unsigned char>(command)))
                return false;
            digits(); // X4, M0, L1 and the like: taken as they come
            break;
        }
    }
    return true;
}

void Modem::dial()
{
    const auto& script = m_options.script;
    m_outcome = upper(script[std::min(m_dials, script.size() - 1)]);
    ++m_dials;
    m_mode = Mode::Dialing;
    m_dialAnswerAt = Clock::now() + Milliseconds(m_options.dialDelayMs);
}

void Modem::answerDial()
{
    m_dialAnswerAt.reset();
    if (m_outcome == "SILENCE")
        return; // dials for ever, until a key aborts it
    if (m_outcome == "JUNK") {
        // A flood of text in which no reply can be recognised.
        std::string junk;
        while (junk.size() < 1000)
            junk += "~#= 3.14159 ^^ %% @@ ** // ##\r\n";
        send(junk);
        return;
    }
    if (m_outcome == "CONNECT") {
        m_mode = Mode::Online;
        m_callUp = true;
        m_blocks = 0;
        m_cancelled = false;
        result("CONNECT 57600", 1);
        m_lastByte = Clock::now();
        if (!m_options.noReceiver)
            startReceiver();
        return;
    }
    struct Refusal
    {
        const char* text;
        int code;
    };
    static const Refusal refusals[] = {
        {"BUSY", 7},      {"NO DIALTONE", 6}, {"NO DIAL TONE", 6},
        {"NO ANSWER", 8}, {"NO CARRIER", 3},  {"ERROR", 4},
    };
    m_mode = Mode::Command;
    for (const auto& refusal : refusals) {
        if (m_outcome == refusal.text) {
            result(refusal.text, refusal.code);
            return;
        }
    }
    result("NO CARRIER", 3);
}

void Modem::onLineBytes(const char* data, std::size_t size)
{
    auto now = Clock::now();
    const auto guard = Milliseconds(m_options.guardMs);
    std::string passed;
    for (std::size_t i = 0; i < size; ++i) {
        char byte = data[i];
        bool quietBefore = now - m_lastByte >= guard;
        m_lastByte = now;
        if (byte == '+' && (m_pluses > 0 ? m_pluses < 3 : quietBefore)) {
            ++m_pluses;
            m_lastPlus = now;
            continue;
        }
        // No escape after all: the pluses held back were data.
        passed.append(static_cast<std::size_t>(m_pluses), '+');
        m_pluses = 0;
        passed += byte;
    }
    if (!passed.empty())
        toReceiver(passed);
}

void Modem::escapeIfDue()
{
    if (m_pluses != 3 || Clock::now() - m_lastPlus < Milliseconds(m_options.guardMs))
        return;
    m_pluses = 0;
    m_mode = Mode::Command;
    m_line.clear();
    log("+++");
    result("OK", 0);
}

void Modem::toReceiver(std::string data)
{
    if (m_toReceiver < 0 || data.empty())
        return; // nobody listens on the far side
    // The sender writes each block at once, so a block starts a chunk.
    if ((data[0] == SOH || data[0] == STX) && data.size() >= 64) {
        ++m_blocks;
        if (m_options.cancelAfter > 0 && m_blocks > m_options.cancelAfter) {
            if (!m_cancelled) {
                // Interrupted, rb cancels the way it always does: CAN CAN ... on its output.
                m_cancelled = true;
                ::kill(m_receiver, SIGINT);
            }
            return;
        }
        if (m_options.noiseEvery > 0 && m_blocks % m_options.noiseEvery == 0)
            data[data.size() / 2] = static_cast<char>(data[data.size() / 2] ^ 0x55);
    }
    if (m_cancelled)
        return;
    m_pendingForReceiver += data;
}

void Modem::feedReceiver()
{
    if (m_pendingForReceiver.empty() || m_toReceiver < 0)
        return;
    if (!blockedReadingStdin(m_receiver))
        return;
    ssize_t count = ::write(m_toReceiver, m_pendingForReceiver.data(), m_pendingForReceiver.size());
    if (count > 0)
        m_pendingForReceiver.erase(0, static_cast<std::size_t>(count));
    else if (count < 0 && errno != EAGAIN)
        m_pendingForReceiver.clear();
}

void Modem::startReceiver()
{
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) < 0 || ::pipe2(output, O_CLOEXEC) < 0) {
        std::perror("modemsim: pipe");
        return;
    }
    pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("modemsim: fork");
        return;
    }
    if (pid == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        int errors = ::open(m_options.receiverLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (errors >= 0)
            ::dup2(errors, STDERR_FILENO);
        if (::chdir(m_options.receiveDir.c_str()) < 0)
            ::_exit(126);
        // Binary, quiet, and a file sent again replaces the one received before.
        ::execlp(m_options.receiver.c_str(), m_options.receiver.c_str(), "-b", "-q", "-y",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    m_receiver = pid;
    m_toReceiver = input[1];
    m_fromReceiver = output[0];
    setNonBlocking(m_toReceiver);
    setNonBlocking(m_fromReceiver);
    m_pendingForReceiver.clear();
}

void Modem::fromReceiver()
{
    char chunk[4096];
    ssize_t count = ::read(m_fromReceiver, chunk, sizeof chunk);
    if (count > 0) {
        send(std::string(chunk, static_cast<std::size_t>(count)));
        return;
    }
    if (count < 0 && errno == EAGAIN)
        return;
    // The receiver has finished. The call stays up until the program hangs up, as it would
    // with a server that has nothing more to say.
    stopReceiver();
}

void Modem::stopReceiver()
{
    if (m_toReceiver >= 0)
        ::close(m_toReceiver);
    if (m_fromReceiver >= 0)
        ::close(m_fromReceiver);
    m_toReceiver = m_fromReceiver = -1;
    m_pendingForReceiver.clear();
    if (m_receiver > 0) {
        // A receiver still running is cut off like a line that hangs up.
        if (::waitpid(m_receiver, nullptr, WNOHANG) == 0) {
            ::kill(m_receiver, SIGKILL);
            ::waitpid(m_receiver, nullptr, 0);
        }
        m_receiver = -1;
    }
}

void Modem::hangUp()
{
    stopReceiver();
    m_callUp = false;
    m_pluses = 0;
}

void Modem::result(const std::string& text, int code)
{
    if (m_quiet)
        return;
    if (m_verbose)
        send("\r\n" + text + "\r\n");
    else
        send(std::to_string(code) + "\r");
}

void Modem::send(const std::string& bytes)
{
    m_pendingForTerminal += bytes;
    flushToTerminal();
}

void Modem::flushToTerminal()
{
    while (!m_pendingForTerminal.empty()) {
        ssize_t count = ::write(m_master, m_pendingForTerminal.data(), m_pendingForTerminal.size());
        if (count <= 0)
            return; // full: poll says when there is room
        m_pendingForTerminal.erase(0, static_cast<std::size_t>(count));
    }
}

void Modem::log(const std::string& line)
{
    if (m_options.logPath.empty())
        return;
    std::ofstream file(m_options.logPath, std::ios::app | std::ios::binary);
    file << line << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    auto options = parseOptions(argc, argv);
    if (!options)
        return 2;
    struct sigaction action
    {};
    action.sa_handler = requestStop;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Modem modem(*options);
    if (!modem.open())
        return 1;
    return modem.run();
}
