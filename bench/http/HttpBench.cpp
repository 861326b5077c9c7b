// The HTTP client's exchange of a 10 MB reply from a server on 127.0.0.1, with the progress
// window open as the registration flow opens it, against `curl -s -o` of the same reply from
// the same server. Each side runs several times; the median counts. curl's time includes
// starting the process, which is what a user of curl pays as well.
//
// Then a whole registration over HTTPS: the registration request to the local registration
// server (tools/registration_server.py) with a certificate of a throwaway authority that both
// sides trust through SSL_CERT_FILE, against curl fetching the same URL from the same server.
//
// The progress window is drawn once before each exchange, as it is on a desktop by the time
// the buyer has read it, so that the repaints during the exchange really paint; the number of
// paints is reported beside the time.

#include "net/NetManager.h"
#include "platform/System.h"
#include "ui/Application.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProcess>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr std::size_t bodySize = 10 * 1000 * 1000;
constexpr int runs = 7;

// Serves the same reply to every connection until stopped.
class ReplyServer
{
public:
    explicit ReplyServer(std::string reply) : m_reply(std::move(reply))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) < 0 ||
            ::listen(m_listener, 8) < 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) < 0) {
            std::perror("loopback server");
            std::exit(1);
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~ReplyServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    std::uint16_t port() const { return m_port; }

private:
    void serve()
    {
        while (!m_stop) {
            pollfd wait{m_listener, POLLIN, 0};
            if (::poll(&wait, 1, 100) <= 0)
                continue;
            int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                ssize_t count = ::read(connection, buffer, sizeof buffer);
                if (count <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(count));
            }
            for (std::size_t sent = 0; sent < m_reply.size();) {
                ssize_t count =
                    ::send(connection, m_reply.data() + sent, m_reply.size() - sent, MSG_NOSIGNAL);
                if (count <= 0)
                    break;
                sent += static_cast<std::size_t>(count);
            }
            ::close(connection);
        }
    }

    std::string m_reply;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Counts the paint events of a window and its children.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* window)
    {
        window->installEventFilter(this);
        for (QWidget* child : window->findChildren<QWidget*>())
            child->installEventFilter(this);
    }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Lets the toolkit put the progress window on the screen and draw it.
void drawProgressWindow()
{
    QWidget* window = ui::CurrentStatusWindow()->NativeWindow();
    QElapsedTimer waited;
    waited.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) &&
           waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
}

// The offscreen platform warns of every window feature it lacks; that says nothing here.
void quietOffscreenWarnings(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")) &&
        !message.startsWith(QLatin1String("QStandardPaths:")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

double millisecondsOf(const std::function<void()>& run)
{
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// caFile: the certificate authority to trust for HTTPS (curl does not read SSL_CERT_FILE).
bool runCurl(const std::string& url, const std::string& output, const std::string& caFile = {})
{
    // --fail: an error page is no success.
    std::vector<const char*> arguments = {"curl", "-s", "--fail", "-o", output.c_str()};
    if (!caFile.empty())
        arguments.insert(arguments.end(), {"--cacert", caFile.c_str()});
    arguments.insert(arguments.end(), {url.c_str(), nullptr});
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char* const*>(arguments.data()),
                     environ) != 0)
        return false;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The registration over HTTPS against curl; false when either side failed.
bool benchHttps(const fs::path& folder)
{
    if (std::system(
            ("'" MAKE_CERTIFICATES_SCRIPT "' '" + (folder / "tls").string() + "'").c_str()) != 0) {
        std::fprintf(stderr, "could not make the certificates (is openssl installed?)\n");
        return false;
    }
    std::string caFile = (folder / "tls/ca.pem").string();
    ::setenv("SSL_CERT_FILE", caFile.c_str(), 1);
    QProcess server;
    server.start("python3",
                 {REGISTRATION_SERVER_SCRIPT, "--port", "0", "--output",
                  QString::fromStdString((folder / "registrations.jsonl").string()), "--tls-cert",
                  QString::fromStdString((folder / "tls/server.pem").string()), "--tls-key",
                  QString::fromStdString((folder / "tls/server.key").string())});
    while (!server.canReadLine() && server.waitForReadyRead(20000)) {
    }
    std::string url = "https://localhost:" + server.readLine().trimmed().toStdString();
    const std::string path =
        "/storeregistrants.php3?firstname=Ann&lastname=Smith&street=12+Oak+St.%2C+Apt+%234"
        "&city=Springfield&state=IL&zip=62704&phone=%28217%29+555-0100&country=USA&email=none"
        "&serialnumber=123456&purchasedfrom=Corner+Store&reasonpurchased=Gift"
        "&datepurchased=7%2F4%2F1999&version=6.993&os=OS%3A+Unknown"
        "&productname=Pantrix+Morsels&sendmailings=1";

    std::vector<double> clientTimes;
    std::vector<double> curlTimes;
    for (int run = 0; run <= runs; ++run) {
        ui::StatusWindow("Sending Data", "Sending information over the internet now...Please wait");
        double client = millisecondsOf([&] { NetManager exchange(url, path); });
        ui::StatusWindow(nullptr, nullptr);
        auto reply = platform::sys::readFile(replyFileName);
        if (reply.isError() || reply.value().find("Success") == std::string::npos) {
            std::fprintf(stderr, "the registration over HTTPS failed\n");
            return false;
        }
        bool curlWorked = false;
        double curl = millisecondsOf(
            [&] { curlWorked = runCurl(url + path, (folder / "curl.htm").string(), caFile); });
        if (!curlWorked) {
            std::fprintf(stderr, "curl failed over HTTPS\n");
            return false;
        }
        if (run == 0)
            continue;
        clientTimes.push_back(client);
        curlTimes.push_back(curl);
    }
    server.terminate();
    server.waitForFinished();

    double client = median(clientTimes);
    double curl = median(curlTimes);
    std::printf("A registration over HTTPS (TLS handshake, certificate check, request, reply) "
                "with the local registration server, median of %d runs\n",
                runs);
    std::printf("  NetManager:  %8.1f ms\n", client);
    std::printf("  curl -s:     %8.1f ms\n", curl);
    std::printf("  ratio: %.2f (target: at most 1.30)\n", client / curl);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(quietOffscreenWarnings);
    ui::UI_APPLICATION application(argc, argv);
    std::unique_ptr<ui::ResourceStore> store(ui::OpenResourceStore());
    if (store->Error()) {
        std::fprintf(stderr, "ROBJECTS.DAT not found beside the benchmark\n");
        return 1;
    }

    std::string header =
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(bodySize) + "\r\n\r\n";
    std::string reply = header + std::string(bodySize, 'b');
    ReplyServer server(reply);
    std::string host = "127.0.0.1:" + std::to_string(server.port());

    fs::path folder = fs::temp_directory_path() / ("http-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::current_path(folder);

    std::vector<double> clientTimes;
    std::vector<double> curlTimes;
    int paints = 0;
    for (int run = 0; run <= runs; ++run) {
        ui::StatusWindow("Sending Data", "Sending information over the internet now...Please wait");
        drawProgressWindow();
        PaintCounter counter(ui::CurrentStatusWindow()->NativeWindow());
        double client = millisecondsOf([&] { NetManager exchange(host, "/bench.bin"); });
        paints = counter.paints;
        ui::StatusWindow(nullptr, nullptr);
        if (fs::file_size(replyFileName) != reply.size()) {
            std::fprintf(stderr, "the client stored %ju of %zu bytes\n",
                         static_cast<std::uintmax_t>(fs::file_size(replyFileName)), reply.size());
            return 1;
        }
        bool curlWorked = false;
        double curl = millisecondsOf([&] {
            curlWorked = runCurl("http://" + host + "/bench.bin", (folder / "curl.bin").string());
        });
        if (!curlWorked) {
            std::fprintf(stderr, "curl failed (is it installed?)\n");
            return 1;
        }
        if (run == 0)
            continue; // the first of each warms the caches
        clientTimes.push_back(client);
        curlTimes.push_back(curl);
    }

    double client = median(clientTimes);
    double curl = median(curlTimes);
    std::printf("10 MB reply over 127.0.0.1, median of %d runs\n", runs);
    std::printf("  NetManager (progress window, 499-byte chunks): %8.1f ms  (%d paints)\n", client,
                paints);
    std::printf("  curl -s -o:                                    %8.1f ms\n", curl);
    std::printf("  ratio: %.2f (target: at most 2.00)\n", client / curl);

    bool https = benchHttps(folder);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder);
    return https ? 0 : 1;
}
