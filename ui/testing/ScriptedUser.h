#pragma once

// A scripted user for tests and demos. It attaches itself to the event manager as its idle
// hook, so it acts exactly where the program would wait for a person: each time the program
// waits, it takes the next step of its script and does it on the real widgets (types into a
// field, chooses a choice, presses a button, answers a message box, closes a window by its
// title bar). Each step names the window that must be in front at that moment, by definition
// name ("DATA_WINDOW") or by title ("Registration"); a step that finds another window in
// front, or a wait with no step left, throws ScriptError describing what is on the screen.

#include <QString>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class QWidget;

namespace ui {

class ScriptError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A window as the scripted user found it in front when it acted.
struct Sighting
{
    QString name;  // definition name, "MessageWindow", or "QMessageBox"
    QString title; // title bar text
    QString text;  // the message of a message window; empty for other windows
};

class ScriptedUser
{
public:
    ScriptedUser();
    ~ScriptedUser();
    ScriptedUser(const ScriptedUser&) = delete;
    ScriptedUser& operator=(const ScriptedUser&) = delete;

    // Replaces the field's text by typing text key by key, as a person would.
    ScriptedUser& type(const QString& window, const char* field, const QString& text);
    // Puts text into the field at once, as a paste would.
    ScriptedUser& paste(const QString& window, const char* field, const QString& text);
    ScriptedUser& choose(const QString& window, const char* choice);
    ScriptedUser& press(const QString& window, int eventCode);
    ScriptedUser& press(const QString& window, const QString& caption);
    // Presses a key on the window's focused widget (Enter, Escape, ...).
    ScriptedUser& key(const QString& window, int qtKey);
    // Answers a message window, or the platform's message box, by a button's caption
    // ("Yes", "No", "OK"); the mnemonic marks are ignored.
    ScriptedUser& answer(const QString& title, const QString& caption);
    ScriptedUser& closeByTitleBar(const QString& window);
    // Looks at the window in front without acting on it.
    ScriptedUser& inspect(const QString& window, std::function<void(QWidget*)> look);

    // Saves a picture of the front window, numbered in order, before every step that leaves
    // it (a button pressed, a box answered, a key, a close), so each shows what the user saw
    // just before acting.
    void savePicturesTo(const QString& directory) { m_pictureDirectory = directory; }

    bool finished() const { return m_next >= m_steps.size(); }
    std::size_t stepsLeft() const { return m_steps.size() - m_next; }
    const std::vector<Sighting>& sightings() const { return m_sightings; }
    const std::vector<QString>& pictures() const { return m_pictures; }

    // The text of a window's field by identifier, as UTF-8 of what it shows.
    static QString fieldText(QWidget* window, const char* field);
    // The message of a message window.
    static QString messageText(QWidget* window);
    // The window that has the user's attention: a platform message box, else the current
    // window of the window manager; null when none is shown.
    static QWidget* frontWindow();

private:
    struct Step
    {
        QString window;
        QString description;
        std::function<void(QWidget*)> act;
        bool leaves = false; // the step ends the user's business with the window
    };
    ScriptedUser& add(const QString& window, QString description, std::function<void(QWidget*)> act,
                      bool leaves = false);
    void takeNextStep();
    void savePicture(QWidget* window);
    static bool matches(QWidget* window, const QString& name);
    static QString describe(QWidget* window);

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    std::vector<Sighting> m_sightings;
    QString m_pictureDirectory;
    std::vector<QString> m_pictures;
};

// Keeps the offscreen platform's warnings about window features it lacks off standard error.
void silenceOffscreenWarnings();

} // namespace ui
