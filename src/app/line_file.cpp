#include "app/line_file.h"

namespace kestrine {

std::string TrimSpaces(std::string_view text) {
    auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string CutAtNul(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (auto& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string ScanINIText(std::string_view text, std::string_view keyName) {
    const std::string wanted = UpperAscii(keyName);
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
        if (UpperAscii(line.substr(0, equals)) == wanted)
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

}  // namespace kestrine
