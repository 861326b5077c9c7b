#include "ui/testing/ScriptedUser.h"

#include "ui/framework/EventManager.h"
#include "ui/framework/Window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>

#include <cstdio>

namespace ui {

namespace {

QString withoutMnemonic(QString caption)
{
    return caption.remove(QLatin1Char('&'));
}

QWidget* childNamed(QWidget* window, const char* name)
{
    auto* child = window->findChild<QWidget*>(QString::fromLatin1(name));
    if (!child) {
        throw ScriptError("window \"" + window->objectName().toStdString() + "\" has no \"" + name +
                          "\"");
    }
    return child;
}

void requireEnabled(QWidget* widget)
{
    if (!widget->isEnabled()) {
        throw ScriptError("\"" + widget->objectName().toStdString() +
                          "\" cannot be entered: it is not selectable");
    }
}

QLineEdit* textEntry(QWidget* window, const char* field)
{
    QWidget* widget = childNamed(window, field);
    requireEnabled(widget);
    if (auto* box = qobject_cast<QComboBox*>(widget); box && box->lineEdit())
        return box->lineEdit();
    if (auto* entry = qobject_cast<QLineEdit*>(widget))
        return entry;
    throw ScriptError(std::string("\"") + field + "\" is no text field");
}

// Types text key by key. QTest knows keys only for ASCII; other characters arrive as a key
// event that carries the character, as an input method delivers them.
void typeText(QWidget* widget, const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QString character = text.mid(i, length);
        i += length;
        if (character.size() == 1 && character[0].unicode() < 0x80) {
            QTest::keyClick(widget, character[0].toLatin1());
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, character);
        QCoreApplication::sendEvent(widget, &press);
        QCoreApplication::sendEvent(widget, &release);
    }
}

} // namespace

ScriptedUser::ScriptedUser()
{
    UIW_WINDOW::eventManager->SetIdleHook([this] { takeNextStep(); });
}

ScriptedUser::~ScriptedUser()
{
    if (UIW_WINDOW::eventManager)
        UIW_WINDOW::eventManager->SetIdleHook({});
}

ScriptedUser& ScriptedUser::add(const QString& window, QString description,
                                std::function<void(QWidget*)> act, bool leaves)
{
    m_steps.push_back({window, std::move(description), std::move(act), leaves});
    return *this;
}

ScriptedUser& ScriptedUser::type(const QString& window, const char* field, const QString& text)
{
    return add(window, QStringLiteral("type \"%1\" into %2").arg(text, field),
               [field, text](QWidget* front) {
                   QLineEdit* entry = textEntry(front, field);
                   entry->setFocus(Qt::OtherFocusReason);
                   entry->selectAll();
                   QTest::keyClick(entry, Qt::Key_Delete);
                   entry->home(false);
                   typeText(entry, text);
               });
}

ScriptedUser& ScriptedUser::paste(const QString& window, const char* field, const QString& text)
{
    return add(window, QStringLiteral("paste \"%1\" into %2").arg(text, field),
               [field, text](QWidget* front) {
                   QLineEdit* entry = textEntry(front, field);
                   entry->setFocus(Qt::OtherFocusReason);
                   entry->selectAll();
                   entry->insert(text);
               });
}

ScriptedUser& ScriptedUser::choose(const QString& window, const char* choice)
{
    return add(window, QStringLiteral("choose %1").arg(choice), [choice](QWidget* front) {
        auto* button = qobject_cast<QAbstractButton*>(childNamed(front, choice));
        if (!button)
            throw ScriptError(std::string("\"") + choice + "\" is no choice");
        requireEnabled(button);
        button->click();
    });
}

ScriptedUser& ScriptedUser::press(const QString& window, int eventCode)
{
    return add(
        window, QStringLiteral("press the button of event %1").arg(eventCode),
        [eventCode](QWidget* front) {
            for (auto* button : front->findChildren<QAbstractButton*>()) {
                if (button->property("event").toInt() == eventCode && button->isVisible()) {
                    requireEnabled(button);
                    button->click();
                    return;
                }
            }
            throw ScriptError("no button posts event " + std::to_string(eventCode));
        },
        true);
}

ScriptedUser& ScriptedUser::press(const QString& window, const QString& caption)
{
    return add(
        window, QStringLiteral("press %1").arg(caption),
        [caption](QWidget* front) {
            for (auto* button : front->findChildren<QAbstractButton*>()) {
                if (withoutMnemonic(button->text()) == withoutMnemonic(caption) &&
                    button->isVisible()) {
                    requireEnabled(button);
                    button->click();
                    return;
                }
            }
            throw ScriptError("no button \"" + caption.toStdString() + "\"");
        },
        true);
}

ScriptedUser& ScriptedUser::key(const QString& window, int qtKey)
{
    return add(
        window, QStringLiteral("press key %1").arg(qtKey),
        [qtKey](QWidget* front) {
            QWidget* target = front->focusWidget() ? front->focusWidget() : front;
            QTest::keyClick(target, static_cast<Qt::Key>(qtKey));
        },
        true);
}

ScriptedUser& ScriptedUser::answer(const QString& title, const QString& caption)
{
    return press(title, caption);
}

ScriptedUser& ScriptedUser::closeByTitleBar(const QString& window)
{
    return add(
        window, QStringLiteral("close by the title bar"), [](QWidget* front) { front->close(); },
        true);
}

ScriptedUser& ScriptedUser::inspect(const QString& window, std::function<void(QWidget*)> look)
{
    return add(window, QStringLiteral("look"), std::move(look));
}

QString ScriptedUser::fieldText(QWidget* window, const char* field)
{
    QWidget* widget = childNamed(window, field);
    if (auto* entry = qobject_cast<QLineEdit*>(widget))
        return entry->inputMask().isEmpty() ? entry->text() : entry->displayText();
    if (auto* box = qobject_cast<QComboBox*>(widget))
        return box->currentText();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    return {};
}

QString ScriptedUser::messageText(QWidget* window)
{
    if (auto* box = qobject_cast<QMessageBox*>(window))
        return box->text();
    auto* label = window->findChild<QLabel*>(QStringLiteral("MESSAGE"));
    return label ? label->text() : QString();
}

QWidget* ScriptedUser::frontWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(widget) && widget->isVisible())
            return widget;
    }
    UI_WINDOW_MANAGER* manager = UIW_WINDOW::windowManager;
    UIW_WINDOW* current = manager ? manager->First() : nullptr;
    return current ? current->NativeWindow() : nullptr;
}

bool ScriptedUser::matches(QWidget* window, const QString& name)
{
    return window && (window->objectName() == name || window->windowTitle() == name);
}

QString ScriptedUser::describe(QWidget* window)
{
    if (!window)
        return QStringLiteral("no window");
    QString text = messageText(window);
    return QStringLiteral("%1 \"%2\"%3")
        .arg(window->objectName(), window->windowTitle(),
             text.isEmpty() ? QString() : QStringLiteral(": ") + text);
}

void ScriptedUser::savePicture(QWidget* window)
{
    // The offscreen platform draws no window frames, so the picture gets a title bar of its
    // own: without it a message box would not say what it is.
    QPixmap content = window->grab();
    const int barHeight = window->fontMetrics().height() + 8;
    QImage picture(content.width(), content.height() + barHeight, QImage::Format_RGB32);
    picture.fill(window->palette().color(QPalette::Window));
    QPainter painter(&picture);
    painter.fillRect(0, 0, picture.width(), barHeight,
                     window->palette().color(QPalette::Highlight));
    painter.setPen(window->palette().color(QPalette::HighlightedText));
    painter.setFont(window->font());
    painter.drawText(QRect(8, 0, picture.width() - 16, barHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     window->windowTitle());
    painter.drawPixmap(0, barHeight, content);
    painter.setPen(window->palette().color(QPalette::Dark));
    painter.drawRect(picture.rect().adjusted(0, 0, -1, -1));
    painter.end();

    QString name = window->objectName() == QLatin1String("MessageWindow") ? window->windowTitle()
                                                                          : window->objectName();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]+")), QStringLiteral("_"));
    QDir().mkpath(m_pictureDirectory);
    QString path = QStringLiteral("%1/%2-%3.png")
                       .arg(m_pictureDirectory)
                       .arg(m_pictures.size() + 1, 2, 10, QLatin1Char('0'))
                       .arg(name);
    if (picture.save(path))
        m_pictures.push_back(path);
}

void ScriptedUser::takeNextStep()
{
    QWidget* front = frontWindow();
    if (finished()) {
        throw ScriptError("the program waits for the user, but the script has ended; in front: " +
                          describe(front).toStdString());
    }
    const Step& step = m_steps[m_next++];
    if (!matches(front, step.window)) {
        throw ScriptError("step " + std::to_string(m_next) + " (" + step.description.toStdString() +
                          ") expects \"" + step.window.toStdString() +
                          "\" in front, but in front is: " + describe(front).toStdString());
    }
    m_sightings.push_back({front->objectName(), front->windowTitle(), messageText(front)});
    if (step.leaves && !m_pictureDirectory.isEmpty())
        savePicture(front);
    step.act(front);
}

void silenceOffscreenWarnings()
{
    static QtMessageHandler standardHandler = nullptr;
    // The offscreen platform warns of every window feature it lacks (raising a window,
    // size hints); those warnings say nothing about the program.
    standardHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (message.startsWith(QLatin1String("This plugin does not support")))
                return;
            if (standardHandler)
                standardHandler(type, context, message);
            else
                std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        });
}

} // namespace ui
