#pragma once
// The weekly task of one user, "Kestrine AutoBackup (<user>)": the schtasks command lines that end,
// delete, query and create it, and the pieces they are made of.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::schedule {

// The one task name of earlier versions, shared by every user of the computer: a task of that name
// is still found and removed, but only when it belongs to the user.
inline constexpr const char* kSharedTaskName = "Kestrine AutoBackup";

// The task of `userName`, so that one user's task never replaces or removes another's. (A user name
// holds none of the characters a task name cannot.)
std::string TaskNameFor(std::string_view userName);

std::string EndTaskCommand(std::string_view taskName);
std::string DeleteTaskCommand(std::string_view taskName);
// Asks for the task's definition as XML, which names the user the task runs as.
std::string QueryTaskCommand(std::string_view taskName);
// The task whose definition `queryOutput` is runs as the user `userName` (or `userSid`); any
// domain in front of the name is not compared.
bool TaskBelongsTo(std::string_view queryOutput, std::string_view userName,
                   std::string_view userSid);
// Asks for every field of the task in the verbose list form: what the dialog shows of it.
std::string ListTaskCommand(std::string_view taskName);

struct TaskDefinition {
    std::string name;         // TaskNameFor(user)
    std::string days;         // TaskDays
    std::string startTime;    // "hh:mm"
    std::string programPath;  // the kestrine.exe the task starts
    std::string profile;
    std::string mask;      // ItemMask
    std::string password;  // the ps= field: empty, protected or (a task of old) in clear
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

}  // namespace kestrine::schedule
