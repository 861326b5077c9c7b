#include "platform/Module.h"

#include <unistd.h>

namespace platform {

std::string GetModuleFileNameA()
{
    // readlink does not say whether it cut the name, so grow the buffer until it fits.
    std::string name(256, '\0');
    for (;;) {
        ssize_t length = ::readlink("/proc/self/exe", name.data(), name.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < name.size()) {
            name.resize(static_cast<std::size_t>(length));
            return name;
        }
        name.resize(name.size() * 2);
    }
}

} // namespace platform
