#pragma once
// The system's data protection for the weekly task's password: bytes that only the current user
// on this computer can turn back into the password.
#include <optional>
#include <string>
#include <string_view>

#include "schedule/task_password.h"

namespace kestrine::schedule {

// Nothing when the system could not protect it.
std::optional<std::string> ProtectForCurrentUser(const std::string& secret);

// The password a task's ps= field stands for: a password in clear as it is, a protected one
// unprotected; nothing when it cannot be (another user's or another computer's task, or a cut one).
std::optional<std::string> RevealTaskPassword(std::string_view field);

}  // namespace kestrine::schedule
