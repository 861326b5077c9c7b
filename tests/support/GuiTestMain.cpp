// The GUI tests run inside one application object, as the program does.

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
