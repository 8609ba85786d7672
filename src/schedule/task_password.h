#pragma once
// The password that the weekly task hands to the unattended run. A task keeps it protected for the
// user who registered it (only that user, on that computer, can read it back): the ps= field holds
// a marker and the protected bytes in a text form that the Task Scheduler passes on unchanged (no
// "%", which it would take for an environment variable, no "=", no blank). The marker begins with
// a double quote, which no password of a task could ever begin with (the scheduled-backup dialog
// never let one through), so a task of an earlier version with its password in clear still works.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/secret.h"

namespace kestrine::schedule {

inline constexpr std::string_view kProtectedMarker = "\"KP1-";

bool IsProtectedPassword(std::string_view value);
// The ps= value of protected bytes, and the bytes back; nothing when `value` is not one.
std::string EncodeProtected(std::string_view protectedBytes);
std::optional<std::string> DecodeProtected(std::string_view value);

// The system's protection for the current user (empty `protect` result: it could not protect).
using PasswordProtector = std::function<std::optional<std::string>(const std::string&)>;

// What the task carries for `password`: nothing for no password, the protected form where
// `protect` can make it, else the password in clear when the Task Scheduler passes it on unchanged;
// nothing when it cannot be carried (it holds "%" and could not be protected).
std::optional<std::string> TaskPasswordField(const std::string& password,
                                             const PasswordProtector& protect);

// The system's protection for the current user, for a task's password; nothing when the system
// could not protect it.
std::optional<std::string> ProtectForCurrentUser(const std::string& secret);

// The password a task's ps= field stands for: a password in clear as it is, a protected one
// unprotected; nothing when it cannot be (another user's or another computer's task, or a cut one).
std::optional<std::string> RevealTaskPassword(std::string_view field);

using base::Wipe;

}  // namespace kestrine::schedule
