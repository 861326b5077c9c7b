// The main function of the GUI test programs: the application object lives for the whole run,
// as it does in the program, and the tests run inside it.

#include "ui/Application.h"
#include "ui/testing/ScriptedUser.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ui::silenceOffscreenWarnings();
    ui::UI_APPLICATION application(argc, argv);
    return RUN_ALL_TESTS();
}
