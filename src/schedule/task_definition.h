#pragma once
// The weekly task as the Task Scheduler's own definition (its XML form), which schtasks registers
// with "/create /xml": unlike a "/tr" command line it has no length limit, and it holds what a
// task needs to run on a laptop and after a missed start.
#include <array>
#include <string>
#include <string_view>

#include "app/settings_keys.h"
#include "platform/system.h"

namespace kestrine::schedule {

// How long the Task Scheduler lets a run work before it ends it: the run's longest wait for
// Outlook (`waitforoutlookminutes`, in whole hours) and an hour for the backup itself.
constexpr int TaskTimeLimitHours(int waitForOutlookMinutes) {
    return (waitForOutlookMinutes + 59) / 60 + 1;
}
inline constexpr int kTaskTimeLimitHours = TaskTimeLimitHours(kDefaultWaitForOutlookMinutes);

struct TaskDefinition {
    std::string name;            // TaskNameFor(user)
    std::array<bool, 7> days{};  // Monday .. Sunday; none: every day
    std::string startTime;       // "hh:mm"
    std::string userId;          // the user the task runs as: a SID, or a name
    std::string programPath;     // the kestrine.exe the task starts
    std::string profile;
    std::string mask;      // ItemMask
    std::string password;  // the ps= field: empty, protected or in clear
    std::string archive;
    int timeLimitHours = kTaskTimeLimitHours;
};

// The task's definition: a weekly calendar trigger on the days at the start time (counted from
// the day of its next start after `now`), the program with the unattended tail as its arguments,
// run as the user only while the user is logged on (the protected password and the user's
// registry need the user's own session), with least privilege; started when a start was missed,
// on battery power too and not stopped when the power goes to battery; no second instance while
// one runs; ended only after `timeLimitHours`.
std::string TaskDefinitionXml(const TaskDefinition& task, const platform::LocalTime& now);
// The definition as schtasks reads it: UTF-16 LE behind a byte-order mark.
std::string TaskDefinitionFile(const TaskDefinition& task, const platform::LocalTime& now);

// "YYYY-MM-DD" of the day the task first starts at `startTime` ("hh:mm"): today while that time
// is still to come, else tomorrow (a start boundary already passed would count as a missed start).
std::string FirstStartDate(const platform::LocalTime& now, std::string_view startTime);

// Text as XML element content: & < > escaped.
std::string XmlEscaped(std::string_view text);

}  // namespace kestrine::schedule
