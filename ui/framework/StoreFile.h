#pragma once

// The check that a resource store file is whole, without Qt: the program's quick start and
// the fuzzers use it as well as the resource store itself.

#include <string>
#include <string_view>

namespace ui {

// True when the bytes are a binary Qt resource whose every node, name and data block lies
// within them.
bool IsWholeResourceFile(std::string_view file);

// Reads the file at path and checks it as above.
bool IsSoundStoreFile(const std::string& path);

} // namespace ui
