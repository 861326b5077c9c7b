#include "registrant/PrintDialogOwner.h"

#include <QPointer>
#include <QWidget>

namespace {

// Guarded, because the country window is long gone when the forms are printed.
QPointer<QWidget> owner;

} // namespace

QWidget* printDialogOwner()
{
    return owner.data();
}

void setPrintDialogOwner(QWidget* window)
{
    owner = window;
}
