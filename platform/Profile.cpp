#include "platform/Profile.h"
#include "platform/DosDevices.h"
#include "platform/System.h"
#include "platform/WindowsDirectory.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <string_view>
#include <vector>

// How a profile file is read: the file is a sequence of lines. A line whose first non-blank
// character is '[' and which holds a ']' starts a section named by the text between them.
// A line holding '=' (and not starting with ';', which marks a comment) is a key: the name is
// the text before the first '=', the value the text after it, both without the blanks
// (spaces, tabs) around them. Every other line is ignored when reading and kept when writing.
// Names are compared without regard to ASCII letter case; the first section of a name and,
// within it, the first key of a name are the ones that count, so later duplicates are
// shadowed.
//
// How it is written: the file is edited as text, line by line, so that everything the edit
// does not concern stays byte for byte as it was, line ends included. The edited file then
// replaces the old one in one step (sys::replaceFile).

namespace platform {

namespace {

constexpr std::string_view blanks = " \t";
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
// A settings file is a few KiB; one larger than this is not read (and not written to). It
// still leaves room for values far longer than anything reads them.
constexpr std::size_t maxProfileSize = 4 * 1024 * 1024;

std::string_view trim(std::string_view text)
{
    auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

struct Line
{
    std::string text; // without its line end
    std::string end;  // "\r\n", "\n", or "" for a last line that has none
};

std::vector<Line> splitLines(std::string_view contents)
{
    std::vector<Line> lines;
    while (!contents.empty()) {
        auto newline = contents.find('\n');
        if (newline == std::string_view::npos) {
            lines.push_back({std::string(contents), ""});
            break;
        }
        bool crlf = newline > 0 && contents[newline - 1] == '\r';
        lines.push_back(
            {std::string(contents.substr(0, newline - (crlf ? 1 : 0))), crlf ? "\r\n" : "\n"});
        contents.remove_prefix(newline + 1);
    }
    return lines;
}

std::string joinLines(const std::vector<Line>& lines)
{
    std::string contents;
    for (const auto& line : lines)
        contents += line.text + line.end;
    return contents;
}

// The line end that new lines get: the one the file already uses, CR LF in a file that has
// none yet (as Windows writes them).
std::string lineEndOf(std::string_view contents)
{
    auto newline = contents.find('\n');
    if (newline == std::string_view::npos)
        return "\r\n";
    return newline > 0 && contents[newline - 1] == '\r' ? "\r\n" : "\n";
}

struct ParsedLine
{
    enum class Kind
    {
        Other,
        Section,
        Key
    } kind = Kind::Other;
    std::string_view name;
    std::string_view value;
    std::size_t valueStart = 0; // offset in the line where the value (or the end of line) begins
};

ParsedLine parseLine(std::string_view text)
{
    // A byte-order mark, left by editors that save UTF-8, must not hide the first section.
    std::string_view rest = text;
    if (rest.starts_with(byteOrderMark))
        rest.remove_prefix(byteOrderMark.size());
    rest = rest.substr(std::min(rest.size(), rest.find_first_not_of(blanks)));

    if (rest.starts_with('[')) {
        auto close = rest.find(']');
        if (close != std::string_view::npos)
            return {ParsedLine::Kind::Section, trim(rest.substr(1, close - 1)), {}, 0};
        return {};
    }
    if (rest.starts_with(';'))
        return {};
    auto equals = text.find('=');
    if (equals == std::string_view::npos)
        return {};
    std::size_t nameStart = text.size() - rest.size();
    std::string_view name = trim(text.substr(nameStart, equals - nameStart));
    std::size_t valueStart = text.find_first_not_of(blanks, equals + 1);
    if (valueStart == std::string_view::npos)
        valueStart = text.size();
    return {ParsedLine::Kind::Key, name, trim(text.substr(valueStart)), valueStart};
}

bool isSection(const Line& line, std::string_view name)
{
    auto parsed = parseLine(line.text);
    return parsed.kind == ParsedLine::Kind::Section && equalsNoCase(parsed.name, name);
}

std::optional<std::size_t> findSection(const std::vector<Line>& lines, std::string_view name)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (isSection(lines[i], name))
            return i;
    }
    return std::nullopt;
}

// One past the last line of the section whose header is at index header.
std::size_t sectionEnd(const std::vector<Line>& lines, std::size_t header)
{
    for (std::size_t i = header + 1; i < lines.size(); ++i) {
        if (parseLine(lines[i].text).kind == ParsedLine::Kind::Section)
            return i;
    }
    return lines.size();
}

bool isKey(const Line& line, std::string_view name)
{
    auto parsed = parseLine(line.text);
    return parsed.kind == ParsedLine::Kind::Key && equalsNoCase(parsed.name, name);
}

std::optional<std::string> lookUp(std::string_view contents, std::string_view section,
                                  std::string_view key)
{
    auto lines = splitLines(contents);
    auto header = findSection(lines, trim(section));
    if (!header)
        return std::nullopt;
    for (std::size_t i = *header + 1, end = sectionEnd(lines, *header); i < end; ++i) {
        if (isKey(lines[i], trim(key)))
            return std::string(parseLine(lines[i].text).value);
    }
    return std::nullopt;
}

// Gives the last line the line end it lacks. A last line that ends in a lone carriage return
// gets CR LF whatever the file uses: with a bare LF its own CR would become part of the line
// end, and the line would read differently.
void endLine(Line& line, const std::string& lineEnd)
{
    line.end = line.text.ends_with('\r') ? "\r\n" : lineEnd;
}

// Inserts a line before index at, keeping a missing final line end missing.
void insertLine(std::vector<Line>& lines, std::size_t at, std::string text,
                const std::string& lineEnd)
{
    Line line{std::move(text), lineEnd};
    if (at > 0 && lines[at - 1].end.empty()) {
        endLine(lines[at - 1], lineEnd);
        line.end.clear();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

// The file's contents after the write, or nothing when the write changes nothing.
std::optional<std::string> edit(std::string_view contents, std::string_view section,
                                const char* key, const char* value)
{
    auto lines = splitLines(contents);
    std::string lineEnd = lineEndOf(contents);

    if (!key) {
        // Every section of that name goes, or the next one would step into its place.
        std::vector<Line> kept;
        bool inside = false;
        for (auto& line : lines) {
            if (parseLine(line.text).kind == ParsedLine::Kind::Section)
                inside = isSection(line, section);
            if (!inside)
                kept.push_back(std::move(line));
        }
        if (kept.size() == lines.size())
            return std::nullopt;
        return joinLines(kept);
    }

    std::string_view name = trim(key);
    auto header = findSection(lines, section);
    if (!header) {
        if (!value)
            return std::nullopt;
        if (!lines.empty() && lines.back().end.empty())
            endLine(lines.back(), lineEnd);
        lines.push_back({"[" + std::string(section) + "]", lineEnd});
        lines.push_back({std::string(name) + "=" + value, lineEnd});
        return joinLines(lines);
    }

    std::size_t end = sectionEnd(lines, *header);
    if (!value) {
        // Every copy of the key in the section goes, or a shadowed one would come to light.
        std::size_t removed = 0;
        for (std::size_t i = end; i-- > *header + 1;) {
            if (isKey(lines[i], name)) {
                if (i + 1 == lines.size() && i > 0)
                    lines[i - 1].end = lines[i].end;
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
                ++removed;
            }
        }
        return removed ? std::optional(joinLines(lines)) : std::nullopt;
    }

    std::size_t lastKey = *header;
    for (std::size_t i = *header + 1; i < end; ++i) {
        auto parsed = parseLine(lines[i].text);
        if (parsed.kind != ParsedLine::Kind::Key)
            continue;
        if (equalsNoCase(parsed.name, name)) {
            // The key keeps its spelling, indentation and the blanks around '='.
            std::string replaced = lines[i].text.substr(0, parsed.valueStart) + value;
            if (replaced == lines[i].text)
                return std::nullopt;
            lines[i].text = std::move(replaced);
            return joinLines(lines);
        }
        lastKey = i;
    }
    insertLine(lines, lastKey + 1, std::string(name) + "=" + value, lineEnd);
    return joinLines(lines);
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A write that would put a name or value into the file that does not read back as the same
// name or value, or that would break a line and so slip other sections or keys into the file,
// is refused.
bool writable(std::string_view section, const char* key, const char* value)
{
    if (hasLineBreak(section) || section.find(']') != std::string_view::npos)
        return false;
    if (key) {
        std::string_view name = trim(key);
        if (hasLineBreak(name) || name.find('=') != std::string_view::npos ||
            name.starts_with('[') || name.starts_with(';') || name.starts_with(byteOrderMark))
            return false;
    }
    return !value || !hasLineBreak(value);
}

std::string profilePath(const std::string& fileName)
{
    bool hasDirectory = fileName.find_first_of("/\\") != std::string::npos ||
                        (fileName.size() >= 2 && fileName[1] == ':');
    if (hasDirectory)
        return mapDosPath(fileName);
    return GetWindowsDirectoryA() + "/" + fileName;
}

std::optional<std::string> readValue(const std::string& section, const std::string& key,
                                     const std::string& fileName)
{
    auto contents = sys::readFile(profilePath(fileName), maxProfileSize);
    if (contents.isError())
        return std::nullopt;
    auto value = lookUp(contents.value(), section, key);
    // Like Windows, a value quoted as a whole is returned without its quotes, so that a value
    // can keep blanks at its ends.
    if (value && value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
        value->back() == value->front())
        return value->substr(1, value->size() - 2);
    return value;
}

std::string cutToBuffer(std::string text, std::size_t bufferSize)
{
    if (text.size() >= bufferSize)
        text.resize(bufferSize > 0 ? bufferSize - 1 : 0);
    return text;
}

} // namespace

std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& fileName,
                                     std::size_t bufferSize)
{
    auto value = readValue(section, key, fileName);
    if (!value) {
        // Windows drops the trailing blanks of a default.
        auto last = defaultValue.find_last_not_of(blanks);
        value = defaultValue.substr(0, last == std::string::npos ? 0 : last + 1);
    }
    return cutToBuffer(std::move(*value), bufferSize);
}

int GetPrivateProfileIntA(const std::string& section, const std::string& key, int defaultValue,
                          const std::string& fileName)
{
    auto value = readValue(section, key, fileName);
    // Windows cannot tell an empty value from a missing one here, and gives the default.
    if (!value || value->empty())
        return defaultValue;
    std::string_view digits = *value;
    bool negative = digits.starts_with('-');
    if (negative || digits.starts_with('+'))
        digits.remove_prefix(1);
    // Accumulated as a magnitude and held at the ends of int, so that an absurdly long
    // number gives the nearest int instead of overflowing.
    long long magnitude = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            break;
        magnitude = std::min(magnitude * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative)
        return static_cast<int>(-magnitude);
    return static_cast<int>(std::min(magnitude, static_cast<long long>(INT_MAX)));
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const std::string& fileName)
{
    if (!section)
        return !key && !value; // a flush: nothing is held back to flush
    std::string_view name = trim(section);
    if (!writable(name, key, value))
        return false;

    std::string path = profilePath(fileName);
    auto contents = sys::readFile(path, maxProfileSize);
    if (contents.isError() && contents.error().code != ENOENT)
        return false; // an unreadable file must not be overwritten with our one key
    std::string_view old = contents.isError() ? std::string_view() : contents.value();

    auto edited = edit(old, name, key, value);
    if (!edited)
        return true;
    return !sys::replaceFile(path, *edited).isError();
}

std::string GetProfileStringA(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize)
{
    return GetPrivateProfileStringA(section, key, defaultValue, "WIN.INI", bufferSize);
}

bool WriteProfileStringA(const char* section, const char* key, const char* value)
{
    return WritePrivateProfileStringA(section, key, value, "WIN.INI");
}

} // namespace platform
