// Every message box of the desktop program goes through here, so that widget
// tests can answer them instead of a user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace zt::ui {

enum class MessageIcon { Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    QWidget* owner = nullptr;
    QString caption;  // always AppCaption
    QString text;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
};

using MessageBoxHandler = std::function<MessageAnswer(const MessageRequest&)>;

// Shows a modal message box and returns the button pressed. Closing a
// question without an answer counts as Cancel (or No).
MessageAnswer ShowMessageBox(const MessageRequest& request);

// Replaces the real boxes by handler (an empty handler restores them).
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace zt::ui
