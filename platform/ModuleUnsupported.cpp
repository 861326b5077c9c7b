#include "platform/Module.h"

namespace platform {

// FIXME: No way to find the program file on this platform yet; callers treat an empty name
// as unknown.
std::string GetModuleFileNameA()
{
    return {};
}

} // namespace platform
