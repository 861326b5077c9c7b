#pragma once

// The file search path: where resource files named without a directory are looked for.

#include <string>
#include <vector>

namespace ui {

class UI_PATH
{
public:
    // Builds the path in this order: the working directory now, the program file's
    // directory, then each directory of $ZINC_PATH and of $PATH. The lists are split at ";"
    // and, because Linux lists use it, also at ":".
    UI_PATH();
    explicit UI_PATH(std::vector<std::string> directories) : m_directories(std::move(directories))
    {}

    const std::vector<std::string>& Directories() const { return m_directories; }
    // The entry at index, or an empty text past the end.
    std::string Entry(std::size_t index) const;

    // The first directory that holds a regular file of that name, joined with the name;
    // empty when none does. A name with a directory is taken as it stands.
    std::string Find(const std::string& fileName) const;

    // The directory part of a program file's path: cut at the last separator, which stays
    // only when it is the root.
    static std::string DirectoryOf(const std::string& filePath);
    // Splits a list of directories at ";" and ":", dropping empty entries.
    static std::vector<std::string> SplitList(const std::string& list);

private:
    std::vector<std::string> m_directories;
};

} // namespace ui
