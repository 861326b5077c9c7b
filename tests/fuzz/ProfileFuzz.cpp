#include "platform/Profile.h"
#include "tests/fuzz/Fuzz.h"

namespace {

std::string trimmed(std::string_view text)
{
    const auto first = std::min(text.find_first_not_of(" \t"), text.size());
    return std::string(text.substr(first, text.find_last_not_of(" \t") + 1 - first));
}

bool sameName(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    };
    return std::ranges::equal(trimmed(a), trimmed(b), {}, lower, lower);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto f = fuzz::fields(data, size, 6);
    const std::string path = (fuzz::scratch() / "profile.ini").string();
    std::ofstream(path, std::ios::binary) << f[5];
    const auto get = [&](const std::string& section, const std::string& key) {
        return platform::GetPrivateProfileStringA(section, key, "(none)", path, SIZE_MAX);
    };
    const std::string other = get(f[3], f[4]);
    if (!platform::WritePrivateProfileStringA(f[0].c_str(), f[1].c_str(), f[2].c_str(), path))
        return 0;
    const std::string &old = f[5], now = fuzz::readFile(path);
    const auto prefix = std::ranges::mismatch(old, now).in1 - old.begin();
    const auto suffix =
        std::mismatch(old.rbegin(), old.rend() - prefix, now.rbegin(), now.rend() - prefix).first -
        old.rbegin();
    FUZZ_CHECK(old.find('\n', prefix) >= old.size() - suffix);
    std::string value = trimmed(f[2]);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    FUZZ_CHECK(get(f[0], f[1]) == value);
    FUZZ_CHECK((sameName(f[0], f[3]) && sameName(f[1], f[4])) || get(f[3], f[4]) == other);
    return 0;
}
