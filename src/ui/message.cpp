#include "ui/message.h"

#include "app/version.h"

namespace kestrine::ui {

platform::MessageRequest RequestFor(const Message& message) {
    return {message.text, kProductName, message.icon, message.buttons};
}

}  // namespace kestrine::ui
