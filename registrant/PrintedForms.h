#pragma once

// The paper channel: the fax page and the mail-in page, printed from the record in memory.
// A page that reaches the printer counts as delivered: both set registrationSent. When the
// buyer cancels the print dialog (or it fails), "Unable to print." is shown and nothing else
// changes.

#include <functional>

class QPrinter;

void PrintFaxForm();
void PrintMailForm();

// For tests only: stands in for the print dialog, which a test cannot answer. The replacement
// gets the printer the dialog would set up and returns what the dialog would: true to print,
// false when cancelled. Everything after the dialog is the real printing code. An empty
// function brings back the real dialog.
void setPrintDialogForTesting(std::function<bool(QPrinter&)> dialog);
