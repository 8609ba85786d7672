#include "schedule/outlook_wait.h"

#include <algorithm>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "backup/handlers.h"
#include "outlook/inventory.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/system.h"

namespace kestrine::schedule {

namespace {

using std::chrono::milliseconds;

}  // namespace

WaitClock SystemWaitClock() {
    const auto start = std::chrono::steady_clock::now();
    return {[start] {
                return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() -
                                                                start);
            },
            [](milliseconds span) {
                return platform::SleepUnlessSessionEnds(static_cast<uint32_t>(span.count()));
            }};
}

outlook::OutlookClosing CloseOutlookForBackup(const std::string& logFile,
                                              const outlook::MayEndOutlook& mayEnd) {
    const outlook::OutlookClosing closing = outlook::CloseOutlook(mayEnd);
    if (closing.running == 0) return closing;
    if (!closing.asked)
        WriteLog(logFile, OutlookNotAskedLine(platform::NowText(), closing.itemsOpen));
    if (closing.asked || closing.ended > 0)
        WriteLog(logFile, OutlookClosedLine(platform::NowText(), closing.ended > 0, closing.gone));
    return closing;
}

std::vector<std::string> FilesHeldByOutlook(const AppState& state, const std::string& profile,
                                            const backup_format::Choices& chosen) {
    std::vector<std::string> held;
    if (!outlook::OutlookRuns()) return held;
    backup::BackupJob job;
    job.profile = profile;
    job.chosen = chosen;
    job.profilesRoot = state.environment.ProfilesRoot;
    std::vector<std::string> tempFiles;  // these two items make none
    const backup::HandlerContext context{job, state.paths.TempFolder, tempFiles};
    const std::pair<backup_format::Choice, backup_format::Item> files[] = {
        {backup_format::Choice::PersonalFolders, backup_format::Item::DataFiles},
        {backup_format::Choice::AddressBook, backup_format::Item::AddressBook}};
    for (const auto& [choice, item] : files) {
        if (!chosen[backup_format::IndexOf(choice)]) continue;
        // Held open for writing: the backup's own open, which keeps writers out, is refused.
        for (const auto& path : backup::PlanItem(item, context).files)
            if (!platform::fileio::OpenForReadDenyWriters(path)) held.push_back(path);
    }
    for (const auto& file : tempFiles) platform::fileio::RemoveFile(file);
    return held;
}

OutlookReadiness WaitForOutlookToLetGo(const AppState& state, const std::string& profile,
                                       const backup_format::Choices& chosen, bool closeOutlook,
                                       const WaitClock& clock) {
    OutlookReadiness ready;
    std::vector<std::string> held = FilesHeldByOutlook(state, profile, chosen);
    if (held.empty()) return ready;
    if (closeOutlook) {
        // Never ended: nobody is there to say that what Outlook has not saved may be lost.
        const outlook::OutlookClosing closing = CloseOutlookForBackup(state.paths.LogFile);
        ready.askedToQuit = closing.asked;
        held = FilesHeldByOutlook(state, profile, chosen);
        if (held.empty()) return ready;
    }
    const int minutes =
        WaitForOutlookMinutes(ReadSetting(state.paths.SettingsFile, kWaitForOutlookMinutes));
    const milliseconds limit = std::chrono::minutes(minutes);
    if (minutes > 0)
        WriteLog(state.paths.LogFile, OutlookWaitLine(platform::NowText(), held.front(), minutes));
    const milliseconds start = clock.elapsed();
    for (;;) {
        const milliseconds waited = clock.elapsed() - start;
        if (waited >= limit) {
            WriteLog(state.paths.LogFile, OutlookStayedOpenLine(platform::NowText(), minutes));
            return ready;
        }
        if (!clock.pause(std::min<milliseconds>(kOutlookCheckInterval, limit - waited))) {
            WriteLog(state.paths.LogFile, SessionEndedWhileWaitingLine(platform::NowText()));
            platform::SessionEndRecorded();
            ready.sessionEnded = true;
            return ready;
        }
        if (FilesHeldByOutlook(state, profile, chosen).empty()) {
            WriteLog(state.paths.LogFile, OutlookWaitOverLine(platform::NowText()));
            return ready;
        }
    }
}

}  // namespace kestrine::schedule
