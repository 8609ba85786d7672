// The POSIX twin of the system's data protection, for the native build: a seal carries the user's
// id and the purpose, so only the same user and purpose open it, as on Windows. It keeps nothing
// secret from that user's other programs; it exists so what builds on the protection runs natively.
#include <unistd.h>

#include "platform/data_protection.h"

namespace kestrine::platform {

namespace {

std::string Seal(std::string_view purpose) {
    return "sealed-for-user-" + std::to_string(::geteuid()) + ":" + std::string(purpose) + ":";
}

}  // namespace

std::optional<std::string> ProtectForCurrentUser(std::string_view secret,
                                                 std::string_view purpose) {
    return Seal(purpose) + std::string(secret);
}

std::optional<std::string> UnprotectForCurrentUser(std::string_view sealed,
                                                   std::string_view purpose) {
    const std::string seal = Seal(purpose);
    if (!sealed.starts_with(seal)) return std::nullopt;
    return std::string(sealed.substr(seal.size()));
}

}  // namespace kestrine::platform
