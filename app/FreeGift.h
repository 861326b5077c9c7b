#pragma once

// The free gift after a registration: a six-month trial of Remindo, installed from the
// product CD.

// The drive letter of the product CD, upper case, as the drive file beside the program last
// named it; '\0' until a drive file has been read.
extern char cdDriveLetter;

// Announces the gift, removes the program's auto-start entry, asks for the CD when it is not
// in its drive, starts the gift's installer from it and leaves the flag file "remindo.flg"
// for the installer. Every step is shown to the user; nothing is returned.
void OfferFreeGift();

// Reads the CD's drive letter from the file "drive" in the program's directory into
// cdDriveLetter and looks for the CD's identification file on that drive. True when the CD
// is missing.
bool CheckProductCd();
