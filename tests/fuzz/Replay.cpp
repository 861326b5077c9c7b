// Without libFuzzer: replays the files given and those in the folders given.

#include "tests/fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i)
        if (std::filesystem::is_directory(argv[i]))
            inputs.insert(inputs.end(), std::filesystem::directory_iterator(argv[i]), {});
        else
            inputs.emplace_back(argv[i]);
    for (const auto& input : inputs) {
        const std::string bytes = fuzz::readFile(input);
        std::printf("%s\n", input.c_str());
        std::fflush(stdout);
        if (LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size()) != 0)
            return 1;
    }
    return inputs.empty();
}
