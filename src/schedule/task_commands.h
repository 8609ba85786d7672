#pragma once
// The weekly task "Kestrine AutoBackup": the schtasks command lines that end, delete and create it,
// the pieces they are made of, and the messages that report them.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::schedule {

inline constexpr const char* kTaskName = "Kestrine AutoBackup";

std::string EndTaskCommand();
std::string DeleteTaskCommand();
// Asks the Task Scheduler for the task, every field in the verbose list form.
std::string QueryTaskCommand();

struct TaskDefinition {
    std::string days;         // TaskDays
    std::string startTime;    // "hh:mm"
    std::string programPath;  // the kestrine.exe the task starts
    std::string profile;
    std::string mask;      // ItemMask
    std::string password;  // empty: no protection
    std::string archive;
};
std::string CreateTaskCommand(const TaskDefinition& task);

// The unattended command line's tail that the task passes: sf=...xm=...ps=...bf=...
std::string UnattendedTail(std::string_view profile, std::string_view mask,
                           std::string_view password, std::string_view archive);

// The week days of the task, Monday to Sunday: "Mon,Wed", ..., "*" for none (every day).
std::string TaskDays(const std::array<bool, 7>& mondayToSunday);

// The start times offered: 0:00, 0:30, ... 23:30.
std::vector<std::string> StartTimeChoices();
// A typed start time as "hh:mm" ("7:5" -> "07:05", "9:00 PM" -> "21:00"); nothing when the text is
// not a time of day.
std::optional<std::string> TaskStartTime(std::string_view typed);

// The first double quote or equals sign in `value`, which the task's command line (a quote) or
// the unattended tail (an equals sign) cannot carry; 0 when there is none.
char UncarriedCharacter(std::string_view value);

// Messages of the task dialog.
inline constexpr const char* kNoItemMessage = "Please select at least one item.";
inline constexpr const char* kNoFileMessage = "Invalid backup file name.";
inline constexpr const char* kNoPasswordMessage = "Please enter Password!";
inline constexpr const char* kPasswordsDifferMessage = "Incorect Password!";
inline constexpr const char* kStartTimeMessage =
    "Please enter the start time as a time of day, for example 9:00 or 21:30.";
std::string UncarriedCharacterMessage(std::string_view what, char character);
std::string ScheduledMessage();
// The create command failed: the Task Scheduler's own words when it gave any.
std::string NotScheduledMessage(bool started, unsigned long exitCode, std::string_view output);
std::string DeletedMessage();

}  // namespace kestrine::schedule
