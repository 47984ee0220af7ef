#include "ui/base/message_box.h"

#include <QMessageBox>
#include <utility>

namespace zt::ui {
namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

}  // namespace

MessageAnswer ShowMessageBox(const MessageRequest& request) {
    if (Handler()) {
        return Handler()(request);
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    if (request.buttons == MessageButtons::OkCancel) {
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
    } else if (request.buttons == MessageButtons::YesNo) {
        buttons = QMessageBox::Yes | QMessageBox::No;
        escape = QMessageBox::No;
    }
    QMessageBox box(ToQt(request.icon), request.caption, request.text, buttons, request.owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.setEscapeButton(escape);
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        default:
            return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
    }
}

void SetMessageBoxHandler(MessageBoxHandler handler) { Handler() = std::move(handler); }

}  // namespace zt::ui
