#pragma once

// printf-style formatting into a string of whatever length the result needs.

#include <cstdarg>
#include <string>

namespace ui {

std::string vformat(const char* format, va_list arguments) __attribute__((format(printf, 1, 0)));
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace ui
