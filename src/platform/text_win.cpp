#include <windows.h>

#include "base/utf.h"
#include "platform/text.h"

namespace kestrine::platform {

// wchar_t is a UTF-16 code unit on Windows.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Widen(std::string_view utf8) {
    const std::u16string units = base::Utf8ToUtf16(utf8);
    return std::wstring(units.begin(), units.end());
}

std::string Narrow(std::wstring_view utf16) {
    return base::Utf16ToUtf8(std::u16string(utf16.begin(), utf16.end()));
}

static std::string FromWide(UINT codePage, std::wstring_view text, BOOL* usedDefault) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, usedDefault);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, usedDefault);
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    BOOL usedDefault = FALSE;
    return FromWide(CP_ACP, Widen(utf8), &usedDefault);
}

static std::string CodePageToUtf8(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return Narrow(wide);
}

std::string AnsiToUtf8(std::string_view ansi) {
    return CodePageToUtf8(CP_ACP, ansi);
}

std::string OemToUtf8(std::string_view oem) {
    return CodePageToUtf8(CP_OEMCP, oem);
}

bool FitsAnsi(std::string_view utf8) {
    std::wstring wide = Widen(utf8);
    BOOL usedDefault = FALSE;
    std::string ansi = FromWide(CP_ACP, wide, &usedDefault);
    return !usedDefault && Widen(AnsiToUtf8(ansi)) == wide;
}

}  // namespace kestrine::platform
