#pragma once
// What a window shows in a message box. Presenters return it rather than showing it, so that the
// text is tested without a screen; the window shows it titled with the application title.
#include <string>

#include "platform/messages.h"

namespace kestrine::ui {

struct Message {
    std::string text;
    platform::MessageIcon icon = platform::MessageIcon::None;
    platform::MessageButtons buttons = platform::MessageButtons::Ok;
    bool operator==(const Message&) const = default;
};

// A backup or restore that did not start because another one (a scheduled backup, say) was still
// working after the run's wait.
Message OtherRunMessage();

// The message box request: the message titled with the application title.
platform::MessageRequest RequestFor(const Message& message);
// Shows the message box (Windows build) and returns the button pressed.
platform::MessageAnswer Show(const Message& message);

}  // namespace kestrine::ui
