#pragma once

// The information file "oldinfo": the registrant's answers as plain Windows-1252 text, one value
// per line, in the program directory. It is what the internet request sends and the modem
// sends, and what the form reads back on the next run so that the buyer finds the previous
// answers filled in.
//
// How it works. The writer puts an empty first line, then the record's values, the serial
// number, the date, the product identity and a final "1" without a line end; every line end is
// a carriage return and line feed, because the file travels unchanged to machines that expect
// them. The reader hands out one line at a time the way the Windows runtime's text mode did:
// carriage returns vanish, a Ctrl-Z byte ends the file, and a line is held in a 200-byte
// buffer. The loader then skips the empty first line (and any lines of a single digit 0 to 4
// before the first name) and maps the next lines onto the form's fields.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The file the writer replaces and the channels read: the program directory, then "oldinfo".
std::string informationFilePath();

// Writes the registrant record, today's date and the product identity to the information file,
// replacing what it held. The new content goes to a temporary file that is renamed over the
// old one, so the file is always either the old one or the whole new one. Returns false when
// the file could not be written; the old file is then left as it was.
bool WriteInformationFile();

// Lines of an open information file. Reading never writes to the file.
class InformationFileReader
{
public:
    // Reads up to size bytes into buffer and returns how many; 0 means the end of the file.
    using Source = std::function<std::size_t(char* buffer, std::size_t size)>;

    // The line buffer holds 200 bytes, the terminating zero included: longer lines keep their
    // first 199 characters and the rest of the line is skipped, so the following values stay
    // on their own lines.
    static constexpr std::size_t lineBufferSize = 200;

    explicit InformationFileReader(Source source);
    // Reads an open descriptor, which stays the caller's to close. A read error counts as the
    // end of the file.
    static InformationFileReader fromDescriptor(int fd);

    // True once a read has run into the end of the file (or a Ctrl-Z byte).
    bool atEnd() const { return m_atEnd; }

private:
    friend std::string_view ReadInformationLine(InformationFileReader& file);

    // The next byte, or -1 at the end of the file.
    int nextByte();

    Source m_source;
    std::string m_chunk;
    std::size_t m_chunkPosition = 0;
    bool m_atEnd = false;
    std::string m_line;
};

// The next line of the file, without its line end and without carriage returns. At the end of
// the file it is what was read before the end: the last line when it has no line end, an empty
// line when nothing was left. Like the C string it stands for, the line ends at a zero byte.
// The text is valid until the next call.
std::string_view ReadInformationLine(InformationFileReader& file);

// One value that the form takes from the file: the field's identifier and its text.
struct FieldValue
{
    const char* field;
    std::string value;

    friend bool operator==(const FieldValue& a, const FieldValue& b)
    {
        return std::string_view(a.field) == b.field && a.value == b.value;
    }
};

// The previous answers for the registrant form, in the order the form sets them: FIRST_NAME,
// LAST_NAME, STREET, CITY, STATE, ZIP, PHONE, COUNTRY, EMAIL, PURCHASED_FROM. Nothing when the
// file is missing or ends before its first name. The form puts them into its fields; the
// record is not touched.
std::vector<FieldValue> loadPreviousAnswers(InformationFileReader& file);
// The same from the file at path.
std::vector<FieldValue> loadPreviousAnswers(const std::string& path);
