#pragma once

// The one program-wide record: what the buyer typed into the form and chose in the country
// and method windows (RegistrantRecord), followed by the installation settings
// (RegistrationSettings). The windows and channels read and write it directly; results travel
// in the flags below, never in return values.

#include "registrant/Text.h"

#include <cstdint>
#include <string>

struct RegistrationMethod
{
    std::int32_t internet = 0;
    std::int32_t modem = 0;
    std::int32_t mail = 0;
    std::int32_t fax = 0;
};

// Values of CountryChoice.
inline constexpr std::int32_t countryUsa = 0;
inline constexpr std::int32_t countryCanada = 1;
inline constexpr std::int32_t countryOther = 2;

struct RegistrantRecord
{
    Text<75> firstname;
    Text<150> lastname;
    Text<150> street;
    Text<75> city;
    Text<75> state;
    Text<75> zip;
    Text<150> country;
    Text<75> email;
    Text<150> phone; // as the form shows it, template characters included
    // Non-zero: the buyer does not want the name passed on to other mailing lists.
    std::int32_t sendmailings = 0;
    RegistrationMethod registrationMethod;
    std::int32_t CountryChoice = countryUsa;
    std::int32_t serialnumber = 0;
    Text<75> purchasedfrom;
    Text<75> reasonpurchased;
};

struct RegistrationSettings
{
    Text<150> ProductName; // stored cut to 75 characters of the 150-byte field
    Text<75> Date;         // DD-MON-YY
    Text<75> osName;
    std::int32_t Installed = 0;
    std::uint16_t ComPort = 0; // 1 = COM1, 0 = none configured
    std::int16_t IRQ = 0;
    Text<75> InitString;
    Text<75> InitString2;
    Text<75> TestString;
    Text<75> DialString;
    Text<75> Pulse;
    Text<75> Tone;
    Text<75> OffLine;
    Text<75> HangUp;
    Text<75> CallWaitingPulse;
    Text<75> CallWaitingTone;
    Text<75> DialToneOn;
    Text<75> DialToneOff;
    Text<75> PhoneNumber;
    Text<75> AltPhoneNumber;
    std::int32_t Mode = 0; // 1 = pulse dialing, 0 = tone dialing
    Text<75> OutsideNumber;
    std::int32_t CallWaiting = 0;
    Text<75> DialToneCommand; // filled by the modem channel from DialToneOn
};

struct ProgramRecord
{
    RegistrantRecord registrant;
    RegistrationSettings settings;
};

// The record of this process.
extern ProgramRecord programRecord;
inline RegistrantRecord& registrantRecord()
{
    return programRecord.registrant;
}

// 1 when the buyer abandoned the form, the method window or the dialing settings window.
extern std::int32_t registrationCancelled;
// 1 once the registration has been delivered (printing counts as delivered).
extern std::int32_t registrationSent;
// 1 until the one warning about the Where Purchased field has been shown.
extern std::int32_t storeWarningPending;

// The directory of the program file, or the per-user folder when that cannot be written
// (app/FileFolders.h): where the program writes its files, and the working directory from
// start-up on.
extern std::string programDirectory;

// Puts the record and the flags back as they are at process start; for tests.
void resetProgramState();
