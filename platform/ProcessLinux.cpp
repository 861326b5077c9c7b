#include "platform/Process.h"
#include "platform/DosDevices.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// How a program is started: we fork twice. The middle process forks the program and exits at
// once, so we reap it straight away; the program, left without a parent, is adopted and
// reaped by init (or the nearest subreaper). That leaves no zombie behind however long the
// program runs, and needs no SIGCHLD handler, which could steal the exit status of a child
// that other code waits for.
//
// Whether the program could be started at all is told over a pipe that closes itself when the
// program is executed: end of file means that it runs, an int in the pipe is the errno of the
// failure. Between fork and exec only async-signal-safe calls are made, since the window
// toolkit runs threads of its own whose locks a forked child may find held; everything that
// needs memory is prepared before the fork.

namespace platform {

namespace {

// The words of a command line: separated by blanks; a word in double quotes may hold blanks,
// as in "C:\Program Files\App\SETUP.EXE".
std::vector<std::string> splitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

// The files to try for program: itself when it names a path, else its name in each folder of
// $PATH, as a shell looks it up.
std::vector<std::string> candidatesFor(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return {program};
    const char* path = std::getenv("PATH");
    std::string folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::vector<std::string> candidates;
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t colon = std::min(folders.find(':', start), folders.size());
        std::string folder = folders.substr(start, colon - start);
        candidates.push_back((folder.empty() ? "." : folder) + "/" + program);
        start = colon + 1;
    }
    return candidates;
}

// The WinExec result for the errno of a failed start.
unsigned startFailure(int error)
{
    switch (error) {
    case ENOENT:
        return 2; // file not found
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return 3; // path not found
    case EACCES:
    case EPERM:
    case EISDIR:
        return 5; // access denied
    case ENOEXEC:
    case ELIBBAD:
    case EINVAL:
        return 11; // not a program
    case ENOMEM:
    case EAGAIN:
    case EMFILE:
    case ENFILE:
    case E2BIG:
        return 0; // out of resources
    default:
        return 31; // general failure
    }
}

[[noreturn]] void reportAndExit(int pipe, int error)
{
    [[maybe_unused]] ssize_t ignored = ::write(pipe, &error, sizeof error);
    ::_exit(127);
}

// Runs in the program's process: from here on only async-signal-safe calls.
[[noreturn]] void execute(const std::vector<std::string>& candidates, char* const argv[], int pipe)
{
    // Blocked signals and ignored ones survive exec; the program must start with the defaults.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault
    {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &byDefault, nullptr);

    // The program gets no input from us; a terminal it could read would be shared with us.
    int null = ::open("/dev/null", O_RDONLY);
    if (null < 0)
        reportAndExit(pipe, errno);
    if (null != STDIN_FILENO) {
        ::dup2(null, STDIN_FILENO);
        ::close(null);
    }

    // Like execvp along $PATH: a folder without the program is passed over, and a file we may
    // not run counts only when no later folder has the program.
    int failure = ENOENT;
    for (const auto& candidate : candidates) {
        ::execv(candidate.c_str(), argv);
        int error = errno;
        if (candidates.size() == 1 || (error != ENOENT && error != ENOTDIR && error != EACCES)) {
            failure = error;
            break;
        }
        if (error == EACCES)
            failure = EACCES;
    }
    reportAndExit(pipe, failure);
}

} // namespace

unsigned WinExec(const std::string& commandLine, int /*showCommand*/)
{
    std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty() || words.front().empty())
        return 2;
    words.front() = mapDosPath(words.front());
    std::vector<std::string> candidates = candidatesFor(words.front());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int status[2];
    if (::pipe2(status, O_CLOEXEC) < 0)
        return 0;
    pid_t middle = ::fork();
    if (middle < 0) {
        ::close(status[0]);
        ::close(status[1]);
        return 0;
    }
    if (middle == 0) {
        ::close(status[0]);
        // A session of its own, so that a Ctrl+C meant for us does not stop the program.
        ::setsid();
        pid_t program = ::fork();
        if (program < 0)
            reportAndExit(status[1], errno);
        if (program > 0)
            ::_exit(0);
        execute(candidates, argv.data(), status[1]);
    }

    ::close(status[1]);
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t count;
    do {
        count = ::read(status[0], &error, sizeof error);
    } while (count < 0 && errno == EINTR);
    ::close(status[0]);
    if (count == 0)
        return 33;
    return startFailure(count == static_cast<ssize_t>(sizeof error) ? error : 0);
}

} // namespace platform
