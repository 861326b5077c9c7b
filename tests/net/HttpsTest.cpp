// Registrations over HTTPS; the server addresses the program accepts; a whole exchange's limit.

#include "net/InternetRegistration.h"
#include "tests/net/NetTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>

using nettest::LoopbackServer;
using Behaviour = nettest::LoopbackServer::Behaviour;
namespace fs = std::filesystem;

namespace {

// Made afresh by each run, beside the test program: a CA and, signed by it, server.pem for
// localhost and 127.0.0.1 (tools/make_certificates.sh); then, with the same key, a certificate
// that has expired, one for another host, and one for localhost that signs itself.
const fs::path& certificates()
{
    static const fs::path folder = [] {
        fs::path made = fs::read_symlink("/proc/self/exe").parent_path() / "https-test-tls";
        std::string script = "'" MAKE_CERTIFICATES_SCRIPT "' '" + made.string() + "' && cd '" +
                             made.string() + "' && exec 2>>openssl.log && " +
                             R"(sign() { echo "$3" | openssl x509 -req -in server.csr \
                -CA ca.pem -CAkey ca.key -CAcreateserial -days $2 -extfile /dev/stdin -out $1.pem; }
                sign expired -1 subjectAltName=DNS:localhost,IP:127.0.0.1 &&
                sign other-host 2 subjectAltName=DNS:other.example &&
                openssl req -x509 -key server.key -out self-signed.pem -subj /CN=localhost)";
        EXPECT_EQ(std::system(script.c_str()), 0) << "see " << made << "/openssl.log";
        return made;
    }();
    return folder;
}

// tools/registration_server.py over TLS with the certificate named, or plain HTTP for "". It
// stores registrations in <certificate>.jsonl in folder, and logs to <certificate>.log.
class RegistrationServer
{
public:
    RegistrationServer(const fs::path& folder, const std::string& certificate)
        : m_files((folder / certificate).string())
    {
        auto path = [](const fs::path& file) {
            return QString::fromStdString(file.string());
        };
        QStringList arguments{REGISTRATION_SERVER_SCRIPT, "--port", "0", "--output",
                              path(m_files + ".jsonl")};
        if (!certificate.empty())
            arguments << "--tls-cert" << path(certificates() / (certificate + ".pem"))
                      << "--tls-key" << path(certificates() / "server.key");
        m_process.setStandardErrorFile(path(m_files + ".log"));
        m_process.start("python3", arguments);
    }
    ~RegistrationServer()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    // Waits for the port the first time, so that several servers start side by side.
    std::string hostPort(const char* host = "localhost")
    {
        while (m_port == 0 && (m_process.canReadLine() || m_process.waitForReadyRead(20000)))
            m_port = m_process.readLine().trimmed().toInt();
        return host + (":" + std::to_string(m_port));
    }
    // The registrations stored (".jsonl") or the log (".log").
    std::string read(const char* extension) const
    {
        auto read = platform::sys::readFile(m_files + extension);
        return read.isError() ? "" : read.value();
    }

private:
    std::string m_files;
    QProcess m_process;
    int m_port = 0;
};

class HttpsTest : public nettest::RegistrationTest
{
protected:
    void send(const std::string& server)
    {
        testsupport::ScopedEnv env("REGISTER_SERVER", server);
        world.files().writeFile("oldinfo",
                                "\nZo\xEB\nSmith\n12 Oak St., Apt #4\n(217) 555-0100\n1");
        SendInternetRegistration();
        EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 1) << "no reply file left";
    }

    testsupport::ScopedEnv trust{"SSL_CERT_FILE", (certificates() / "ca.pem").string()};
    nettest::ShortTimeLimits limits;
};

// A registration as the server recorded it, without the time of arrival and the Host header,
// which differ from one server to the next.
QJsonObject recorded(const QByteArray& line)
{
    QJsonObject record = QJsonDocument::fromJson(line).object();
    record.remove("received");
    record.remove("host");
    return record;
}

TEST_F(HttpsTest, RegistrationArrivesAsOverPlainHttp)
{
    RegistrationServer plain(world.files().root(), ""), secure(world.files().root(), "server");
    send("http://" + plain.hostPort());
    // By name (sent to the server and checked in the certificate) and by address.
    for (const char* host : {"localhost", "127.0.0.1"})
        send("HTTPS://" + secure.hostPort(host) + "/");
    EXPECT_EQ(registrationSent, 1);
    EXPECT_TRUE(user.sightings().empty());
    auto lines = QByteArray::fromStdString(secure.read(".jsonl")).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << secure.read(".log");
    for (const QByteArray& line : lines)
        EXPECT_EQ(recorded(line), recorded(QByteArray::fromStdString(plain.read(".jsonl"))));
}

TEST_F(HttpsTest, ConnectionsThatCannotBeTrustedAreRefused)
{
    const fs::path& root = world.files().root();
    RegistrationServer expired(root, "expired"), otherHost(root, "other-host"),
        selfSigned(root, "self-signed");
    LoopbackServer stalling(Behaviour::Hold), closing(Behaviour::CloseAtOnce);
    // What the server received: a request, over TLS or in plain text, would be among it.
    auto logOf = [](const RegistrationServer& s) {
        return [&s] {
            return s.read(".log");
        };
    };
    auto requestTo = [](LoopbackServer& s) {
        return [&s] {
            return s.request();
        };
    };
    const std::string unverified = "The server's certificate could not be verified: ";
    const std::string insecure = "Could not make a secure connection to the server: ";
    struct Case
    {
        std::string server, message;
        std::function<std::string()> received;
    } cases[] = {
        {expired.hostPort(), unverified + "certificate has expired.", logOf(expired)},
        {otherHost.hostPort(), unverified + "hostname mismatch.", logOf(otherHost)},
        {otherHost.hostPort("127.0.0.1"), unverified + "IP address mismatch.", logOf(otherHost)},
        {selfSigned.hostPort(), unverified + "self-signed certificate.", logOf(selfSigned)},
        {stalling.host(), insecure + "the server did not complete the handshake in time.",
         requestTo(stalling)},
        {closing.host(), insecure + "unexpected eof while reading.", requestTo(closing)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        std::size_t seen = user.sightings().size();
        user.answer("NetManager", "OK").answer("Error!", "OK");
        auto start = std::chrono::steady_clock::now();
        send("https://" + c.server);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        ASSERT_TRUE(user.finished());
        EXPECT_EQ(user.sightings().at(seen).text.toStdString(), c.message);
        EXPECT_EQ(registrationSent, 0);
        EXPECT_EQ(c.received().find("GET"), std::string::npos);
    }
}

TEST(ServerAddressTest, HostHeaderOrRefusal)
{
    const std::pair<const char*, const char*> cases[] = {
        {"https://register.example", "register.example"},
        {"http://10.0.0.1:443", "10.0.0.1:443"},
        {"ftp://register.example", "refused"},
        {"https://", "refused"},
        {"https://register.example/path", "refused"},
        {"https://user@register.example", "refused"},
        {"register.example\r\nX-Injected: 1", "refused"},
    };
    for (auto [server, hostHeader] : cases) {
        auto address = NetManager::parseServer(server);
        EXPECT_EQ(address ? address->hostHeader() : "refused", hostHeader) << server;
    }
}

// Every byte within the receive limit, but the whole exchange cut off at its own limit.
TEST_F(HttpsTest, DribblingServerEndsAtTheExchangeLimit)
{
    NetManager::setTimeLimits({250, 250, 400});
    LoopbackServer dribbling(Behaviour::Dribble, std::string(100, 'd')); // 5 s in all
    auto start = std::chrono::steady_clock::now();
    NetManager exchange(dribbling.host(), "/reply.txt");
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(400));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500));
}

} // namespace
