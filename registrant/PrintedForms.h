#pragma once

// The paper channel: the fax page and the mail-in page, printed from the record in memory.
// A page that reaches the printer counts as delivered: both set registrationSent.

void PrintFaxForm();
void PrintMailForm();
