#pragma once
// The password dialog of a protected backup file.
#include <windows.h>

#include <optional>
#include <string>

namespace kestrine::ui::win {

// Shows the dialog modally over `owner`: the password confirmed with OK (Enter in the box is OK)
// exactly as typed, of any length, or nothing when it was cancelled.
std::optional<std::string> ShowPasswordDialog(HWND owner);

}  // namespace kestrine::ui::win
