#include "base/line_file.h"

#include "base/text.h"

namespace kestrine::base {

std::string ScanINIText(std::string_view text, std::string_view keyName) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (line.empty()) break;  // an empty line ends the scan
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;

        size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (EqualsNoCase(line.substr(0, equals), keyName))
            return std::string(line.substr(equals + 1));
    }
    return {};
}

std::string INILine(std::string_view keyName, std::string_view keyValue) {
    std::string line;
    line.reserve(keyName.size() + keyValue.size() + 3);
    line.append(keyName).append("=").append(keyValue).append("\r\n");
    return line;
}

}  // namespace kestrine::base
