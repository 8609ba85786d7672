// The POSIX twin of platform/messages.h: there are no windows, so without a handler a box is
// answered as closed (Cancel where it has one, No for a question without it, else OK), a file
// dialog and the password dialog as cancelled.
#include <mutex>

#include "platform/messages.h"

namespace kestrine::platform {

namespace {

struct Handlers {
    std::mutex mutex;
    MessageHandler message;
    FileDialogHandler fileDialog;
    PasswordHandler password;
};

Handlers& TheHandlers() {
    static Handlers handlers;
    return handlers;
}

template <class Handler>
Handler Current(Handler Handlers::*which) {
    Handlers& handlers = TheHandlers();
    const std::lock_guard lock(handlers.mutex);
    return handlers.*which;
}

template <class Handler>
void Set(Handler Handlers::*which, Handler handler) {
    Handlers& handlers = TheHandlers();
    const std::lock_guard lock(handlers.mutex);
    handlers.*which = std::move(handler);
}

MessageAnswer Closed(const MessageRequest& request) {
    switch (request.buttons) {
        case MessageButtons::OkCancel:
            return MessageAnswer::Cancel;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
        case MessageButtons::Ok:
            break;
    }
    return MessageAnswer::Ok;
}

}  // namespace

MessageAnswer ShowMessage(const MessageRequest& request) {
    const auto handler = Current(&Handlers::message);
    return handler ? handler(request) : Closed(request);
}

MessageAnswer ShowMessageBox(const MessageRequest& request, void*) {
    return Closed(request);
}

std::string ShowFileDialog(const FileDialogRequest& request) {
    const auto handler = Current(&Handlers::fileDialog);
    return handler ? handler(request) : std::string();
}

std::optional<std::string> AskPassword() {
    const auto handler = Current(&Handlers::password);
    return handler ? handler() : std::nullopt;
}

void SetMessageHandler(MessageHandler handler) {
    Set(&Handlers::message, std::move(handler));
}

void SetFileDialogHandler(FileDialogHandler handler) {
    Set(&Handlers::fileDialog, std::move(handler));
}

void SetPasswordHandler(PasswordHandler handler) {
    Set(&Handlers::password, std::move(handler));
}

}  // namespace kestrine::platform
