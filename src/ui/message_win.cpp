#include "ui/message.h"

namespace kestrine::ui {

platform::MessageAnswer Show(const Message& message) {
    return platform::ShowMessage(RequestFor(message));
}

}  // namespace kestrine::ui
