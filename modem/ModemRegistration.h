#pragma once

struct ProgramRecord;

// The modem channel: finds the modem, dials the registration server and sends the
// information file, asking the user at each failure whether to try again. Stores the outcome
// in registrationSent; a dialing window the user cancelled leaves registrationCancelled at 1.
void ModemRegistration(ProgramRecord& record);
