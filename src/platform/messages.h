#pragma once
// Modal message boxes and the program's dialogs go through here, so that tests can answer them
// and assert what a run showed instead of clicking. The unattended run installs a silent
// handler: a scheduled run must never wait on a dialog.
#include <functional>
#include <optional>
#include <string>

namespace kestrine::platform {

enum class MessageIcon { None, Information, Exclamation, Critical };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    std::string text;   // UTF-8; line breaks as the caller built them (CR LF, LF)
    std::string title;  // the caller's: the application title for every message of the program
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// Shows a modal message box and returns the button pressed.
MessageAnswer ShowMessage(const MessageRequest& request);
// The system's message box owned by `owner` (a window handle; null: none), whatever handler is
// set: for a window that decides itself which window owns a box.
MessageAnswer ShowMessageBox(const MessageRequest& request, void* owner);

struct FileDialogRequest {
    bool save = false;          // save dialog, else open dialog
    std::string title;          // window caption
    std::string filter;         // "Description|*.ext" pairs joined by "|"
    std::string initialFolder;  // empty: the platform's choice
    std::string fileName;       // proposed file name
};
// The chosen full path, or empty when the user cancelled.
std::string ShowFileDialog(const FileDialogRequest& request);

// The password dialog: the text confirmed with OK, or nothing when it was cancelled. The main
// window sets the handler that shows it; without one the answer is "cancelled".
std::optional<std::string> AskPassword();

// Handlers that replace the real windows (tests, the unattended run). Passing an empty function
// restores the real window.
using MessageHandler = std::function<MessageAnswer(const MessageRequest&)>;
using FileDialogHandler = std::function<std::string(const FileDialogRequest&)>;
using PasswordHandler = std::function<std::optional<std::string>()>;
void SetMessageHandler(MessageHandler handler);
void SetFileDialogHandler(FileDialogHandler handler);
void SetPasswordHandler(PasswordHandler handler);

}  // namespace kestrine::platform
