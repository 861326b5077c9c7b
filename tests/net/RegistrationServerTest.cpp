// The local registration server of tools/, driven by the program's own HTTP client.

#include "net/InternetRegistration.h"
#include "tests/net/NetTestSupport.h"
#include "ui/framework/Ansi.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace fs = std::filesystem;

namespace {

// tools/registration_server.py on a port of its choosing, stopped when the object goes.
class RegistrationServer
{
public:
    RegistrationServer(const fs::path& output, const fs::path& log)
    {
        m_process.setStandardErrorFile(QString::fromStdString(log.string()));
        m_process.start("python3", {REGISTRATION_SERVER_SCRIPT, "--port", "0", "--output",
                                    QString::fromStdString(output.string())});
        // The first line on its standard output is the port.
        while (!m_process.canReadLine() && m_process.waitForReadyRead(20000)) {
        }
        QByteArray line = m_process.readLine();
        m_port = line.trimmed().toInt();
        EXPECT_GT(m_port, 0) << "first line: " << line.toStdString();
    }
    ~RegistrationServer()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};

class RegistrationServerTest : public nettest::RegistrationTest
{
protected:
    fs::path output = world.files().root() / "registrations.jsonl";
    RegistrationServer server{output, world.files().root() / "server.log"};
    testsupport::ScopedEnv env{"REGISTER_SERVER", server.host()};
};

TEST_F(RegistrationServerTest, StoresTheRegistrationAsTheBuyerTypedIt)
{
    // Every field at the longest the form allows, full of the characters that travel escaped
    // and of bytes of 128 and above: the largest request the form can cause arrives exactly.
    const char* keys[] = {
        "firstname",     "lastname", "street", "city",         "state",         "zip",
        "phone",         "country",  "email",  "serialnumber", "purchasedfrom", "reasonpurchased",
        "datepurchased", "version",  "os",     "productname",  "sendmailings"};
    // The e-mail address is left empty: it is sent as "none".
    const std::size_t longest[] = {74, 149, 149, 74, 74, 74, 149, 149, 0, 0, 74, 74};
    const std::string characters = "Zo\xEB & \"Bob\" +%=?#/<>|\\@;:,()\t\x80\xFF'.";
    std::vector<std::string> values;
    for (std::size_t field = 0; field < std::size(longest); ++field) {
        values.emplace_back();
        for (std::size_t i = 0; i < longest[field]; ++i)
            values.back() += characters[(field + i) % characters.size()];
    }
    values[9] = "123456";
    std::string os = "OS: ";
    for (int i = 0; i < 37; ++i)
        os += "/\xE9";
    values.insert(values.end(), {"7/4/1999", "6.993", os, "Pantrix Morsels", "1"});
    std::string information;
    for (const auto& value : values)
        information += "\r\n" + value;
    world.files().writeFile("oldinfo", information);

    SendInternetRegistration();
    EXPECT_EQ(registrationSent, 1);

    std::string lines = world.files().readFile(output);
    ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    QJsonObject registration = QJsonDocument::fromJson(QByteArray::fromStdString(lines)).object();
    for (std::size_t i = 0; i < values.size(); ++i) {
        QString expected = values[i].empty() ? QStringLiteral("none") : ui::fromAnsi(values[i]);
        EXPECT_EQ(registration.value(keys[i]).toString(), expected) << keys[i];
    }
    EXPECT_EQ(registration.value("userAgent").toString().toStdString(),
              std::string(config::productName) + " v" + config::productVersion);
    EXPECT_EQ(registration.value("host").toString().toStdString(), server.host());
}

} // namespace
