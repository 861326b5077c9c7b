#include "ui/MessageWindow.h"

#include "ui/framework/Ansi.h"
#include "ui/framework/EventManager.h"
#include "ui/Format.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>

namespace ui {

namespace {

struct ButtonKind
{
    unsigned short flag;
    const char* caption;
};

// The framework's built-in captions, in flag order; "&" marks the mnemonic.
constexpr ButtonKind buttonKinds[] = {
    {MSG_OK, "&OK"},       {MSG_YES, "&Yes"},       {MSG_NO, "&No"},         {MSG_ABORT, "&Abort"},
    {MSG_RETRY, "&Retry"}, {MSG_IGNORE, "&Ignore"}, {MSG_CANCEL, "&Cancel"}, {MSG_HELP, "&Help"},
};

QIcon iconFor(const char* name)
{
    if (!name)
        return {};
    QString key = QString::fromLatin1(name).toUpper();
    QStyle* style = QApplication::style();
    if (key == QLatin1String("APPLICATION")) {
        QIcon icon = QApplication::windowIcon();
        return icon.isNull() ? style->standardIcon(QStyle::SP_DesktopIcon) : icon;
    }
    if (key == QLatin1String("ASTERISK"))
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    if (key == QLatin1String("EXCLAMATION"))
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    if (key == QLatin1String("HAND"))
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    if (key == QLatin1String("QUESTION"))
        return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    // Any other name is an icon of the program's own resources.
    QString path = QStringLiteral(":/icons/") + QString::fromLatin1(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

int cellsFor(int pixels, int cellWidth)
{
    return (pixels + cellWidth - 1) / cellWidth;
}

} // namespace

std::vector<std::string> MessageWindow::SplitLines(const std::string& message)
{
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < message.size(); ++i) {
        char c = message[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
                ++i;
            lines.emplace_back();
        } else {
            lines.back().push_back(c);
        }
    }
    return lines;
}

MessageWindow::MessageWindow(const char* title, const char* iconName, unsigned short buttons,
                             unsigned short defaultButton, const char* format, ...)
    : UIW_WINDOW(new QDialog, false), m_hasTitle(title != nullptr)
{
    va_list arguments;
    va_start(arguments, format);
    m_message = vformat(format, arguments);
    va_end(arguments);

    auto* dialog = static_cast<QDialog*>(NativeWindow());
    dialog->setObjectName(QStringLiteral("MessageWindow"));
    dialog->setModal(true);
    dialog->setWindowModality(Qt::ApplicationModal);
    if (title) {
        dialog->setWindowTitle(fromAnsi(title));
        dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint);
    } else {
        // No title: neither title bar nor system menu, only a border.
        dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
        dialog->setStyleSheet(
            QStringLiteral("QDialog#MessageWindow { border: 1px solid palette(dark); }"));
    }

    const QFontMetrics metrics = dialog->fontMetrics();
    const int cellWidth = std::max(1, metrics.averageCharWidth());
    const int cellHeight = std::max(1, metrics.height());

    // The text: the widest line in whole cells plus 2, as many rows as lines.
    auto lines = SplitLines(m_message);
    int widest = 0;
    for (const auto& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(fromAnsi(line)));
    const int textWidth = cellsFor(widest, cellWidth) + 2;
    const int textHeight = static_cast<int>(lines.size());

    // The buttons: as wide as the widest caption, at least 10 cells, plus 2.
    std::vector<const ButtonKind*> shown;
    int captionCells = 10;
    for (const auto& kind : buttonKinds) {
        if (!(buttons & kind.flag))
            continue;
        shown.push_back(&kind);
        QString caption = QString::fromLatin1(kind.caption).remove(QLatin1Char('&'));
        captionCells =
            std::max(captionCells, cellsFor(metrics.horizontalAdvance(caption), cellWidth));
    }
    const int buttonWidth = captionCells + 2;
    const int buttonCount = static_cast<int>(shown.size());

    QIcon icon = iconFor(iconName);
    const int iconWidth = icon.isNull() ? 0 : 6;
    const int width = std::max(iconWidth + textWidth + 4, (buttonWidth + 2) * buttonCount + 5);
    // The title bar stands outside the client area here, so both kinds of box have the same
    // client height: the text, the rows above and below it and the button row.
    const int height = textHeight + 4;

    if (!icon.isNull()) {
        auto* iconLabel = new QLabel(dialog);
        iconLabel->setObjectName(QStringLiteral("ICON"));
        const int side = std::min(6 * cellWidth, 2 * cellHeight + cellHeight / 2);
        iconLabel->setPixmap(icon.pixmap(side, side));
        iconLabel->setGeometry(2 * cellWidth, cellHeight, 6 * cellWidth, side);
        iconLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    auto* text = new QLabel(dialog);
    text->setObjectName(QStringLiteral("MESSAGE"));
    text->setTextFormat(Qt::PlainText);
    text->setText(fromAnsi(m_message)
                      .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                      .replace(QLatin1Char('\r'), QLatin1Char('\n')));
    text->setFocusPolicy(Qt::NoFocus);
    text->setGeometry((iconWidth ? 8 : 2) * cellWidth, cellHeight, textWidth * cellWidth,
                      textHeight * cellHeight);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    int column = (width - (buttonWidth + 2) * buttonCount) / 2 + 1;
    QPushButton* defaultWidget = nullptr;
    for (const ButtonKind* kind : shown) {
        auto* button = new QPushButton(QString::fromLatin1(kind->caption), dialog);
        const int index = std::countr_zero(static_cast<unsigned>(kind->flag));
        button->setObjectName(
            QString::fromLatin1(kind->caption).remove(QLatin1Char('&')).toUpper());
        const int code = kind->flag == MSG_HELP ? L_HELP : FIRST_RESULT + index;
        button->setProperty("event", code);
        button->setAutoDefault(false);
        const int buttonHeight = std::max(button->sizeHint().height(), cellHeight);
        // Centre the button on its row.
        const int top = (textHeight + 2) * cellHeight + (cellHeight - buttonHeight) / 2;
        button->setGeometry(column * cellWidth, top, buttonWidth * cellWidth, buttonHeight);
        QObject::connect(button, &QPushButton::clicked, dialog, [code] {
            if (eventManager)
                eventManager->Put({code});
        });
        if (kind->flag == defaultButton)
            defaultWidget = button;
        column += buttonWidth + 2;
    }
    if (defaultWidget) {
        defaultWidget->setDefault(true);
        defaultWidget->setFocus(Qt::OtherFocusReason);
    }

    dialog->setFixedSize(width * cellWidth, height * cellHeight);
    CentreOnScreen();
}

MessageWindow::~MessageWindow() = default;

void MessageWindow::SystemClose()
{
    // Only a box with a title has a system menu.
    if (m_hasTitle)
        UIW_WINDOW::SystemClose();
}

int MessageWindow::Run()
{
    QPointer<QWidget> native = NativeWindow();
    windowManager->Add(this);
    // The default button holds the focus when the box opens.
    for (auto* button : native->findChildren<QPushButton*>()) {
        if (button->isDefault())
            button->setFocus(Qt::OtherFocusReason);
    }
    int result = RESULT_CLOSED;
    while (native && native->isVisible()) {
        UI_EVENT event;
        eventManager->Get(event, true);
        if (event.type >= FIRST_RESULT && event.type <= LAST_RESULT) {
            result = event.type;
            break;
        }
        windowManager->Event(event);
    }
    windowManager->Subtract(this);
    return result;
}

} // namespace ui
