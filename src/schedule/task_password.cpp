#include "schedule/task_password.h"

#include <array>

#include "platform/data_protection.h"

namespace kestrine::schedule {

namespace {

// Base64 with "-" and "_" for "+" and "/", and no padding: letters, digits, "-" and "_" only.
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int ValueOf(char c) {
    const size_t at = kAlphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

bool IsProtectedPassword(std::string_view value) {
    return value.starts_with(kProtectedMarker);
}

std::string EncodeProtected(std::string_view bytes) {
    std::string out(kProtectedMarker);
    uint32_t buffer = 0;
    int bits = 0;
    for (unsigned char byte : bytes) {
        buffer = (buffer << 8) | byte;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += kAlphabet[(buffer >> bits) & 63];
        }
    }
    if (bits > 0) out += kAlphabet[(buffer << (6 - bits)) & 63];
    return out;
}

std::optional<std::string> DecodeProtected(std::string_view value) {
    if (!IsProtectedPassword(value)) return std::nullopt;
    value.remove_prefix(kProtectedMarker.size());
    // A single character left over carries no whole byte: the text was cut.
    if (value.empty() || value.size() % 4 == 1) return std::nullopt;
    std::string bytes;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : value) {
        const int v = ValueOf(c);
        if (v < 0) return std::nullopt;
        buffer = (buffer << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return bytes;
}

std::optional<std::string> TaskPasswordField(const std::string& password,
                                             const PasswordProtector& protect) {
    if (password.empty()) return std::string();
    if (protect) {
        if (auto sealed = protect(password); sealed && !sealed->empty())
            return EncodeProtected(*sealed);
    }
    // The Task Scheduler would put an environment variable's value in place of "%name%".
    if (password.find('%') != std::string::npos) return std::nullopt;
    return password;
}

// Ties the protected bytes to this use: another program's protected data is not a password here.
constexpr std::string_view kPasswordPurpose = "Kestrine scheduled backup password";

std::optional<std::string> ProtectForCurrentUser(const std::string& secret) {
    return platform::ProtectForCurrentUser(secret, kPasswordPurpose);
}

std::optional<std::string> RevealTaskPassword(std::string_view field) {
    if (!IsProtectedPassword(field)) return std::string(field);
    const auto sealed = DecodeProtected(field);
    if (!sealed) return std::nullopt;
    return platform::UnprotectForCurrentUser(*sealed, kPasswordPurpose);
}

}  // namespace kestrine::schedule
