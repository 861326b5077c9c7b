#include "net/InternetRegistration.h"

// FIXME: The internet channel is not built yet; until it is, nothing is sent.
void SendInternetRegistration() {}
