#pragma once
// Text rules that every module shares. Text is UTF-8 inside the program.
#include <string>
#include <string_view>

namespace kestrine::base {

// Without spaces at either end (only the space character is trimmed).
std::string TrimSpaces(std::string_view text);
// Up to, not including, the first NUL character.
std::string CutAtNul(std::string_view text);
// ASCII letters compared without regard to case, every other byte exactly (the registry's and the
// file system's comparison of the names the program deals with).
bool EqualsNoCase(std::string_view a, std::string_view b);
// Whether `text` is "<digits>-<digits>", as the names of the files and folders Kestrine makes end.
bool IsNumberPair(std::string_view text);
// Every occurrence of `from` (not empty) replaced by `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace kestrine::base
