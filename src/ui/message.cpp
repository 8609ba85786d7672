#include "ui/message.h"

#include "app/version.h"

namespace kestrine::ui {

Message OtherRunMessage() {
    return {
        "Another backup or restore is still running, so this one was not started.\r\n"
        "Please try again when it has finished.",
        platform::MessageIcon::Exclamation};
}

platform::MessageRequest RequestFor(const Message& message) {
    return {message.text, kProductName, message.icon, message.buttons};
}

platform::MessageAnswer Show(const Message& message) {
    return platform::ShowMessage(RequestFor(message));
}

}  // namespace kestrine::ui
