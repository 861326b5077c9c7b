#pragma once

// The check that a resource store file is whole, without Qt: the program's quick start and
// the fuzzers use it as well as the resource store itself.

#include <cstddef>
#include <string>
#include <string_view>

namespace ui {

// The largest store file that is read, and the largest entry a store may hold, stored or
// unpacked. The program's own stores are a few KiB; Qt allocates what an entry declares
// before it unpacks it, so a declared size is believed only up to this bound.
inline constexpr std::size_t maxStoreFileSize = 16 * 1024 * 1024;
inline constexpr std::size_t maxStoreEntrySize = 16 * 1024 * 1024;

// True when the bytes are a binary Qt resource that Qt can walk without leaving them: the
// root is a folder, every node, name and data block lies within the bytes, every folder's
// children are nodes of the tree, and no entry holds or unpacks to more than maxStoreEntrySize.
bool IsWholeResourceFile(std::string_view file);

// Reads the file at path, when it is a regular file of at most maxStoreFileSize bytes, and
// checks it as above.
bool IsSoundStoreFile(const std::string& path);

} // namespace ui
