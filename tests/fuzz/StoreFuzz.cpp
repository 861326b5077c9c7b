#include "tests/fuzz/Fuzz.h"
#include "ui/framework/StoreFile.h"

extern "C" unsigned long long ZSTD_getFrameContentSize(const void* source, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!ui::IsWholeResourceFile({reinterpret_cast<const char*>(data), size}))
        return 0;
    const auto read = [&](std::uint64_t at, int length) {
        FUZZ_CHECK(at + length <= size);
        std::uint64_t value = 0;
        for (int i = 0; i < length; ++i)
            value = value << 8 | data[at + i];
        return value;
    };
    const std::uint64_t version = read(4, 4), tree = read(8, 4), blocks = read(12, 4);
    const std::uint64_t names = read(16, 4), nodeSize = version >= 2 ? 22 : 14;
    read(20, version >= 3 ? 4 : 0);
    std::vector<std::uint64_t> pending{0};
    for (std::size_t visits = 0; !pending.empty(); ++visits) {
        const std::uint64_t index = pending.back(), node = tree + index * nodeSize;
        pending.pop_back();
        const std::uint64_t name = names + read(node, 4), flags = read(node + 4, 2);
        read(name + 2, 4);
        FUZZ_CHECK(visits <= size && name + 6 + 2 * read(name, 2) <= size);
        read(node + nodeSize - 1, 1);
        if (index == 0 || flags & 0x02) {
            const std::uint64_t count = read(node + 6, 4), first = read(node + 10, 4);
            FUZZ_CHECK(count <= size);
            for (std::uint64_t child = 0; child < count; ++child)
                pending.push_back(first + child);
            continue;
        }
        const std::uint64_t block = blocks + read(node + 10, 4), stored = read(block, 4);
        FUZZ_CHECK(stored <= ui::maxStoreEntrySize);
        read(block + 4, int(stored));
        if (flags & 0x01)
            FUZZ_CHECK(read(block + 4, 4) <= ui::maxStoreEntrySize);
        if (flags & 0x04)
            FUZZ_CHECK(ZSTD_getFrameContentSize(data + block + 4, stored) <= ui::maxStoreEntrySize);
    }
    return 0;
}
