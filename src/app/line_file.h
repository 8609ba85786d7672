#pragma once
// Pure text rules shared by the settings, the manifest and the log: trimming, NUL cuts and the
// scanning rule of section-less key=value line files.
#include <string>
#include <string_view>

namespace kestrine {

// Without spaces at either end.
std::string TrimSpaces(std::string_view text);
// Up to (not including) the first NUL character.
std::string CutAtNul(std::string_view text);
// ASCII letters upper-cased; other bytes unchanged.
std::string UpperAscii(std::string_view text);

// The GetINI rule over the text of a line file: lines are read from the top (a line ends at CR LF,
// CR or LF); a line without "=" is skipped; the first line whose text before its first "=" equals
// `keyName` without regard to case gives everything after that "=". Scanning stops at the first
// empty line or the end of the text; then the result is empty.
std::string ScanINIText(std::string_view text, std::string_view keyName);

// One line of a line file: key, "=", value, CR LF.
std::string INILine(std::string_view keyName, std::string_view keyValue);

}  // namespace kestrine
