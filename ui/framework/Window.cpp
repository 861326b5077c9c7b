#include "ui/framework/Window.h"

#include "ui/framework/Ansi.h"
#include "ui/framework/EventManager.h"
#include "ui/framework/ResourceStore.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace ui {

UI_EVENT_MANAGER* UIW_WINDOW::eventManager = nullptr;
UI_WINDOW_MANAGER* UIW_WINDOW::windowManager = nullptr;
ResourceStore* UIW_WINDOW::defaultStorage = nullptr;

namespace {

// Positions of an input mask that take a character, as opposed to literal ones.
std::vector<bool> maskPlaces(const QString& inputMask)
{
    static const QString placeholders = QStringLiteral("AaNnXx9D0dHhBb#");
    std::vector<bool> places;
    QString mask = inputMask.section(QLatin1Char(';'), 0, 0);
    for (qsizetype i = 0; i < mask.size(); ++i) {
        QChar c = mask[i];
        if (c == QLatin1Char('\\') && i + 1 < mask.size()) {
            places.push_back(false);
            ++i;
        } else if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('!')) {
            continue;
        } else {
            places.push_back(placeholders.contains(c));
        }
    }
    return places;
}

// Watches a window for the ways a user closes it other than by its buttons: the title bar's
// close button (and QWidget::close(), which stands for it) and the Escape key.
class CloseGuard : public QObject
{
public:
    CloseGuard(UIW_WINDOW* window, QWidget* cancelButton)
        : QObject(window->NativeWindow()), m_window(window), m_cancelButton(cancelButton)
    {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            event->ignore();
            m_window->SystemClose();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            // Escape means Cancel where the window has one.
            if (auto* button = qobject_cast<QAbstractButton*>(m_cancelButton.data()))
                button->click();
            else
                m_window->SystemClose();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    UIW_WINDOW* m_window; // owns the native window, and so this guard
    QPointer<QWidget> m_cancelButton;
};

} // namespace

UI_WINDOW_OBJECT::UI_WINDOW_OBJECT(QWidget* widget) : m_widget(widget)
{
    if (m_widget && m_widget->property("nonSelectable").toBool()) {
        m_flags |= WOF_NON_SELECTABLE;
        NotifyFlagsChanged();
    }
}

std::string UI_WINDOW_OBJECT::DataGet() const
{
    QString text;
    if (auto* field = qobject_cast<QLineEdit*>(m_widget.data()))
        text = field->inputMask().isEmpty() ? field->text() : field->displayText();
    else if (auto* box = qobject_cast<QComboBox*>(m_widget.data()))
        text = box->currentText();
    else if (auto* label = qobject_cast<QLabel*>(m_widget.data()))
        text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(m_widget.data()))
        text = button->text();
    return toAnsi(text);
}

void UI_WINDOW_OBJECT::DataSet(std::string_view bytes)
{
    QString text = fromAnsi(bytes);
    if (auto* field = qobject_cast<QLineEdit*>(m_widget.data())) {
        if (field->inputMask().isEmpty()) {
            field->setText(text);
            return;
        }
        // Fill the places one by one, so that a missing digit leaves its place blank instead
        // of pulling the following digits forward.
        auto places = maskPlaces(field->inputMask());
        field->clear();
        for (std::size_t i = 0; i < places.size(); ++i) {
            if (!places[i] || static_cast<qsizetype>(i) >= text.size() || !text[i].isDigit())
                continue;
            field->setCursorPosition(static_cast<int>(i));
            field->setSelection(static_cast<int>(i), 1);
            field->insert(QString(text[i]));
        }
        field->setCursorPosition(0);
    } else if (auto* box = qobject_cast<QComboBox*>(m_widget.data())) {
        box->setCurrentText(text);
    } else if (auto* label = qobject_cast<QLabel*>(m_widget.data())) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(m_widget.data())) {
        button->setText(text);
    }
}

bool UI_WINDOW_OBJECT::IsSelected() const
{
    auto* button = qobject_cast<QAbstractButton*>(m_widget.data());
    return button && button->isChecked();
}

void UI_WINDOW_OBJECT::SetSelected(bool selected)
{
    if (auto* button = qobject_cast<QAbstractButton*>(m_widget.data()))
        button->setChecked(selected);
}

void UI_WINDOW_OBJECT::NotifyFlagsChanged()
{
    if (m_widget)
        m_widget->setEnabled(!(m_flags & WOF_NON_SELECTABLE));
}

void UI_WINDOW_OBJECT::Add(std::string_view item)
{
    if (auto* box = qobject_cast<QComboBox*>(m_widget.data())) {
        // Keep the text the box shows: adding to an empty editable box would otherwise make
        // the first item its current text.
        QString shown = box->currentText();
        box->addItem(fromAnsi(item));
        box->setCurrentText(shown);
    }
}

void UI_WINDOW_OBJECT::MakeCurrent()
{
    if (m_widget) {
        m_widget->window()->activateWindow();
        m_widget->setFocus(Qt::OtherFocusReason);
    }
}

UIW_WINDOW::UIW_WINDOW(const QString& definitionName, ResourceStore* store)
{
    ResourceStore* source = store ? store : defaultStorage;
    QWidget* widget = source ? source->LoadWindow(definitionName) : nullptr;
    if (!widget) {
        std::string storeName = source ? source->FileName() : std::string("the resource store");
        throw StoreDefect("The window \"" + definitionName.toStdString() + "\" is missing from " +
                          storeName + ".");
    }
    attach(widget);
}

UIW_WINDOW::UIW_WINDOW(QWidget* widget, bool destroyOnClose) : m_destroyOnClose(destroyOnClose)
{
    attach(widget);
}

UIW_WINDOW::~UIW_WINDOW()
{
    if (windowManager && windowManager->Contains(this))
        windowManager->Subtract(this);
    m_objects.clear();
    delete m_widget.data();
}

void UIW_WINDOW::attach(QWidget* widget)
{
    m_widget = widget;
    widget->setWindowFlag(Qt::Window);
    QWidget* cancelButton = nullptr;
    for (auto* button : widget->findChildren<QAbstractButton*>()) {
        QVariant code = button->property("event");
        if (!code.isValid())
            continue;
        EVENT_TYPE eventCode = code.toInt();
        if (eventCode == CANCEL_EVENT)
            cancelButton = button;
        QObject::connect(button, &QAbstractButton::clicked, widget, [eventCode] {
            if (eventManager)
                eventManager->Put({eventCode});
        });
    }
    // Every text entry takes only what the code page can hold.
    for (auto* field : widget->findChildren<QLineEdit*>()) {
        if (!field->validator())
            field->setValidator(new AnsiValidator(field));
    }
    for (auto* box : widget->findChildren<QComboBox*>()) {
        if (!box->isEditable())
            continue;
        box->setValidator(new AnsiValidator(box));
        QVariant length = box->property("maxLength");
        if (length.isValid() && box->lineEdit())
            box->lineEdit()->setMaxLength(length.toInt());
    }
    // Flags stated in the definition take effect at once.
    for (auto* child : widget->findChildren<QWidget*>()) {
        if (child->property("nonSelectable").isValid())
            wrap(child);
    }
    widget->installEventFilter(new CloseGuard(this, cancelButton));
}

UI_WINDOW_OBJECT* UIW_WINDOW::wrap(QWidget* widget)
{
    if (!widget)
        return nullptr;
    auto& object = m_objects[widget];
    if (!object)
        object = std::make_unique<UI_WINDOW_OBJECT>(widget);
    return object.get();
}

EVENT_TYPE UIW_WINDOW::Event(const UI_EVENT&)
{
    return S_UNKNOWN;
}

void UIW_WINDOW::SystemClose()
{
    if (eventManager)
        eventManager->Put({S_CLOSE});
}

UI_WINDOW_OBJECT* UIW_WINDOW::Get(const char* identifier)
{
    if (!m_widget)
        return nullptr;
    return wrap(m_widget->findChild<QWidget*>(QString::fromLatin1(identifier)));
}

UI_WINDOW_OBJECT* UIW_WINDOW::Get(int number)
{
    if (!m_widget)
        return nullptr;
    for (auto* child : m_widget->findChildren<QWidget*>()) {
        QVariant value = child->property("number");
        if (value.isValid() && value.toInt() == number)
            return wrap(child);
    }
    return nullptr;
}

UI_WINDOW_OBJECT* UIW_WINDOW::Require(const char* identifier)
{
    if (UI_WINDOW_OBJECT* object = Get(identifier))
        return object;
    throw StoreDefect("The window \"" + m_widget->objectName().toStdString() + "\" has no \"" +
                      identifier + "\".");
}

UI_WINDOW_OBJECT* UIW_WINDOW::Require(int number)
{
    if (UI_WINDOW_OBJECT* object = Get(number))
        return object;
    throw StoreDefect("The window \"" + m_widget->objectName().toStdString() +
                      "\" has no field number " + std::to_string(number) + ".");
}

void UIW_WINDOW::CentreOnScreen()
{
    ui::CentreOnScreen(m_widget);
}

void UIW_WINDOW::SetTitle(const QString& title)
{
    if (m_widget)
        m_widget->setWindowTitle(title);
}

QString UIW_WINDOW::Title() const
{
    return m_widget ? m_widget->windowTitle() : QString();
}

bool UIW_WINDOW::IsOnScreen() const
{
    return m_widget && m_widget->isVisible();
}

UI_WINDOW_MANAGER::~UI_WINDOW_MANAGER()
{
    // Windows still on the screen when the application ends belong to the manager.
    while (!m_windows.empty()) {
        UIW_WINDOW* window = m_windows.back();
        Subtract(window);
        if (window->DestroyOnClose())
            delete window;
    }
}

void UI_WINDOW_MANAGER::Add(UIW_WINDOW* window)
{
    if (!window || !window->NativeWindow())
        return;
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
    m_windows.push_back(window);
    QWidget* native = window->NativeWindow();
    native->show();
    native->raise();
    native->activateWindow();
}

void UI_WINDOW_MANAGER::Subtract(UIW_WINDOW* window)
{
    auto found = std::find(m_windows.begin(), m_windows.end(), window);
    if (found == m_windows.end())
        return;
    m_windows.erase(found);
    if (QWidget* native = window->NativeWindow())
        native->hide();
    if (UIW_WINDOW* front = First(); front && front->NativeWindow())
        front->NativeWindow()->activateWindow();
}

EVENT_TYPE UI_WINDOW_MANAGER::Event(const UI_EVENT& event)
{
    UIW_WINDOW* current = First();
    if (!current)
        return S_UNKNOWN;
    if (event.type == S_CLOSE) {
        Subtract(current);
        if (current->DestroyOnClose())
            delete current;
        return S_CLOSE;
    }
    return current->Event(event);
}

bool UI_WINDOW_MANAGER::Contains(const UIW_WINDOW* window) const
{
    return std::find(m_windows.begin(), m_windows.end(), window) != m_windows.end();
}

void CentreOnScreen(QWidget* widget)
{
    if (!widget)
        return;
    QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    if (!widget->testAttribute(Qt::WA_Resized))
        widget->adjustSize();
    if (!screen)
        return;
    QRect area = screen->availableGeometry();
    QSize size = widget->size().boundedTo(area.size());
    widget->resize(size);
    widget->move(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2);
}

int RunWindowModal(UIW_WINDOW* window)
{
    QPointer<QWidget> native = window->NativeWindow();
    UIW_WINDOW::windowManager->Add(window);
    // The window manager may destroy the window at any event, so the loop watches its native
    // window, which goes with it, and never the window object itself.
    while (native && native->isVisible()) {
        UI_EVENT event;
        UIW_WINDOW::eventManager->Get(event, true);
        UIW_WINDOW::windowManager->Event(event);
    }
    return 0;
}

} // namespace ui
