#include "net/InternetRegistration.h"
#include "tests/fuzz/Fuzz.h"

static int hex(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -999;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string path = registrationRequestPath(text);
    for (unsigned char c : path)
        FUZZ_CHECK(c > ' ' && c != 0x7F);
    FUZZ_CHECK(path.starts_with("/storeregistrants.php3?"));
    std::string_view query = std::string_view(path).substr(23);
    std::size_t line = text.find('\n');
    for (std::string_view key :
         {"firstname", "lastname", "street", "city", "state", "zip", "phone", "country", "email",
          "serialnumber", "purchasedfrom", "reasonpurchased", "datepurchased", "version", "os",
          "productname", "sendmailings"}) {
        const std::size_t end = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, end);
        query.remove_prefix(std::min(end + 1, query.size()));
        FUZZ_CHECK(pair.starts_with(std::string(key) + "="));
        std::string value;
        for (std::size_t i = key.size() + 1; i < pair.size(); ++i) {
            FUZZ_CHECK(pair[i] != '=' && pair[i] != '?' && pair[i] != '#');
            const bool escape =
                pair[i] == '%' && i + 2 < pair.size() && hex(pair[i + 1]) + hex(pair[i + 2]) >= 0;
            value += escape           ? char(hex(pair[i + 1]) * 16 + hex(pair[i + 2]))
                     : pair[i] == '+' ? ' '
                                      : pair[i];
            FUZZ_CHECK(escape || pair[i] != '%');
            i += escape ? 2 : 0;
        }
        const std::size_t start = std::min(line, text.size() - 1) + 1;
        line = text.find('\n', start);
        const std::string_view expected = text.substr(start, std::min(line, text.size()) - start);
        FUZZ_CHECK(value == (expected.empty() ? "none" : expected));
    }
    FUZZ_CHECK(query.empty());
    return 0;
}
