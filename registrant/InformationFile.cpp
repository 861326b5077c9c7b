#include "registrant/InformationFile.h"

#include "BuildConfig.h"
#include "platform/Clock.h"
#include "platform/System.h"
#include "registrant/ProgramRecord.h"

#include <fcntl.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string_view>
#include <system_error>

namespace {

// The file's own text, with "\n" for every line end.
std::string informationText()
{
    const RegistrantRecord& record = registrantRecord();
    std::string text = "\n";
    for (std::string_view value :
         {record.firstname.view(), record.lastname.view(), record.street.view(), record.city.view(),
          record.state.view(), record.zip.view(), record.phone.view(), record.country.view(),
          record.email.view()}) {
        text += value;
        text += '\n';
    }
    // The serial number and the last line are constants of the file, whatever the record holds.
    text += "123456\n";
    text += record.purchasedfrom.view();
    text += '\n';
    text += record.reasonpurchased.view();
    text += '\n';
    // The server takes the day the form was accepted as the purchase date: month/day/year.
    platform::Date today = platform::clock().today();
    text += std::to_string(today.month) + "/" + std::to_string(today.day) + "/" +
            std::to_string(today.year);
    text += '\n';
    text += config::productVersion;
    text += "\nOS: ";
    text += programRecord.settings.osName.view();
    text += '\n';
    text += config::productName;
    text += "\n1";
    return text;
}

// The file was written in the Windows runtime's text mode, which turns every line feed into a
// carriage return and line feed; the receivers of the file still expect exactly that.
std::string withTextModeLineEnds(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() +
                  static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    for (char c : text) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    return bytes;
}

// The byte with which the runtime's text mode ends a file wherever it stands.
constexpr int ctrlZ = 0x1A;

} // namespace

std::string informationFilePath()
{
    return (std::filesystem::path(programDirectory) / "oldinfo").string();
}

bool WriteInformationFile()
{
    return !platform::sys::replaceFile(informationFilePath(),
                                       withTextModeLineEnds(informationText()))
                .isError();
}

InformationFileReader::InformationFileReader(Source source) : m_source(std::move(source)) {}

InformationFileReader InformationFileReader::fromDescriptor(int fd)
{
    return InformationFileReader([fd](char* buffer, std::size_t size) -> std::size_t {
        auto result = platform::sys::read(fd, buffer, size);
        return result.isError() ? 0 : result.value();
    });
}

int InformationFileReader::nextByte()
{
    if (m_atEnd)
        return -1;
    if (m_chunkPosition >= m_chunk.size()) {
        constexpr std::size_t chunkSize = 4096;
        m_chunk.resize(chunkSize);
        std::size_t got = std::min(m_source(m_chunk.data(), chunkSize), chunkSize);
        m_chunk.resize(got);
        m_chunkPosition = 0;
        if (got == 0) {
            m_atEnd = true;
            return -1;
        }
    }
    auto byte = static_cast<unsigned char>(m_chunk[m_chunkPosition++]);
    if (byte == ctrlZ) {
        // Whatever follows a Ctrl-Z is not part of the file, now or on any later read.
        m_atEnd = true;
        return -1;
    }
    return byte;
}

std::string_view ReadInformationLine(InformationFileReader& file)
{
    file.m_line.clear();
    for (;;) {
        int byte = file.nextByte();
        if (byte < 0 || byte == '\n')
            break;
        if (byte == '\r')
            continue;
        // What does not fit the line buffer is dropped up to the line's end, so that one
        // over-long value cannot push the following values onto the wrong lines.
        if (file.m_line.size() < InformationFileReader::lineBufferSize - 1)
            file.m_line += static_cast<char>(byte);
    }
    std::string_view line = file.m_line;
    return line.substr(0, line.find('\0'));
}

std::vector<FieldValue> loadPreviousAnswers(InformationFileReader& file)
{
    std::string held(ReadInformationLine(file));
    if (held.empty())
        held = ReadInformationLine(file);
    // A single digit from 0 to 4 where the first name belongs is no name; the next line is.
    while (held.size() == 1 && held[0] >= '0' && held[0] <= '4')
        held = ReadInformationLine(file);
    if (file.atEnd())
        return {};

    std::vector<FieldValue> values;
    values.push_back({"FIRST_NAME", held});
    for (const char* field :
         {"LAST_NAME", "STREET", "CITY", "STATE", "ZIP", "PHONE", "COUNTRY", "EMAIL"}) {
        std::string value(ReadInformationLine(file));
        // The form presets COUNTRY from the country choice, and for USA and Canada the buyer
        // cannot enter the field. An empty stored country (a file cut short, say) would leave
        // a mandatory field empty that nobody can fill, so it keeps the preset instead.
        if (value.empty() && std::string_view(field) == "COUNTRY")
            continue;
        values.push_back({field, std::move(value)});
    }
    ReadInformationLine(file); // the serial number, a constant
    values.push_back({"PURCHASED_FROM", std::string(ReadInformationLine(file))});
    return values;
}

std::vector<FieldValue> loadPreviousAnswers(const std::string& path)
{
    // Only a plain file is read: opening a pipe of that name would wait for a writer forever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    auto opened = platform::sys::open(path, O_RDONLY);
    if (opened.isError())
        return {};
    platform::sys::UniqueFd fd(opened.value());
    InformationFileReader file = InformationFileReader::fromDescriptor(fd.get());
    return loadPreviousAnswers(file);
}
