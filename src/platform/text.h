#pragma once
// Text conversions at the Windows boundary. The program keeps text as UTF-8; the Win32 "W"
// functions take UTF-16, and the files that the format fixes as ANSI text (log, manifest, registry
// export files) are written in the system's ANSI code page.
#include <string>
#include <string_view>

namespace kestrine::platform {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// UTF-8 -> the system's ANSI code page; characters it lacks become the code page's default ("?").
std::string Utf8ToAnsi(std::string_view utf8);
// ANSI code page -> UTF-8.
std::string AnsiToUtf8(std::string_view ansi);
// True when every character of `utf8` has an exact form in the ANSI code page.
bool FitsAnsi(std::string_view utf8);

}  // namespace kestrine::platform
