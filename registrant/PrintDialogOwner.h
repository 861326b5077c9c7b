#pragma once

// The window that owns the print dialog: recorded by the country window when it is built, read
// by the printed forms. It may be no window at all (null); the print dialog works without one.

class QWidget;

QWidget* printDialogOwner();
void setPrintDialogOwner(QWidget* owner);
