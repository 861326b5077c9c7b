#pragma once

// The registrant's data travels as single-byte text in the Windows ANSI code page,
// Windows-1252: in the record, the information file, the HTTP query and the printed page.
// The window layer converts at the field boundary, here and nowhere else.

#include <QString>
#include <QValidator>

#include <string>
#include <string_view>

namespace ui {

// Decodes Windows-1252 bytes. The five bytes that the code page leaves undefined decode to
// the control characters of the same value, as Windows does.
QString fromAnsi(std::string_view bytes);

// Encodes into Windows-1252. Characters the code page cannot hold become "?"; fields never
// hand such characters over, because their validator refuses them.
std::string toAnsi(const QString& text);

// True when every character of text has a Windows-1252 byte.
bool isAnsi(const QString& text);

// Refuses any edit that would put a character into a field that Windows-1252 cannot hold,
// so that what the user sees is what is stored and sent.
class AnsiValidator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;
};

} // namespace ui
