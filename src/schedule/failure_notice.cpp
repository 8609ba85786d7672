#include "schedule/failure_notice.h"

#include "app/activity_log.h"
#include "app/last_backup.h"
#include "app/settings_keys.h"
#include "platform/notification.h"
#include "schedule/unattended.h"

namespace kestrine::schedule {

bool NoticeFailedRun(const ProgramPaths& paths, int exitStatus) {
    if (exitStatus == kExitAllSucceeded ||
        !NotifyFailure(ReadSetting(paths.SettingsFile, kNotifyFailure)))
        return false;
    const ScheduledRuns runs = FindScheduledRuns(ReadLogEntries(paths.LogFile));
    std::string text =
        runs.what.empty() ? "The scheduled backup did not complete." : runs.what + ".";
    if (!runs.why.empty()) text += "\r\n" + runs.why;
    text += "\r\nOpen Kestrine for more.";
    return platform::ShowErrorNotification({"The scheduled backup failed", text});
}

}  // namespace kestrine::schedule
