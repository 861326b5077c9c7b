#include "registrant/InformationFile.h"
#include "registrant/ProgramRecord.h"
#include "tests/fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> v = fuzz::fields(data, size, 11);
    for (std::string& value : v)
        std::ranges::replace_if(
            value, [](char c) { return c == '\r' || c == '\n' || c == 0x1A; }, ' ');
    RegistrantRecord& r = programRecord.registrant;
    const std::vector<std::string_view> t(v.begin(), v.end());
    r = {t[0], t[1], t[2], t[3], t[4], t[5], t[7], t[8], t[6], 0, {}, 0, 0, t[9], t[10]};
    programDirectory = fuzz::scratch().string();
    FUZZ_CHECK(WriteInformationFile());
    const std::string file = fuzz::readFile(informationFilePath());
    FUZZ_CHECK(std::ranges::count(file, '\n') == 17 && std::ranges::count(file, '\r') == 17 &&
               file.ends_with("\r\n1"));
    if (r.firstname.empty() ||
        (r.firstname.size() == 1 && unsigned(r.firstname.str()[0] - '0') < 5))
        return 0; // a first name the loader skips
    std::vector<FieldValue> want = {
        {"FIRST_NAME", r.firstname.str()}, {"LAST_NAME", r.lastname.str()},
        {"STREET", r.street.str()},        {"CITY", r.city.str()},
        {"STATE", r.state.str()},          {"ZIP", r.zip.str()},
        {"PHONE", r.phone.str()},          {"COUNTRY", r.country.str()},
        {"EMAIL", r.email.str()},          {"PURCHASED_FROM", r.purchasedfrom.str()}};
    want.erase(want.begin() + 7, want.begin() + (r.country.empty() ? 8 : 7));
    FUZZ_CHECK(loadPreviousAnswers(informationFilePath()) == want);
    return 0;
}
