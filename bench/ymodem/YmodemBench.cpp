// ymodem_bench MODEMSIM [SIZE]: how long our YMODEM sender takes to send SIZE bytes (1 MB
// unless told) to rb, against lrzsz's own sb over the same path: a pseudo-terminal, the modem
// simulator, rb on pipes. Each sender gets a fresh simulator and connection; the clock runs
// from the start of the send to its end, rb's start-up included for both.

#include "modem/ModemDialogue.h"
#include "modem/Serial.h"
#include "modem/Ymodem.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

namespace {

constexpr int comPort = 5;

std::string readAll(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The simulator as a child process, linked as COM5 of the Windows directory.
class Simulator
{
public:
    Simulator(const std::string& program, const fs::path& windows, const fs::path& receiveDir)
    {
        fs::create_directories(receiveDir);
        std::vector<std::string> arguments = {program,
                                              "--link",
                                              (windows / "dosdevices" / "com5").string(),
                                              "--receive-dir",
                                              receiveDir.string(),
                                              "--dial-delay-ms",
                                              "10",
                                              "--guard-ms",
                                              "100"};
        int output[2];
        if (::pipe(output) < 0)
            throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(output[1], STDOUT_FILENO);
            ::close(output[0]);
            std::vector<char*> argv;
            for (auto& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(output[1]);
        char chunk[256];
        while (m_device.find('\n') == std::string::npos) {
            ssize_t count = ::read(output[0], chunk, sizeof chunk);
            if (count <= 0)
                throw std::runtime_error("the modem simulator did not start");
            m_device.append(chunk, static_cast<std::size_t>(count));
        }
        ::close(output[0]);
        m_device.resize(m_device.find('\n'));
    }
    ~Simulator()
    {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    const std::string& device() const { return m_device; }

private:
    pid_t m_pid = -1;
    std::string m_device;
};

double sendOurs(const std::string& simulator, const fs::path& work, const fs::path& file)
{
    Simulator modem(simulator, work / "windows", work / "ours");
    GFComWin32 link(comPort - 1, 4096, 2048, 0);
    GFSerial port(&link);
    unsigned short errors = 0;
    if (port.GetCommError(errors) != 0)
        throw std::runtime_error("cannot open the simulated COM5");
    int hangUp = 0;
    if (modem::DialAndAwaitConnect(port, "ATDT1", hangUp) != 0)
        throw std::runtime_error("no CONNECT");
    auto start = std::chrono::steady_clock::now();
    int status = GFYmodem(&port, nullptr).Send(file.c_str());
    double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
    if (status != 0)
        throw std::runtime_error("our sender failed with " + std::to_string(status));
    if (readAll(work / "ours" / file.filename()) != readAll(file))
        throw std::runtime_error("rb received something else from our sender");
    return seconds;
}

double sendWithSb(const std::string& simulator, const fs::path& work, const fs::path& file)
{
    Simulator modem(simulator, work / "windows", work / "sb");
    int line = ::open(modem.device().c_str(), O_RDWR | O_NOCTTY);
    if (line < 0)
        throw std::runtime_error("cannot open the simulator's line");
    std::string reply;
    ::write(line, "ATDT1\r", 6);
    while (reply.find("CONNECT") == std::string::npos || reply.back() != '\n') {
        pollfd entry{line, POLLIN, 0};
        char chunk[256];
        if (::poll(&entry, 1, 5000) <= 0)
            throw std::runtime_error("no CONNECT for sb");
        ssize_t count = ::read(line, chunk, sizeof chunk);
        if (count > 0)
            reply.append(chunk, static_cast<std::size_t>(count));
    }
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(line, STDIN_FILENO);
        ::dup2(line, STDOUT_FILENO);
        int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDERR_FILENO);
        ::execlp("sb", "sb", "--ymodem", "-k", "-q", file.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
    ::close(line);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("sb failed");
    if (readAll(work / "sb" / file.filename()) != readAll(file))
        throw std::runtime_error("rb received something else from sb");
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: ymodem_bench MODEMSIM [SIZE]\n");
        return 2;
    }
    std::string simulator = argv[1];
    std::size_t size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1048576;

    char pattern[] = "/tmp/ymodem-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    fs::path work = pattern;
    fs::create_directories(work / "windows" / "dosdevices");
    ::setenv("WINDIR", (work / "windows").c_str(), 1);
    fs::path file = work / "payload.bin";
    {
        std::mt19937 random(1);
        std::string bytes(size, '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random() & 0xFF);
        std::ofstream(file, std::ios::binary) << bytes;
    }

    int result = 0;
    try {
        double ours = sendOurs(simulator, work, file);
        double sb = sendWithSb(simulator, work, file);
        std::printf("YMODEM, %zu bytes through a pseudo-terminal to rb:\n", size);
        std::printf("  GFYmodem  %7.3f s\n", ours);
        std::printf("  lrzsz sb  %7.3f s\n", sb);
        std::printf("  ratio     %7.3f (target: at most 1.2)\n", ours / sb);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ymodem_bench: %s\n", error.what());
        result = 1;
    }
    std::error_code error;
    fs::remove_all(work, error);
    return result;
}
