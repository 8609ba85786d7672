#pragma once
// The weekly task of one user, "Kestrine AutoBackup (<user>)": the schtasks command lines that end,
// delete, query and create it, and the pieces they are made of.
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

// Registers the task from the definition file `definitionFile`, replacing a task of that name in
// one step ("/f"), so the working task is never gone while its replacement is not registered.
std::string CreateFromDefinitionCommand(std::string_view taskName, std::string_view definitionFile);
// Starts the task now, as its trigger would.
std::string RunTaskCommand(std::string_view taskName);

// The unattended command line's tail that the task passes: sf=...xm=...ps=...bf=...
std::string UnattendedTail(std::string_view profile, std::string_view mask,
                           std::string_view password, std::string_view archive);

// The start times offered: 0:00, 0:30, ... 23:30.
std::vector<std::string> StartTimeChoices();
// A typed start time as "hh:mm" ("7:5" -> "07:05", "9:00 PM" -> "21:00"); nothing when the text is
// not a time of day.
std::optional<std::string> TaskStartTime(std::string_view typed);

// The first character of `value` that the task cannot carry to the run: a double quote, an equals
// sign (the unattended tail's separator), a control character (which the task's definition
// cannot hold), and where `expanded` (a value that reaches the task as it is, not protected) a
// percent sign that a second one follows (the Task Scheduler would take "%NAME%" for an
// environment variable and put its value in); 0 when there is none.
char UncarriedCharacter(std::string_view value, bool expanded = true);

}  // namespace kestrine::schedule
