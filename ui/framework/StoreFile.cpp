#include "ui/framework/StoreFile.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace ui {

namespace {

std::int64_t bigEndian32(std::string_view bytes, std::int64_t at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::int64_t bigEndian16(std::string_view bytes, std::int64_t at)
{
    return static_cast<unsigned char>(bytes[at]) << 8 | static_cast<unsigned char>(bytes[at + 1]);
}

} // namespace

// An rcc file is a header ("qres", version, then the offsets of the tree, the data and the
// names), the data, the names and last the tree of nodes. Qt trusts the offsets inside, so a
// file cut short registers and then reads past its end. Every node, name and data block the
// tree refers to must lie within the file.
bool IsWholeResourceFile(std::string_view file)
{
    const std::int64_t size = file.size();
    if (size < 20 || !file.starts_with("qres"))
        return false;
    const std::int64_t version = bigEndian32(file, 4);
    const std::int64_t tree = bigEndian32(file, 8);
    const std::int64_t data = bigEndian32(file, 12);
    const std::int64_t names = bigEndian32(file, 16);
    const std::int64_t nodeSize = version >= 2 ? 22 : 14;
    if (version < 1 || version > 3 || tree > size || data > size || names > size)
        return false;
    const std::int64_t nodeCount = (size - tree) / nodeSize;

    std::vector<std::int64_t> pending{0};
    std::int64_t visited = 0;
    while (!pending.empty()) {
        const std::int64_t index = pending.back();
        pending.pop_back();
        // A cycle or a child beyond the end would visit more nodes than the file holds.
        if (index >= nodeCount || ++visited > nodeCount)
            return false;
        const std::int64_t node = tree + index * nodeSize;
        const std::int64_t name = names + bigEndian32(file, node);
        if (name + 6 > size || name + 6 + 2 * bigEndian16(file, name) > size)
            return false;
        const bool directory = bigEndian16(file, node + 4) & 0x02;
        if (directory) {
            const std::int64_t children = bigEndian32(file, node + 6);
            const std::int64_t first = bigEndian32(file, node + 10);
            if (children > nodeCount || first > nodeCount)
                return false;
            for (std::int64_t child = 0; child < children; ++child)
                pending.push_back(first + child);
        } else {
            const std::int64_t block = data + bigEndian32(file, node + 10);
            if (block + 4 > size || block + 4 + bigEndian32(file, block) > size)
                return false;
        }
    }
    return true;
}

bool IsSoundStoreFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return IsWholeResourceFile(bytes);
}

} // namespace ui
