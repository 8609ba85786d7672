#pragma once
// Section-less key=value line files such as the manifest: the scanning rule that reads a key and
// the shape of a line.
#include <string>
#include <string_view>

namespace kestrine::base {

// The key=value rule over the text of a line file: lines are read from the top (a line ends at CR
// LF, CR or LF); a line without "=" is skipped; the first line whose text before its first "="
// equals `keyName` without regard to case gives everything after that "=". Scanning stops at the
// first empty line or the end of the text; then the result is empty.
std::string ScanINIText(std::string_view text, std::string_view keyName);

// One line of a line file: key, "=", value, CR LF.
std::string INILine(std::string_view keyName, std::string_view keyValue);

}  // namespace kestrine::base
