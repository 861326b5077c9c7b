// The local registration server of tools/, driven by the program's own HTTP client.

#include "net/InternetRegistration.h"
#include "net/NetManager.h"
#include "registrant/ProgramRecord.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/GuiWorld.h"
#include "ui/framework/Ansi.h"
#include "ui/testing/ScriptedUser.h"

#include "BuildConfig.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// tools/registration_server.py on a port of its choosing, stopped when the object goes.
class RegistrationServer
{
public:
    RegistrationServer(const fs::path& output, const fs::path& log)
    {
        int out[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string outputArgument = output.string();
        const char* arguments[] = {"python3",  REGISTRATION_SERVER_SCRIPT, "--port", "0",
                                   "--output", outputArgument.c_str(),     nullptr};
        int spawned = posix_spawnp(&m_pid, "python3", &actions, nullptr,
                                   const_cast<char* const*>(arguments), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        EXPECT_EQ(spawned, 0) << "python3 could not be started";

        // The first line on its standard output is the port.
        std::string line;
        char byte;
        pollfd wait{out[0], POLLIN, 0};
        while (spawned == 0 && line.find('\n') == std::string::npos &&
               ::poll(&wait, 1, 20000) > 0 && ::read(out[0], &byte, 1) == 1)
            line += byte;
        ::close(out[0]);
        m_port = std::atoi(line.c_str());
        EXPECT_GT(m_port, 0) << "first line: " << line;
    }
    ~RegistrationServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

class RegistrationServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetProgramState();
        programDirectory = world.files().programDir().string();
        m_env.emplace("REGISTER_SERVER", server.host());
    }
    void TearDown() override
    {
        resetProgramState();
        programDirectory.clear();
        replyFileName.clear();
    }

    std::vector<QJsonObject> registrations()
    {
        std::vector<QJsonObject> found;
        if (!world.files().exists(output))
            return found;
        std::string lines = world.files().readFile(output);
        for (std::size_t start = 0; start < lines.size();) {
            auto end = lines.find('\n', start);
            QByteArray line = QByteArray::fromStdString(lines.substr(start, end - start));
            found.push_back(QJsonDocument::fromJson(line).object());
            start = end == std::string::npos ? lines.size() : end + 1;
        }
        return found;
    }

    testsupport::GuiWorld world;
    fs::path output = world.files().root() / "registrations.jsonl";
    RegistrationServer server{output, world.files().root() / "server.log"};
    nettest::RecordingDesktop desktop;

private:
    std::optional<testsupport::ScopedEnv> m_env;
};

TEST_F(RegistrationServerTest, StoresTheRegistrationAsTheBuyerTypedIt)
{
    // Every field at the longest the form allows, full of the characters that travel escaped
    // (three bytes each) and of bytes of 128 and above: the largest request the form can
    // cause must go out whole and arrive exactly.
    const char* keys[] = {
        "firstname",     "lastname", "street", "city",         "state",         "zip",
        "phone",         "country",  "email",  "serialnumber", "purchasedfrom", "reasonpurchased",
        "datepurchased", "version",  "os",     "productname",  "sendmailings"};
    const std::size_t longest[] = {74, 149, 149, 74, 74, 74, 149, 149, 74, 0, 74, 74};
    const std::string characters = "Zo\xEB & \"Bob\" +%=?#/<>|\\@;:,()\t\x80\xFF'.";
    std::vector<std::string> values;
    for (std::size_t field = 0; field < std::size(longest); ++field) {
        std::string value;
        for (std::size_t i = 0; i < longest[field]; ++i)
            value += characters[(field + i) % characters.size()];
        values.push_back(value);
    }
    values[9] = "123456";
    std::string os = "OS: ";
    while (os.size() < 4 + 74)
        os += "/\xE9";
    os.resize(4 + 74);
    for (const std::string& line : {std::string("7/4/1999"), std::string("6.993"), os,
                                    std::string("Pantrix Morsels"), std::string("1")})
        values.push_back(line);
    values[8] = ""; // an empty e-mail address is sent as "none"

    std::string information;
    for (const auto& value : values)
        information += "\r\n" + value;
    world.files().writeFile("oldinfo", information);

    ui::ScriptedUser user;
    SendInternetRegistration();
    EXPECT_EQ(registrationSent, 1);

    auto stored = registrations();
    ASSERT_EQ(stored.size(), 1u);
    const QJsonObject& registration = stored[0];
    for (std::size_t i = 0; i < values.size(); ++i) {
        QString expected = values[i].empty() ? QStringLiteral("none") : ui::fromAnsi(values[i]);
        EXPECT_EQ(registration.value(keys[i]).toString(), expected) << keys[i];
    }
    EXPECT_EQ(registration.value("userAgent").toString().toStdString(),
              std::string(config::productName) + " v" + config::productVersion);
    EXPECT_EQ(registration.value("host").toString().toStdString(), server.host());
}

TEST_F(RegistrationServerTest, BadRequestsGetNoSuccessAndAreNotStored)
{
    struct Case
    {
        const char* name;
        const char* path;
    } cases[] = {
        {"another script", "/register.php3?firstname=Ann"},
        {"no query", "/storeregistrants.php3"},
        {"keys missing", "/storeregistrants.php3?firstname=Ann&lastname=Smith"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NetManager exchange(server.host(), c.path);
        ASSERT_TRUE(world.files().exists(replyFileName));
        std::string reply = world.files().readFile(replyFileName);
        EXPECT_TRUE(reply.starts_with("HTTP/1.0 400 ")) << reply;
        EXPECT_EQ(reply.find("Success"), std::string::npos) << reply;
        fs::remove(replyFileName);
    }
    EXPECT_TRUE(registrations().empty());
    EXPECT_TRUE(desktop.boxes.empty());
}

} // namespace
