#include "registrant/InformationFile.h"
#include "tests/fuzz/Fuzz.h"

static InformationFileReader reader(std::string_view file, std::size_t readSize)
{
    return InformationFileReader([file, readSize](char* buffer, std::size_t size) mutable {
        const std::size_t count = std::min({readSize, size, file.size()});
        file.remove_prefix(std::copy_n(file.data(), count, buffer) - buffer);
        return count;
    });
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string text(file.substr(0, file.find('\x1A')));
    std::erase(text, '\r');
    auto whole = reader(file, SIZE_MAX), pieces = reader(file, data[0] % 16 + 1);
    for (std::size_t start = 0, end = 0; end != text.npos; start = end + 1) {
        end = text.find('\n', start);
        std::string line = text.substr(start, std::min(end - start, std::size_t(199)));
        line.resize(std::min(line.size(), line.find('\0')));
        FUZZ_CHECK(!whole.atEnd() && ReadInformationLine(whole) == line &&
                   ReadInformationLine(pieces) == line);
    }
    FUZZ_CHECK(whole.atEnd() && pieces.atEnd());

    auto again = reader(file, SIZE_MAX), piecesAgain = reader(file, data[0] % 16 + 1);
    const std::vector<FieldValue> answers = loadPreviousAnswers(again);
    FUZZ_CHECK(answers == loadPreviousAnswers(piecesAgain));
    std::vector<std::string_view> fields,
        all = {"FIRST_NAME", "LAST_NAME", "STREET",  "CITY",  "STATE",
               "ZIP",        "PHONE",     "COUNTRY", "EMAIL", "PURCHASED_FROM"};
    for (const FieldValue& answer : answers)
        fields.push_back(answer.field);
    FUZZ_CHECK(fields.empty() || fields == all || (all.erase(all.begin() + 7), fields == all));
    return 0;
}
