#include <windows.h>
//
#include <dpapi.h>

#include "platform/data_protection.h"

namespace kestrine::platform {

namespace {

DATA_BLOB Blob(std::string_view bytes) {
    return {static_cast<DWORD>(bytes.size()),
            reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}

std::string Take(DATA_BLOB& out) {
    std::string bytes(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return bytes;
}

}  // namespace

std::optional<std::string> ProtectForCurrentUser(std::string_view secret,
                                                 std::string_view purpose) {
    DATA_BLOB in = Blob(secret), entropy = Blob(purpose), out{};
    if (!CryptProtectData(&in, L"Kestrine", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out))
        return std::nullopt;
    return Take(out);
}

std::optional<std::string> UnprotectForCurrentUser(std::string_view sealed,
                                                   std::string_view purpose) {
    DATA_BLOB in = Blob(sealed), entropy = Blob(purpose), out{};
    if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out))
        return std::nullopt;
    return Take(out);
}

}  // namespace kestrine::platform
