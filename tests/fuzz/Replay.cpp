// Runs a harness over the given files and the files of the given folders, without libFuzzer:
// the normal test run replays each target's seed corpus and regression inputs so.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    std::set<std::filesystem::path> inputs(argv + 1, argv + argc);
    for (int i = 1; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i]) && inputs.erase(argv[i]))
            inputs.insert(std::filesystem::directory_iterator(argv[i]), {});
    }
    for (const auto& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        std::printf("%s\n", input.c_str());
        std::fflush(stdout);
        if (!in || LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                          bytes.size()) != 0)
            return 1;
    }
    return inputs.empty();
}
