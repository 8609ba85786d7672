#pragma once
// The system's data protection: bytes sealed so that only the current user, on this computer, can
// turn them back. `purpose` ties a seal to one use: bytes sealed for another purpose do not open.
#include <optional>
#include <string>
#include <string_view>

namespace kestrine::platform {

// Nothing when the system could not seal them.
std::optional<std::string> ProtectForCurrentUser(std::string_view secret, std::string_view purpose);
// Nothing when they are another user's, another computer's, another purpose's, or damaged.
std::optional<std::string> UnprotectForCurrentUser(std::string_view sealed,
                                                   std::string_view purpose);

}  // namespace kestrine::platform
