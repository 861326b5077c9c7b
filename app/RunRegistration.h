#pragma once

namespace ui {
class UI_APPLICATION;
}

// Runs the registration once: 0 after any run in which the resource store opened, -1 when it
// could not be opened.
int RunRegistration(ui::UI_APPLICATION& application);
