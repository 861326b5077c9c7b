#include "ui/framework/StoreFile.h"

#include "platform/System.h"

#include <algorithm>
#include <cstdint>
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

// Node flags.
constexpr std::int64_t zlibCompressed = 0x01;
constexpr std::int64_t directory = 0x02;
constexpr std::int64_t zstdCompressed = 0x04;

// The size that a compressed entry says it unpacks to, or -1 when it says none. zlib data
// starts with that size, four bytes big-endian; a zstd frame may carry it in its header, in
// 1, 2, 4 or 8 bytes little-endian after the header's descriptor, window and dictionary bytes.
std::int64_t unpackedSize(std::string_view data, std::int64_t flags)
{
    if (flags == zlibCompressed)
        return data.size() < 4 ? -1 : bigEndian32(data, 0);
    if (flags != zstdCompressed || data.size() < 5 || !data.starts_with("\x28\xB5\x2F\xFD"))
        return -1;
    const auto descriptor = static_cast<unsigned char>(data[4]);
    const bool singleSegment = descriptor & 0x20;
    // libzstd refuses a frame with the reserved bit set, or whose window exceeds 2^31 bytes.
    if (descriptor & 0x08 || (!singleSegment && (data.size() < 6 || (data[5] & 0xFF) >> 3 > 21)))
        return -1;
    const int sizeBytes[] = {singleSegment ? 1 : 0, 2, 4, 8};
    const int dictionaryBytes[] = {0, 1, 2, 4};
    const std::size_t at = 5 + (singleSegment ? 0 : 1) + dictionaryBytes[descriptor & 3];
    const int length = sizeBytes[descriptor >> 6];
    if (length == 0 || at + length > data.size())
        return -1;
    std::uint64_t size = 0;
    for (int i = length; i-- > 0;)
        size = size << 8 | static_cast<unsigned char>(data[at + i]);
    return static_cast<std::int64_t>(std::min<std::uint64_t>(size, INT32_MAX)) +
           (length == 2 ? 256 : 0);
}

} // namespace

// An rcc file is a header ("qres", version, then the offsets of the tree, the data and the
// names; version 3 adds four bytes of flags), the data, the names and last the tree of nodes.
// Qt trusts what the file says: it reads the root's children without asking whether the root
// is a folder, follows every offset, and allocates what a compressed entry declares. So every
// node, name and data block the tree refers to must lie within the file, the root must be a
// folder, and no entry may be larger than the bound.
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
    if (version < 1 || version > 3 || (version == 3 && size < 24) || tree > size || data > size ||
        names > size)
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
        const std::int64_t flags = bigEndian16(file, node + 4);
        if (flags & ~(zlibCompressed | directory | zstdCompressed) ||
            (index == 0 && flags != directory))
            return false;
        if (flags & directory) {
            const std::int64_t children = bigEndian32(file, node + 6);
            const std::int64_t first = bigEndian32(file, node + 10);
            if (flags != directory || children > nodeCount || first + children > nodeCount)
                return false;
            for (std::int64_t child = 0; child < children; ++child)
                pending.push_back(first + child);
            continue;
        }
        const std::int64_t block = data + bigEndian32(file, node + 10);
        if (block + 4 > size)
            return false;
        const std::int64_t stored = bigEndian32(file, block);
        if (block + 4 + stored > size || stored > std::int64_t(maxStoreEntrySize))
            return false;
        if (flags != 0) {
            const std::int64_t unpacked = unpackedSize(file.substr(block + 4, stored), flags);
            if (unpacked < 0 || unpacked > std::int64_t(maxStoreEntrySize))
                return false;
        }
    }
    return true;
}

bool IsSoundStoreFile(const std::string& path)
{
    auto bytes = platform::sys::readFile(path, maxStoreFileSize);
    return !bytes.isError() && IsWholeResourceFile(bytes.value());
}

} // namespace ui
