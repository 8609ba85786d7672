#include "schedule/scheduled_task.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "base/text.h"
#include "schedule/command_line.h"

namespace kestrine::schedule {

namespace {

struct Line {
    std::string label;
    std::string value;
};

// "Label:      value": the values of the list start in one column, the one after the longest
// label's colon and blank.
std::vector<Line> ListLines(std::string_view output) {
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < output.size();) {
        size_t end = output.find('\n', pos);
        if (end == std::string_view::npos) end = output.size();
        std::string line(output.substr(pos, end - pos));
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    size_t column = 0;
    for (const auto& line : lines)
        if (size_t colon = line.find(':'); colon != std::string::npos && colon + 2 <= line.size())
            column = std::max(column, colon + 2);
    std::vector<Line> fields;
    for (const auto& line : lines) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        // A line of the list's own width has its value at the column; a shorter one after its
        // colon.
        const bool aligned = line.size() > column && line[column - 1] == ' ';
        const size_t cut = aligned ? column : colon + 1;
        std::string label =
            base::TrimSpaces(std::string_view(line).substr(0, aligned ? column : colon));
        if (!label.empty() && label.back() == ':') label.pop_back();
        fields.push_back({label, base::TrimSpaces(std::string_view(line).substr(cut))});
    }
    return fields;
}

// The fields read, by English label and by place after the host name's line.
enum Field { kNextRun, kLastRun, kLastResult, kTaskToRun, kStartTime, kDays, kFieldCount };
struct FieldPlace {
    const char* label;
    size_t afterHost;
};
constexpr std::array<FieldPlace, kFieldCount> kPlaces = {{{"Next Run Time", 2},
                                                          {"Last Run Time", 5},
                                                          {"Last Result", 6},
                                                          {"Task To Run", 8},
                                                          {"Start Time", 19},
                                                          {"Days", 22}}};

}  // namespace

ScheduledTask ReadTaskQuery(std::string_view output) {
    const std::vector<Line> fields = ListLines(output);
    std::array<std::string, kFieldCount> found;
    std::array<bool, kFieldCount> named{};
    for (const auto& field : fields)
        for (size_t f = 0; f < kFieldCount; ++f)
            if (!named[f] && base::EqualsNoCase(field.label, kPlaces[f].label)) {
                found[f] = field.value;
                named[f] = true;
            }
    // Translated labels: the host name's line is the one before the task's name.
    size_t host = fields.size();
    for (size_t i = 1; i < fields.size(); ++i)
        if (fields[i].value.find("Kestrine") != std::string::npos ||
            fields[i].value.starts_with('\\')) {
            host = i - 1;
            break;
        }
    for (size_t f = 0; f < kFieldCount; ++f)
        if (!named[f] && host + kPlaces[f].afterHost < fields.size())
            found[f] = fields[host + kPlaces[f].afterHost].value;

    ScheduledTask task;
    for (const auto& field : fields) {
        if (base::EqualsNoCase(field.label, "Logon Mode")) task.logonMode = field.value;
        if (base::EqualsNoCase(field.label, "Power Management")) {
            task.powerManagement = field.value;
            task.conditionsRead = true;
        }
    }
    task.nextRun = found[kNextRun];
    task.lastRun = found[kLastRun];
    task.lastResult = found[kLastResult];
    task.startTime = found[kStartTime];
    task.days = found[kDays];
    const UnattendedCommand command = ParseUnattendedTail(CommandLineTail(found[kTaskToRun]));
    task.profile = command.profile;
    task.archive = command.archive;
    return task;
}

bool NeverRan(const ScheduledTask& task) {
    // SCHED_S_TASK_HAS_NOT_RUN
    return task.lastResult == "267011" || task.lastResult == "0x41303";
}

bool HeldByBattery(const ScheduledTask& task) {
    // "Stop On Battery Mode", "No Start On Batteries"
    std::string power;
    for (char c : task.powerManagement)
        power += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return power.find("batter") != std::string::npos;
}

}  // namespace kestrine::schedule
