#pragma once

// The modem channel: finds the modem, dials the registration server and sends the
// information file, asking the user at each failure whether to try again. Stores the outcome
// in registrationSent; a dialing window the user cancelled leaves registrationCancelled at 1.

struct ProgramRecord;
struct RegistrationSettings;

void ModemRegistration(ProgramRecord& record);

namespace modem {

// Looks for a modem: the configured ComPort first, then COM9 down to COM1. 1 when one
// answered, with ComPort naming its port; 0 when none did, with ComPort 0.
int FindModem(RegistrationSettings& settings);

// Finds the modem and repeats the dial-up call while the user wants to go on: 1 when the
// information was sent, 0 when not.
int runRetryDriver(RegistrationSettings& settings);

// Puts the module state of the modem channel (the busy-redial counter, the dialing choices)
// back as it is at program start; for tests.
void resetModemState();

} // namespace modem
