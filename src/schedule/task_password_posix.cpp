// The POSIX twin of the task password's protection, for the native build: sealed bytes carry the
// user's id, so only the same user turns them back, as the system's data protection does on
// Windows. It keeps nothing secret from that user's other programs; it exists so the unattended
// run's handling of protected and cut passwords runs natively.
#include <unistd.h>

#include "schedule/task_password_win.h"

namespace kestrine::schedule {

namespace {

std::string Seal() {
    return "kestrine-user-" + std::to_string(::geteuid()) + ":";
}

}  // namespace

std::optional<std::string> ProtectForCurrentUser(const std::string& secret) {
    return Seal() + secret;
}

std::optional<std::string> RevealTaskPassword(std::string_view field) {
    if (!IsProtectedPassword(field)) return std::string(field);
    auto sealed = DecodeProtected(field);
    if (!sealed || !sealed->starts_with(Seal())) return std::nullopt;
    return sealed->substr(Seal().size());
}

}  // namespace kestrine::schedule
