#include "net/InternetRegistration.h"

#include "net/NetManager.h"
#include "platform/System.h"
#include "registrant/ProgramRecord.h"
#include "ui/MessageWindow.h"

#include "BuildConfig.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <fcntl.h>

namespace sys = platform::sys;

namespace {

// The query keys, in the order of the values in the information file (lines 2 to 18).
constexpr const char* queryKeys[] = {
    "firstname",     "lastname", "street", "city",         "state",         "zip",
    "phone",         "country",  "email",  "serialnumber", "purchasedfrom", "reasonpurchased",
    "datepurchased", "version",  "os",     "productname",  "sendmailings",
};

// The file as the C runtime's text mode reads it on Windows, where the file was born: a
// carriage return right before a line feed is dropped; any other byte is kept.
std::string fromTextMode(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        text += bytes[i];
    }
    return text;
}

void appendEscape(std::string& value, unsigned char byte)
{
    constexpr char hexDigits[] = "0123456789ABCDEF";
    value += '%';
    value += hexDigits[byte >> 4];
    value += hexDigits[byte & 0x0F];
}

// The start of the reply file, enough for ReplySaysSuccess: text mode may drop one carriage
// return per byte kept, so twice the judged size (and the byte after, to see whether the last
// one is followed by a line feed) is always enough.
bool replyFileSaysSuccess(const std::string& path)
{
    auto opened = sys::open(path, O_RDONLY);
    if (opened.isError())
        return false;
    sys::UniqueFd file(opened.value());
    std::string bytes(2 * judgedReplySize + 1, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        auto count = sys::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (count.isError() || count.value() == 0)
            break;
        filled += count.value();
    }
    bytes.resize(filled);
    return ReplySaysSuccess(bytes);
}

void showConnectionError()
{
    ui::MessageWindow box("Error!", "HAND", ui::MSG_OK, ui::MSG_OK,
                          "Unable to establish connection.  Check your\r\ninternet connection "
                          "and try again.");
    box.Run();
}

} // namespace

bool ReplySaysSuccess(std::string_view reply)
{
    std::string text = fromTextMode(reply);
    text.resize(std::min(text.size(), judgedReplySize));
    return text.find("Success") != std::string::npos;
}

std::string ReadEncodedValue(std::string_view& text)
{
    std::string value;
    while (!text.empty()) {
        auto byte = static_cast<unsigned char>(text.front());
        text.remove_prefix(1);
        if (byte == '\n')
            break;
        switch (byte) {
        case ' ':
            value += '+';
            break;
        case '\t':
        case '/':
        case '"':
        case '(':
        case ')':
        case ',':
        case ':':
        case ';':
        case '<':
        case '>':
        case '@':
        case '\\':
        case '|':
        case '#':
        case '%':
        case '&':
        case '+':
        case '=':
        case '?':
            appendEscape(value, byte);
            break;
        default:
            // Other control characters would break the request line apart (a lone carriage
            // return ends it early), so they travel escaped as well. Bytes of 128 and above
            // go as they are: the server reads them as Windows-1252.
            if (byte < 0x20 || byte == 0x7F)
                appendEscape(value, byte);
            else
                value += static_cast<char>(byte);
            break;
        }
    }
    return value.empty() ? "none" : value;
}

std::string registrationRequestPath(std::string_view information)
{
    ReadEncodedValue(information); // the empty first line
    std::string path = "/storeregistrants.php3?";
    bool first = true;
    for (const char* key : queryKeys) {
        if (!first)
            path += '&';
        first = false;
        path += key;
        path += '=';
        path += ReadEncodedValue(information);
    }
    return path;
}

std::string registrationServer()
{
    const char* fromEnvironment = std::getenv("REGISTER_SERVER");
    return fromEnvironment && *fromEnvironment ? fromEnvironment : config::registrationServer;
}

void SendInternetRegistration()
{
    auto information =
        sys::readFile((std::filesystem::path(programDirectory) / "oldinfo").string());
    if (information.isError()) {
        ui::MessageWindow box("File Not Found!", "EXCLAMATION", ui::MSG_OK, ui::MSG_OK,
                              "Could not find information file.");
        box.Run();
        return;
    }
    std::string path = registrationRequestPath(fromTextMode(information.value()));
    std::string server = registrationServer();

    if (NetManager::requestText(server, path).size() <= maxRequestSize) {
        NetManager exchange(server, path);
    }

    std::error_code ignored;
    if (!replyFileName.empty() && std::filesystem::exists(replyFileName, ignored)) {
        if (replyFileSaysSuccess(replyFileName))
            registrationSent = 1;
        std::filesystem::remove(replyFileName, ignored);
    }

    if (registrationSent == 0)
        showConnectionError();
}
