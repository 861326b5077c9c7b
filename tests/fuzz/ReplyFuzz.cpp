#include "net/InternetRegistration.h"
#include "tests/fuzz/Fuzz.h"

// The judge against its rule, told independently: a reply without carriage returns succeeds
// when "Success" stands in its first 1000 bytes, and CR LF line ends judge as LF ones do.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string plain, crlf;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\r')
            continue;
        plain += char(data[i]);
        crlf += data[i] == '\n' ? "\r\n" : std::string(1, char(data[i]));
    }
    const bool success = plain.substr(0, judgedReplySize).find("Success") != std::string::npos;
    FUZZ_CHECK(ReplySaysSuccess(plain) == success);
    FUZZ_CHECK(ReplySaysSuccess(crlf) == success);
    return 0;
}
