#include "platform/Process.h"

namespace platform {

// FIXME: Starting programs is not supported on this platform; 0 is WinExec's "out of
// resources", a failure like any result up to 31.
unsigned WinExec(const std::string& /*commandLine*/, int /*showCommand*/)
{
    return 0;
}

} // namespace platform
