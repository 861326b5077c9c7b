#pragma once

// The question that the registrant form and the modem's dialing window ask before the buyer
// gives up on registering. True when the answer is Yes.
bool confirmCancelRegistration();
