// Registrations through tools/registration_server.py, in the clear and over HTTPS.

#include "net/InternetRegistration.h"
#include "tests/net/NetTestSupport.h"
#include "ui/framework/Ansi.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using nettest::LoopbackServer;
namespace fs = std::filesystem;

namespace {

// make_certificates.sh's CA and server.pem; with its key: expired, other-host, self-signed.
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

// tools/registration_server.py over TLS with the certificate named, or plain HTTP for "".
struct RegistrationServer
{
    RegistrationServer(const fs::path& folder, const std::string& certificate)
        : m_files((folder / certificate).string())
    {
        QStringList arguments{REGISTRATION_SERVER_SCRIPT, "--port", "0", "--output",
                              QString::fromStdString(m_files + ".jsonl")};
        const QString tls = QString::fromStdString(certificates().string() + "/");
        if (!certificate.empty())
            arguments << "--tls-cert" << tls + certificate.c_str() + ".pem"
                      << "--tls-key" << tls + "server.key";
        m_process.setStandardErrorFile(QString::fromStdString(m_files + ".log"));
        m_process.start("python3", arguments);
    }
    ~RegistrationServer() { m_process.terminate(), m_process.waitForFinished(); }
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

    std::string m_files;
    QProcess m_process;
    int m_port = 0;
};

struct HttpsTest : nettest::RegistrationTest
{
    void send(const std::string& server, const std::string& information = "\nZo\xEB\nSmith\n1")
    {
        testsupport::ScopedEnv env("REGISTER_SERVER", server);
        world.files().writeFile("oldinfo", information);
        SendInternetRegistration();
    }

    testsupport::ScopedEnv trust{"SSL_CERT_FILE", (certificates() / "ca.pem").string()};
};

// The largest request, full of escapes and bytes above 127, arrives exactly over HTTP and HTTPS.
TEST_F(HttpsTest, RegistrationArrivesAsTheBuyerTypedIt)
{
    const char* keys[] = {
        "firstname",     "lastname", "street", "city",         "state",         "zip",
        "phone",         "country",  "email",  "serialnumber", "purchasedfrom", "reasonpurchased",
        "datepurchased", "version",  "os",     "productname",  "sendmailings"};
    const std::size_t longest[] = {74, 149, 149, 74, 74, 74, 149, 149, 0, 0, 74, 74}; // no e-mail
    const std::string characters = "Zo\xEB & \"Bob\" +%=?#/<>|\\@;:,()\t\x80\xFF'.";
    std::vector<std::string> values;
    for (std::size_t field = 0; field < std::size(longest); ++field) {
        values.emplace_back();
        for (std::size_t i = 0; i < longest[field]; ++i)
            values.back() += characters[(field + i) % characters.size()];
    }
    values[9] = "123456";
    values.insert(values.end(),
                  {"7/4/1999", "6.993", "OS: " + std::string(74, '/'), "Pantrix Morsels", "1"});
    std::string information;
    for (const auto& value : values)
        information += "\r\n" + value;

    RegistrationServer plain(world.files().root(), ""), secure(world.files().root(), "server");
    send("http://" + plain.hostPort("127.0.0.1"), information);
    for (const char* host : {"localhost", "127.0.0.1"})
        send("HTTPS://" + secure.hostPort(host) + "/", information);
    EXPECT_EQ(registrationSent, 1);
    EXPECT_TRUE(user.sightings().empty());
    auto lines =
        QByteArray::fromStdString(plain.read(".jsonl") + secure.read(".jsonl")).split('\n');
    ASSERT_EQ(lines.size(), 4) << plain.read(".log") << secure.read(".log");
    for (const QByteArray& line : lines.mid(0, 3)) {
        QJsonObject registration = QJsonDocument::fromJson(line).object();
        for (std::size_t i = 0; i < values.size(); ++i) {
            QString expected = values[i].empty() ? QStringLiteral("none") : ui::fromAnsi(values[i]);
            EXPECT_EQ(registration.value(keys[i]).toString(), expected) << keys[i];
        }
    }
}

TEST_F(HttpsTest, ConnectionsThatCannotBeTrustedAreRefused)
{
    const fs::path& root = world.files().root();
    RegistrationServer expired(root, "expired"), otherHost(root, "other-host"),
        selfSigned(root, "self-signed");
    LoopbackServer stalling(LoopbackServer::Behaviour::Hold),
        closing(LoopbackServer::Behaviour::CloseAtOnce);
    const std::string unverified = "The server's certificate could not be verified: ";
    const std::string insecure = "Could not make a secure connection to the server: ";
    const std::pair<std::string, std::string> cases[] = {
        {expired.hostPort(), unverified + "certificate has expired."},
        {otherHost.hostPort(), unverified + "hostname mismatch."},
        {otherHost.hostPort("127.0.0.1"), unverified + "IP address mismatch."},
        {selfSigned.hostPort(), unverified + "self-signed certificate."},
        {stalling.host(), insecure + "the server did not complete the handshake in time."},
        {closing.host(), insecure + "unexpected eof while reading."},
    };
    for (const auto& [server, message] : cases) {
        SCOPED_TRACE(server);
        std::size_t seen = user.sightings().size();
        user.answer("NetManager", "OK").answer("Error!", "OK");
        auto start = std::chrono::steady_clock::now();
        send("https://" + server);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        ASSERT_TRUE(user.finished());
        EXPECT_EQ(user.sightings().at(seen).text.toStdString(), message);
        EXPECT_EQ(registrationSent, 0);
    }
}

} // namespace
