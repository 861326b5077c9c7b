// The registration assistant's entry point: builds the application object, runs the
// registration once and returns its result as the exit code.

#include "app/RunRegistration.h"
#include "ui/Application.h"

int main(int argc, char** argv)
{
    return ui::RunApplication(argc, argv, RunRegistration);
}
