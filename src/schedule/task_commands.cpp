#include "schedule/task_commands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "base/text.h"

namespace kestrine::schedule {

namespace {

std::string Quoted(std::string_view taskName) {
    std::string quoted(1, '"');
    quoted.append(taskName).push_back('"');
    return quoted;
}

// Reads 1 or 2 digits at `pos`; -1 when there is none.
int ReadNumber(std::string_view text, size_t& pos) {
    const std::string_view digits = text.substr(std::min(pos, text.size()), 2);
    int value = -1;
    // A sign is no digit, though from_chars would read it.
    if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits[0]))) return value;
    pos += static_cast<size_t>(
        std::from_chars(digits.data(), digits.data() + digits.size(), value).ptr - digits.data());
    return value;
}

}  // namespace

std::string TaskNameFor(std::string_view userName) {
    if (userName.empty()) return kSharedTaskName;
    std::string name = kSharedTaskName;
    name.append(" (").append(userName).push_back(')');
    return name;
}

std::string EndTaskCommand(std::string_view taskName) {
    return "schtasks /end  /tn " + Quoted(taskName);
}

std::string DeleteTaskCommand(std::string_view taskName) {
    return "schtasks /delete /f  /tn " + Quoted(taskName);
}

std::string QueryTaskCommand(std::string_view taskName) {
    return "schtasks /query /xml /tn " + Quoted(taskName);
}

bool TaskBelongsTo(std::string_view queryOutput, std::string_view userName,
                   std::string_view userSid) {
    // The output may come as UTF-16: its tags are then the same letters with NULs between.
    std::string text;
    for (char c : queryOutput)
        if (c != '\0') text += c;
    const std::string open = "<UserId>", close = "</UserId>";
    const size_t start = text.find(open);
    const size_t end = start == std::string::npos ? start : text.find(close, start);
    if (end == std::string::npos) return false;
    std::string_view user =
        std::string_view(text).substr(start + open.size(), end - start - open.size());
    user = user.substr(0, user.find_last_not_of(" \t\r\n") + 1);
    user.remove_prefix(std::min(user.find_first_not_of(" \t\r\n"), user.size()));
    if (!userSid.empty() && base::EqualsNoCase(user, userSid)) return true;
    if (const size_t slash = user.rfind('\\'); slash != std::string_view::npos)
        user.remove_prefix(slash + 1);
    return !userName.empty() && base::EqualsNoCase(user, userName);
}

std::string ListTaskCommand(std::string_view taskName) {
    return "schtasks /query /fo LIST /v /tn " + Quoted(taskName);
}

std::string CreateFromDefinitionCommand(std::string_view taskName,
                                        std::string_view definitionFile) {
    return "schtasks /create /tn " + Quoted(taskName) + " /xml " + Quoted(definitionFile) + " /f";
}

std::string RunTaskCommand(std::string_view taskName) {
    return "schtasks /run /tn " + Quoted(taskName);
}

std::string UnattendedTail(std::string_view profile, std::string_view mask,
                           std::string_view password, std::string_view archive) {
    std::string tail = "sf=";
    tail.append(profile).append("xm=").append(mask).append("ps=").append(password).append("bf=");
    return tail.append(archive);
}

std::vector<std::string> StartTimeChoices() {
    std::vector<std::string> times;
    for (int hour = 0; hour < 24; ++hour) {
        times.push_back(std::to_string(hour) + ":00");
        times.push_back(std::to_string(hour) + ":30");
    }
    return times;
}

std::optional<std::string> TaskStartTime(std::string_view typed) {
    std::string text = base::TrimSpaces(typed);
    size_t pos = 0;
    int hour = ReadNumber(text, pos);
    if (hour < 0 || pos >= text.size() || text[pos++] != ':') return std::nullopt;
    int minute = ReadNumber(text, pos);
    if (minute < 0 || minute > 59) return std::nullopt;
    if (pos < text.size() && text[pos] == ':') {  // seconds are accepted and dropped
        ++pos;
        int second = ReadNumber(text, pos);
        if (second < 0 || second > 59) return std::nullopt;
    }
    std::string_view rest = std::string_view(text).substr(pos);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (rest.empty()) {
        if (hour > 23) return std::nullopt;
    } else if (base::EqualsNoCase(rest, "AM") || base::EqualsNoCase(rest, "PM")) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (base::EqualsNoCase(rest, "PM") ? 12 : 0);
    } else {
        return std::nullopt;
    }
    char out[16];  // room for any int, so no build warns of a cut
    std::snprintf(out, sizeof out, "%02d:%02d", hour, minute);
    return std::string(out);
}

char UncarriedCharacter(std::string_view value, bool expanded) {
    const size_t percent = value.find('%');
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"' || c == '=' || static_cast<unsigned char>(c) < 0x20) return c;
        if (expanded && i == percent && value.find('%', i + 1) != std::string_view::npos) return c;
    }
    return '\0';
}

}  // namespace kestrine::schedule
