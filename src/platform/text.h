#pragma once
// Text conversions at the system boundary. The program keeps text as UTF-8; the Win32 "W"
// functions take UTF-16, the files that the format fixes as ANSI text (log, manifest, registry
// export files) are written in the system's ANSI code page, and zip entry names of older archives
// are in the OEM code page. The code-page functions belong to the portable core: on Windows they
// use the system's code pages, elsewhere Windows-1252 (ANSI) and 437 (OEM), so the core's rules are
// tested natively with a Western system's code pages.
#include <string>
#include <string_view>

namespace kestrine::platform {

#ifdef _WIN32
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
#endif
// UTF-8 -> the system's ANSI code page; characters it lacks become the code page's default ("?").
std::string Utf8ToAnsi(std::string_view utf8);
// ANSI code page -> UTF-8.
std::string AnsiToUtf8(std::string_view ansi);
// True when every character of `utf8` has an exact form in the ANSI code page.
bool FitsAnsi(std::string_view utf8);
// OEM code page -> UTF-8.
std::string OemToUtf8(std::string_view oem);

}  // namespace kestrine::platform
