#include "registrant/ProgramRecord.h"

ProgramRecord programRecord;
std::int32_t registrationCancelled = 0;
std::int32_t registrationSent = 0;
std::int32_t storeWarningPending = 1;
std::string programDirectory;

void resetProgramState()
{
    programRecord = ProgramRecord();
    registrationCancelled = 0;
    registrationSent = 0;
    storeWarningPending = 1;
}
