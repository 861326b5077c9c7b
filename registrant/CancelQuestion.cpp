#include "registrant/CancelQuestion.h"

#include "ui/MessageWindow.h"

bool confirmCancelRegistration()
{
    ui::MessageWindow question(
        "Registration", "QUESTION", ui::MSG_YES | ui::MSG_NO, ui::MSG_YES,
        "Completing this registration allows you to receive technical support.\r\n\r\n"
        "This program provides a way for you to register by using your modem or the "
        "mail.\r\n\r\nAre you sure you want to cancel?");
    return question.Run() == ui::RESULT_YES;
}
