#include "schedule/auto_backup.h"

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/policy.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "archive/archive_writer.h"
#include "backup/backup_run.h"
#include "backup/backup_steps.h"
#include "base/own_files.h"
#include "base/path.h"
#include "outlook/inventory.h"
#include "outlook/process_control.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "recovery/recovery.h"
#include "schedule/command_line.h"
#include "schedule/dated_backups.h"
#include "schedule/outlook_wait.h"
#include "schedule/task_password.h"
#include "schedule/unattended.h"

namespace kestrine::schedule {

namespace {

// An item failed when its log line says so; a step without a line of its own (the rules, which
// live in the mailbox nowadays) is no failure.
int ExitStatusFor(const backup::BackupResult& result) {
    if (!result.written) return kExitNoArchive;
    for (const auto& step : backup::BackupSteps())
        if (step.unattendedLoggedAs &&
            result.outcomes[archive::IndexOf(step.item)] == archive::StepOutcome::Failed)
            return kExitItemFailed;
    return kExitAllSucceeded;
}

// Why the command line was refused, for the log (never the line itself: it holds the password).
const char* RefusalReason(CommandLineStatus status) {
    switch (status) {
        case CommandLineStatus::MalformedText:
            return "it is not valid text";
        case CommandLineStatus::TooFewPieces:
            return "sf=, xm=, ps= and bf= are not all there";
        case CommandLineStatus::TooManyPieces:
            return "too many \"=\": a profile, password or path holds \"=\"";
        case CommandLineStatus::EmptyProfile:
            return "no profile after sf=";
        case CommandLineStatus::EmptyMask:
            return "no items after xm=";
        case CommandLineStatus::EmptyArchive:
            return "no backup file after bf=";
        case CommandLineStatus::Ok:
            break;
    }
    return "";
}

// A scheduled backup with dated names writes a new name each time, so its own removal of what an
// ended run left never meets the temporaries of the earlier names: those go here.
void RemoveDatedLeftovers(const std::string& defaultArchive) {
    namespace fileio = platform::fileio;
    const std::string folder = base::FolderPart(defaultArchive);
    for (const auto& file : fileio::ListFileNames(folder)) {
        const auto name = base::OwnFileMadeFor(file, base::kWritingMark);
        if (name && DatedNameStamp(defaultArchive, *name))
            archive::RemoveLeftoverTemporaryFiles(base::JoinPath(folder, *name));
    }
}

// The newest archive of a task with dated names (the default name when none is dated), whose
// unchanged pieces the new one may take over; empty when there is none.
std::string NewestDatedArchive(const std::string& defaultArchive) {
    namespace fileio = platform::fileio;
    const std::string folder = base::FolderPart(defaultArchive);
    const int64_t nowStamp = NowStamp();
    std::string newest = fileio::IsFile(defaultArchive) ? defaultArchive : std::string();
    int64_t newestStamp = -1;
    for (const auto& file : fileio::ListFileNames(folder)) {
        const auto stamp = DatedNameStamp(defaultArchive, file);
        if (!stamp || DatedAfter(*stamp, nowStamp) || *stamp <= newestStamp) continue;
        newestStamp = *stamp;
        newest = base::JoinPath(folder, file);
    }
    return newest;
}

}  // namespace

AutoBackupResult RunAutoBackup(const AppState& state, const archive::ZipOptions& zip,
                               std::chrono::milliseconds waitForOtherRun, const WaitClock& clock) {
    AutoBackupResult result;
    UnattendedCommand command = ParseUnattendedTail(state.CommandLine);
    if (!command.ok()) {
        // A weekly run that silently does nothing would go unnoticed for weeks.
        WriteLog(state.paths.LogFile,
                 CommandLineRefusedLine(platform::NowText(), RefusalReason(command.status)));
        result.refused = true;
        result.exitStatus = kExitNoArchive;
        return result;
    }

    // A protected password only the user who registered the task can read: the task was made by
    // another user, or on another computer.
    std::optional<std::string> password = RevealTaskPassword(command.password);
    Wipe(command.password);
    if (!password) {
        WriteLog(state.paths.LogFile,
                 CommandLineRefusedLine(platform::NowText(),
                                        "its password was protected for another user or computer"));
        result.refused = true;
        result.exitStatus = kExitNoArchive;
        return result;
    }

    // What an administrator set wins over settings.dat, and over a task registered before it.
    const Policies policies = ReadPolicies(state.paths.Policy);
    if (policies.requirePassword.value_or(false) && password->empty()) {
        WriteLog(state.paths.LogFile,
                 CommandLineRefusedLine(platform::NowText(),
                                        "your administrator requires a password and it has none"));
        result.refused = true;
        result.exitStatus = kExitNoArchive;
        return result;
    }
    command.archive = InPolicyFolder(policies, command.archive);
    auto setting = [&](const SettingKey& key) {
        return EffectiveSetting(policies, state.paths.SettingsFile, key);
    };

    // Outlook holds the data files open while it runs: closed when the user chose so, or waited
    // for, before anything is taken.
    const OutlookReadiness outlookReady =
        WaitForOutlookToLetGo(state, command.profile, ChosenItems(command.mask),
                              setting(kCloseOutlookForSchedule) == "1", clock);
    if (outlookReady.sessionEnded) {
        Wipe(*password);
        result.exitStatus = kExitNoArchive;
        return result;
    }

    // Held around the backup and what follows it here.
    const recovery::HeldRunLock held = recovery::TakeRunLock(
        state.paths, waitForOtherRun, {},
        [&](const std::string& now) { return BackupNotStartedLine(now, command.profile, true); });
    if (!held) {
        Wipe(*password);
        result.exitStatus = kExitNoArchive;
        return result;
    }

    // With a dated name the run's default archive gives way to the new one, but only once the new
    // one is complete; without it the new archive replaces the old one in a single move.
    const std::string defaultArchive = command.archive;
    result.archivePath = command.archive;
    const bool dated = NewFileEachRun(setting(kNewFileEachRun));
    // Older archives go only once the new one has been read back whole and found sound.
    const int keep = dated ? KeepDatedBackups(setting(kKeepDatedBackups)) : 0;
    if (dated) {
        auto now = platform::Now();
        result.archivePath =
            DatedArchivePath(command.archive, now.year, now.month, now.day, now.hour, now.minute);
    }

    backup::BackupJob job = backup::BackupJobFor(
        state, outlook::TakeInventory(state.environment, command.profile).locations,
        command.profile, ChosenItems(command.mask), result.archivePath);
    job.earlierArchive = dated ? NewestDatedArchive(defaultArchive) : std::string();
    job.password = *password;
    Wipe(*password);
    job.note = "Automatic Backup";
    job.unattended = true;
    job.verify = job.verify || keep > 0;
    // The older backups' manifests are read with the task's password before any of them goes.
    std::string prunePassword = keep > 0 || !dated ? job.password : std::string();
    const backup::BackupResult outcome =
        backup::RunBackupHolding(held, job, state.environment, state.paths, zip);
    Wipe(job.password);
    if (outlookReady.askedToQuit && !outlook::OutlookRuns() && outlook::StartOutlook())
        WriteLog(state.paths.LogFile, OutlookRestartedLine(platform::NowText()));
    result.itemFlags = outcome.itemFlags;
    result.exitStatus = ExitStatusFor(outcome);
    if (outcome.written) result.archivePath = outcome.archivePath;
    // Leftovers of ended runs may be the only complete copy (see RunBackup): they go only now.
    if (outcome.written) RemoveDatedLeftovers(command.archive);

    // Only a backup that holds every item asked for lets older ones go.
    if (outcome.written && outcome.complete) {
        if (dated && defaultArchive != result.archivePath &&
            platform::fileio::IsFile(defaultArchive)) {
            platform::fileio::SetNormalAttributes(defaultArchive);
            platform::fileio::RemoveFile(defaultArchive);
        }
        const PruneJob prune{.logFile = state.paths.LogFile,
                             .defaultArchive = defaultArchive,
                             .written = result.archivePath,
                             .writtenFlags = outcome.itemFlags,
                             .keep = keep,
                             .password = prunePassword,
                             .chosen = job.chosen,
                             .tempFolder = state.paths.TempFolder};
        if (outcome.verified && keep > 0) RemoveOlderDatedArchives(prune);
        // One archive: what runs that failed an item wrote beside it is held in the new one now.
        if (outcome.verified && !dated) RemoveIncompleteBesideArchives(prune);
    }
    Wipe(prunePassword);
    return result;
}

}  // namespace kestrine::schedule
