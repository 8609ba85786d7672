#include <windows.h>
//
#include <dpapi.h>

#include "schedule/task_password_win.h"

namespace kestrine::schedule {

namespace {

// Ties the protected bytes to this use: another program's protected data is not a password here.
DATA_BLOB Entropy() {
    static char kPurpose[] = "Kestrine scheduled backup password";
    return {sizeof kPurpose - 1, reinterpret_cast<BYTE*>(kPurpose)};
}

std::optional<std::string> Take(DATA_BLOB& out) {
    std::string bytes(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return bytes;
}

}  // namespace

std::optional<std::string> ProtectForCurrentUser(const std::string& secret) {
    DATA_BLOB in{static_cast<DWORD>(secret.size()),
                 reinterpret_cast<BYTE*>(const_cast<char*>(secret.data()))};
    DATA_BLOB entropy = Entropy();
    DATA_BLOB out{};
    if (!CryptProtectData(&in, L"Kestrine", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out))
        return std::nullopt;
    return Take(out);
}

std::optional<std::string> RevealTaskPassword(std::string_view field) {
    if (!IsProtectedPassword(field)) return std::string(field);
    auto sealed = DecodeProtected(field);
    if (!sealed) return std::nullopt;
    DATA_BLOB in{static_cast<DWORD>(sealed->size()), reinterpret_cast<BYTE*>(sealed->data())};
    DATA_BLOB entropy = Entropy();
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out))
        return std::nullopt;
    return Take(out);
}

}  // namespace kestrine::schedule
