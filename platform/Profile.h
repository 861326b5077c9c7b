#pragma once

// Windows profile (INI) files, read and written with the semantics of the Win32 profile API:
// section and key names are compared without regard to case, the first matching section and
// key win, blanks around a value are trimmed, and a write replaces only the line of its own
// key, keeping every other byte of the file (comments, order, unknown lines, CR LF line ends).
//
// The finer points, as Windows has them unless said otherwise:
// - A line that starts with ';' is a comment, never a key. Lines that are neither a section,
//   a key nor a comment are ignored when reading and kept when writing.
// - A value enclosed in a matching pair of double or single quotes is returned without them.
// - Lines end in LF or CR LF; new lines take the ending the file already uses (CR LF in a new
//   file), and a replaced key keeps its spelling and the blanks around its '='.
// - A missing key is added after the last key of its section, a missing section at the end of
//   the file; only the first section of a name is written to.
// - Deleting removes every section of the name, or every copy of the key in that first section,
//   so that no shadowed duplicate comes to light afterwards.
// - The file is replaced through a temporary file and a rename, so a failed write leaves the
//   old file whole. A write is refused (false) that would break a line (a line feed or carriage
//   return in a name or value) or would not read back (a ']' in a section name, a '=' in a key
//   name, a key name that starts with '[', ';' or a UTF-8 byte-order mark), as is one to a
//   read-only or unreadable file.
// - Only a regular file of at most 4 MiB is read: a named pipe, a device or a larger file counts
//   as unreadable (the defaults are read, and nothing is written to it).
//
// A file name without a directory names a file in the Windows directory (WindowsDirectory.h);
// one with a directory is a Windows path, mapped by mapDosPath (DosDevices.h).

#include <cstddef>
#include <string>

namespace platform {

// The value of [section] key, or defaultValue when the file, section or key is missing.
// Like the Win32 call, the result is cut to fit a buffer of bufferSize bytes (terminator
// included), so at most bufferSize - 1 characters are returned. Blanks at the end of the
// default are dropped.
std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& fileName,
                                     std::size_t bufferSize = 256);

// The leading decimal digits of [section] key as a number, after an optional sign; 0 when the
// value starts with anything else; defaultValue when the key is missing or its value is empty.
// Numbers beyond the range of int give its nearest end.
int GetPrivateProfileIntA(const std::string& section, const std::string& key, int defaultValue,
                          const std::string& fileName);

// Writes [section] key=value, creating the key, the section or the file as needed.
// A null key removes the whole section; a null value removes the key; a null section with
// null key and value is a flush (see below). Returns false when the file cannot be written.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const std::string& fileName);

// The same on the user's WIN.INI. WriteProfileStringA with three null arguments flushes the
// profile cache; writes here reach the disk at once, so the flush only reports success.
std::string GetProfileStringA(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize = 256);
bool WriteProfileStringA(const char* section, const char* key, const char* value);

} // namespace platform
