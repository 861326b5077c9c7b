#include "registrant/PrintedForms.h"

// FIXME: The paper channel is not built yet; until it is, nothing is printed and the
// registration counts as not sent.
void PrintFaxForm() {}
void PrintMailForm() {}
