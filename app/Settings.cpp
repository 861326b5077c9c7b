#include "app/Settings.h"

#include "BuildConfig.h"
#include "app/FileFolders.h"
#include "platform/Clock.h"
#include "platform/Module.h"
#include "platform/Profile.h"
#include "platform/WindowsDirectory.h"
#include "platform/Xdg.h"
#include "registrant/FindNoCase.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <limits>

namespace {

constexpr char settingsFile[] = "REGISTER.INI";
// Text values are fetched as the installation's tools wrote them: at most 255 characters.
constexpr std::size_t valueBuffer = 256;
// The product name keeps this many characters of its value.
constexpr std::size_t productNameLength = 75;

// The commands a Hayes modem understands when the installation names none.
constexpr char defaultInitString[] = "AT&FE1Q0V1&C1&D2S0=0";
constexpr char defaultInitString2[] = "AT&B1";

// The file read: the user's own in the Windows directory, else the one the maker ships for
// every user in the system settings folder. Chosen once per ReadSettings.
std::string settingsPath;

std::string text(const char* section, const char* key, const char* defaultValue)
{
    return platform::GetPrivateProfileStringA(section, key, defaultValue, settingsPath,
                                              valueBuffer);
}

int integer(const char* section, const char* key, int defaultValue)
{
    return platform::GetPrivateProfileIntA(section, key, defaultValue, settingsPath);
}

bool equalsNoCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        auto upper = [](char c) {
            return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        };
        if (upper(a[i]) != upper(b[i]))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

bool isWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The whole run= value. A value cut to a fixed buffer and written back would silently drop
// the auto-start entries of other programs beyond the cut, so the buffer grows until the
// value fits.
std::string wholeRunValue()
{
    std::size_t size = valueBuffer;
    for (;;) {
        std::string value = platform::GetProfileStringA("windows", "run", "", size);
        if (value.size() + 1 < size)
            return value;
        size *= 2;
    }
}

} // namespace

std::string osNameFromVersion(std::uint32_t version)
{
    const unsigned major = version & 0xFF;
    const unsigned minor = (version >> 8) & 0xFF;
    if (major != 4)
        return "Unknown";
    return minor >= 10 ? "Windows 98" : "Windows 95";
}

std::string todayAsDayMonthYear()
{
    static constexpr const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                             "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const platform::Date today = platform::clock().today();
    // The clock promises 1 to 12 and 1 to 31; held to that, a stray value can neither index
    // past the table nor widen the nine characters.
    const int month = std::clamp(today.month, 1, 12);
    const int day = std::clamp(today.day, 1, 31);
    const int year = (today.year % 100 + 100) % 100;
    char date[16];
    std::snprintf(date, sizeof date, "%02d-%s-%02d", day, months[month - 1], year);
    return date;
}

int ReadSettings(ProgramRecord& record)
{
    RegistrationSettings& settings = record.settings;
    std::error_code error;
    const std::string system = systemSettingsFile(settingsFile);
    const bool ownFile = std::filesystem::is_regular_file(
        std::filesystem::path(platform::GetWindowsDirectoryA()) / settingsFile, error);
    settingsPath = ownFile || system.empty() ? settingsFile : system;
    settings.osName = osNameFromVersion(platform::GetVersion());

    std::string productName = text("product", "ProductName", "");
    productName.resize(std::min(productName.size(), productNameLength));
    settings.ProductName = productName;

    // The installation writes the date as DD-MON-YY; anything of another length is not such
    // a date, and today's stands in for it.
    std::string date = text("product", "Date", "");
    settings.Date = date.size() == 9 ? date : todayAsDayMonthYear();

    settings.Installed = integer("product", "Installed", 1);
    settings.ComPort = static_cast<std::uint16_t>(integer("modem", "ComPort", 0));
    settings.IRQ = static_cast<std::int16_t>(integer("modem", "IRQ", 0));

    // The two init strings go together: an installation that names no InitString gets the
    // pair that suits a Hayes modem, whatever it gave as InitString2.
    settings.InitString2 = text("modem", "InitString2", "");
    std::string initString = text("modem", "InitString", "");
    if (initString.empty()) {
        settings.InitString = defaultInitString;
        settings.InitString2 = defaultInitString2;
    } else {
        settings.InitString = initString;
    }

    settings.TestString = text("modem", "TestString", "ATE1Q0V1");
    settings.DialString = text("modem", "DialString", "ATD");
    settings.Pulse = text("modem", "Pulse", "P");
    settings.Tone = text("modem", "Tone", "T");
    settings.OffLine = text("modem", "OffLine", "+++");
    settings.HangUp = text("modem", "HangUp", "ATH");
    settings.CallWaitingPulse = text("modem", "CallWaitingPulse", "1177");
    settings.CallWaitingTone = text("modem", "CallWaitingTone", "*77");
    settings.DialToneOn = text("modem", "DialToneOn", "ATX4");
    settings.DialToneOff = text("modem", "DialToneOff", "ATX3");
    settings.PhoneNumber = text("modem", "PhoneNumber", config::dialInNumber);
    settings.AltPhoneNumber = text("modem", "AltPhoneNumber", "");

    settings.Mode = equalsNoCase(text("user", "Mode", "Tone"), "Pulse") ? 1 : 0;
    settings.OutsideNumber = text("user", "OutsideNumber", "");
    settings.CallWaiting = integer("user", "CallWaiting", 0);
    return 1;
}

void RemoveAutoStartEntry()
{
    // On Linux the session starts the program from its XDG autostart entry.
    platform::HideAutostartEntry(config::desktopId);

    const std::string value = wholeRunValue();
    // The search bound is an unsigned 16-bit count; a value longer than that is searched in
    // its first 65535 characters.
    const auto limit = static_cast<unsigned short>(
        std::min<std::size_t>(value.size(), std::numeric_limits<unsigned short>::max()));
    const int found = FindNoCase(value.c_str(), "REGISTER", limit);
    if (found < 0)
        return;

    // The word is bounded by white space or the ends of the value.
    std::size_t last = static_cast<std::size_t>(found);
    while (last + 1 < value.size() && !isWhiteSpace(value[last + 1]))
        ++last;
    std::size_t first = static_cast<std::size_t>(found);
    while (first > 0 && !isWhiteSpace(value[first - 1]))
        --first;

    // Keep what precedes the word, blank included, and drop the word with the one separator
    // that follows it.
    std::string remaining = value.substr(0, first);
    if (last + 2 < value.size())
        remaining += value.substr(last + 2);

    platform::WriteProfileStringA("windows", "run", remaining.c_str());
    platform::WriteProfileStringA(nullptr, nullptr, nullptr);
}
