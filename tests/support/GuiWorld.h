#pragma once

// A TestWorld for a GUI test, with the resource store opened from the build's output folder.

#include "tests/support/TestWorld.h"
#include "ui/Application.h"
#include "ui/MessageWindow.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Event.h"
#include "ui/testing/ScriptedUser.h"

#include <QProcess>

#include <gmock/gmock.h>

#include <memory>

namespace testsupport {

// The folder of the built program and its resource files.
inline std::string binaryDirectory()
{
    const char* directory = std::getenv("REGISTER_BIN_DIR");
    return directory ? directory : ".";
}

// "title | text" of each message window the user acted on, in order.
inline std::vector<std::string> boxesSeen(const ui::ScriptedUser& user)
{
    std::vector<std::string> seen;
    for (const auto& sighting : user.sightings())
        if (!sighting.text.isEmpty())
            seen.push_back((sighting.title + " | " + sighting.text).toStdString());
    return seen;
}

// What a poppler tool ("pdftotext", "pdfinfo") prints; fails the test when it fails.
inline std::string popplerOutput(const char* tool, QStringList arguments)
{
    QProcess process;
    process.start(QString::fromLatin1(tool), arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << tool;
    EXPECT_EQ(process.exitCode(), 0) << tool << ": " << process.readAllStandardError().data();
    return process.readAllStandardOutput().toStdString();
}

class GuiWorld
{
public:
    GuiWorld()
    {
        ui::application()->searchPath = ui::UI_PATH({binaryDirectory()});
        m_store.reset(ui::OpenResourceStore());
        EXPECT_EQ(m_store->Error(), 0) << "ROBJECTS.DAT not found in " << binaryDirectory();
    }
    ~GuiWorld() // a failed test may leave windows behind; the next test starts with none
    {
        ui::StatusWindow(nullptr, nullptr);
        auto* manager = ui::UIW_WINDOW::windowManager;
        while (ui::UIW_WINDOW* window = manager->First()) {
            manager->Subtract(window);
            if (window->DestroyOnClose())
                delete window;
        }
        ui::UIW_WINDOW::defaultStorage = nullptr;
        ui::resourceStore = nullptr;
    }
    TestWorld& files() { return m_files; }

private:
    TestWorld m_files;
    std::unique_ptr<ui::ResourceStore> m_store;
};

} // namespace testsupport
