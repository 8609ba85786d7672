#include "schedule/auto_backup.h"

#include <optional>
#include <utility>

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
#include "recovery/run_skeleton.h"
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
    if (!result.Written()) return kExitNoArchive;
    for (const auto& step : backup::BackupSteps())
        if (step.unattendedLoggedAs && result.outcomes[backup_format::IndexOf(step.item)] ==
                                           backup_format::StepOutcome::Failed)
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

// The command line as the run takes it, or nothing when it was refused (the log says why).
struct AcceptedCommand {
    UnattendedCommand command;
    std::string password;
    Policies policies;
};

std::optional<AcceptedCommand> AcceptCommand(const AppState& state) {
    // A weekly run that silently does nothing would go unnoticed for weeks.
    auto refuse = [&](const char* why) -> std::optional<AcceptedCommand> {
        WriteLog(state.paths.LogFile, CommandLineRefusedLine(platform::NowText(), why));
        return std::nullopt;
    };
    UnattendedCommand command = ParseUnattendedTail(state.CommandLine);
    if (!command.ok()) return refuse(RefusalReason(command.status));
    // A protected password only the user who registered the task can read: the task was made by
    // another user, or on another computer.
    std::optional<std::string> password = RevealTaskPassword(command.password);
    Wipe(command.password);
    if (!password) return refuse("its password was protected for another user or computer");
    // What an administrator set wins over settings.dat, and over a task registered before it.
    Policies policies = ReadPolicies(state.paths.Policy);
    if (policies.requirePassword.value_or(false) && password->empty()) {
        Wipe(*password);
        return refuse("your administrator requires a password and it has none");
    }
    command.archive = InPolicyFolder(policies, command.archive);
    AcceptedCommand accepted{std::move(command), *password, std::move(policies)};
    Wipe(*password);
    return accepted;
}

// The task's archives around one run, under the run's lock: the dated name and the earlier
// archive are picked once no other run can pick the same ones; Outlook, older archives and
// leftovers are seen to after it.
struct TaskArchives {
    std::string defaultArchive;
    bool dated = false;
    int keep = 0;                 // dated archives kept; older ones go only once the new one
                                  // has been read back whole and found sound
    std::string prunePassword;    // the older backups' manifests are read with the task's one
    bool restartOutlook = false;  // this run asked Outlook to quit
    std::string written;          // the archive the run writes, with the dated name when asked

    // With a dated name the run's default archive gives way to the new one, but only once the new
    // one is complete; without it the new archive replaces the old one in a single move.
    void Before(backup::BackupJob& job) {
        if (dated) {
            auto now = platform::Now();
            job.archivePath = DatedArchivePath(defaultArchive, now.year, now.month, now.day,
                                               now.hour, now.minute);
            job.earlierArchive = NewestDatedArchive(defaultArchive);
        }
        written = job.archivePath;
    }

    void After(const backup::BackupResult& outcome, const AppState& state,
               const backup_format::Choices& chosen) {
        if (restartOutlook && !outlook::OutlookRuns() && outlook::StartOutlook())
            WriteLog(state.paths.LogFile, OutlookRestartedLine(platform::NowText()));
        if (!outcome.Written()) return;
        written = outcome.archivePath;
        // Leftovers of ended runs may be the only complete copy (see RunBackup): they go only now.
        RemoveDatedLeftovers(defaultArchive);
        // Only a backup that holds every item asked for lets older ones go.
        if (outcome.outcome != recovery::RunOutcome::Completed) return;
        if (dated && defaultArchive != written && platform::fileio::IsFile(defaultArchive)) {
            platform::fileio::SetNormalAttributes(defaultArchive);
            platform::fileio::RemoveFile(defaultArchive);
        }
        const PruneJob prune{.logFile = state.paths.LogFile,
                             .defaultArchive = defaultArchive,
                             .written = written,
                             .writtenFlags = outcome.itemFlags,
                             .keep = keep,
                             .password = prunePassword,
                             .chosen = chosen,
                             .tempFolder = state.paths.TempFolder};
        const bool checked = outcome.check == backup::BackupCheck::Passed;
        if (checked && keep > 0) RemoveOlderDatedArchives(prune);
        // One archive: what runs that failed an item wrote beside it is held in the new one now.
        if (checked && !dated) RemoveIncompleteBesideArchives(prune);
    }
};

}  // namespace

AutoBackupResult RunAutoBackup(const AppState& state, const archive::ZipOptions& zip,
                               std::chrono::milliseconds waitForOtherRun, const WaitClock& clock) {
    AutoBackupResult result;
    std::optional<AcceptedCommand> accepted = AcceptCommand(state);
    if (!accepted) {
        result.refused = true;
        result.exitStatus = kExitNoArchive;
        return result;
    }
    const UnattendedCommand& command = accepted->command;
    auto setting = [&](const SettingKey& key) {
        return EffectiveSetting(accepted->policies, state.paths.SettingsFile, key);
    };
    // Outlook holds the data files open while it runs: closed when the user chose so, or waited
    // for, before anything is taken.
    const OutlookReadiness outlookReady =
        WaitForOutlookToLetGo(state, command.profile, ChosenItems(command.mask),
                              setting(kCloseOutlookForSchedule) == "1", clock);
    if (outlookReady.sessionEnded) {
        Wipe(accepted->password);
        result.exitStatus = kExitNoArchive;
        return result;
    }

    TaskArchives archives;
    archives.defaultArchive = command.archive;
    archives.dated = NewFileEachRun(setting(kNewFileEachRun));
    archives.restartOutlook = outlookReady.askedToQuit;
    archives.keep = archives.dated ? KeepDatedBackups(setting(kKeepDatedBackups)) : 0;
    backup::BackupJob job = backup::BackupJobFor(
        state, outlook::TakeInventory(state.environment, command.profile).locations,
        command.profile, ChosenItems(command.mask), command.archive);
    job.password = accepted->password;
    Wipe(accepted->password);
    job.note = "Automatic Backup";
    job.unattended = true;
    job.verify = job.verify || archives.keep > 0;
    job.waitForOtherRun = waitForOtherRun;
    if (archives.keep > 0 || !archives.dated) archives.prunePassword = job.password;
    const backup::BackupHooks hooks{
        .before = [&](backup::BackupJob& locked) { archives.Before(locked); },
        .after =
            [&](const backup::BackupResult& done) { archives.After(done, state, job.chosen); }};
    const backup::BackupResult outcome =
        backup::BackupUnderLock(job, hooks, state.environment, state.paths, zip);
    Wipe(job.password);
    Wipe(archives.prunePassword);
    result.itemFlags = outcome.itemFlags;
    result.exitStatus = ExitStatusFor(outcome);
    result.archivePath = archives.written;  // empty when another run kept this one out
    return result;
}

}  // namespace kestrine::schedule
