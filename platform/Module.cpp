#include "platform/Module.h"

#include <atomic>

namespace platform {

std::uint32_t GetVersion()
{
    return 0;
}

unsigned SetErrorMode(unsigned mode)
{
    static std::atomic<unsigned> current{0};
    return current.exchange(mode);
}

} // namespace platform
