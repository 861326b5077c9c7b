// The main function of the GUI test programs: the application object lives for the whole run,
// as it does in the program, and the tests run inside it.

#include "ui/Application.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform warns of every window feature it lacks; those warnings say nothing
// about the program.
void quietOffscreenWarnings(QtMsgType type, const QMessageLogContext& context,
                            const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (standardHandler)
        standardHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    standardHandler = qInstallMessageHandler(quietOffscreenWarnings);
    ui::UI_APPLICATION application(argc, argv);
    return RUN_ALL_TESTS();
}
