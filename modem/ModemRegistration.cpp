#include "modem/ModemRegistration.h"

// FIXME: The modem channel is not built yet; until it is, nothing is sent.
void ModemRegistration(ProgramRecord&) {}
