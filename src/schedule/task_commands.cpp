#include "schedule/task_commands.h"

#include <cctype>
#include <cstdio>

#include "base/text.h"

namespace kestrine::schedule {

namespace {

std::string QuotedTaskName() {
    return std::string("\"") + kTaskName + "\"";
}

// Reads 1 or 2 digits at `pos`; -1 when there is none.
int ReadNumber(std::string_view text, size_t& pos) {
    int value = -1;
    for (int digits = 0;
         digits < 2 && pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]));
         ++digits)
        value = (value < 0 ? 0 : value * 10) + (text[pos++] - '0');
    return value;
}

}  // namespace

std::string EndTaskCommand() {
    return "schtasks /end  /tn " + QuotedTaskName();
}

std::string DeleteTaskCommand() {
    return "schtasks /delete /f  /tn " + QuotedTaskName();
}

std::string QueryTaskCommand() {
    return "schtasks /query /fo LIST /v /tn " + QuotedTaskName();
}

std::string CreateTaskCommand(const TaskDefinition& task) {
    // The action is one quoted argument; inside it the program path is quoted with \".
    return "schtasks /create /sc WEEKLY /d " + task.days + " /st " + task.startTime + ":00" +
           " /tn " + QuotedTaskName() + " /tr " + "\"\\\"" + task.programPath + "\\\" " +
           UnattendedTail(task.profile, task.mask, task.password, task.archive) + "\"";
}

std::string UnattendedTail(std::string_view profile, std::string_view mask,
                           std::string_view password, std::string_view archive) {
    std::string tail = "sf=";
    tail.append(profile).append("xm=").append(mask).append("ps=").append(password).append("bf=");
    return tail.append(archive);
}

std::string TaskDays(const std::array<bool, 7>& mondayToSunday) {
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    std::string days;
    for (size_t i = 0; i < 7; ++i) {
        if (!mondayToSunday[i]) continue;
        if (!days.empty()) days += ",";
        days += kDays[i];
    }
    return days.empty() ? "*" : days;
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
    char out[8];
    std::snprintf(out, sizeof out, "%02d:%02d", hour, minute);
    return std::string(out);
}

char UncarriedCharacter(std::string_view value) {
    size_t pos = value.find_first_of("\"=");
    return pos == std::string_view::npos ? '\0' : value[pos];
}

std::string UncarriedCharacterMessage(std::string_view what, char character) {
    std::string named = character == '"' ? "\" (double quote)" : "= (equals sign)";
    return "The " + std::string(what) + " contains the character " + named +
           ", which the scheduled task cannot pass on to Kestrine.";
}

std::string ScheduledMessage() {
    return std::string("Task ") + kTaskName + " has been scheduled.";
}

std::string NotScheduledMessage(bool started, unsigned long exitCode, std::string_view output) {
    std::string message = std::string("Task ") + kTaskName + " was not scheduled.\r\n\r\n";
    const char* blanks = " \t\r\n";
    size_t first = output.find_first_not_of(blanks);
    std::string reason;
    if (first != std::string_view::npos)
        reason = output.substr(first, output.find_last_not_of(blanks) - first + 1);
    if (!started) return message + "The Task Scheduler (schtasks.exe) could not be started.";
    if (!reason.empty()) return message + reason;
    return message + "The Task Scheduler ended with code " + std::to_string(exitCode) + ".";
}

std::string DeletedMessage() {
    return std::string("Task ") + kTaskName + " has been Delete.";
}

}  // namespace kestrine::schedule
