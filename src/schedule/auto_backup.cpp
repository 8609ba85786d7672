#include "schedule/auto_backup.h"

#include "app/settings.h"
#include "backup/backup_run.h"
#include "outlook/inventory.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "schedule/command_line.h"
#include "schedule/unattended.h"

namespace kestrine::schedule {

namespace {

int ExitStatusFor(const backup::BackupResult& result) {
    if (!result.written) return kExitNoArchive;
    for (auto outcome : result.outcomes)
        if (outcome == archive::StepOutcome::Failed) return kExitItemFailed;
    return kExitAllSucceeded;
}

}  // namespace

AutoBackupResult RunAutoBackup(const AppState& state, archive::ZipComponent& zip) {
    AutoBackupResult result;
    UnattendedCommand command = ParseUnattendedTail(state.CommandLine);
    if (!command.ok()) {
        result.refused = true;
        result.exitStatus = kExitNoArchive;
        return result;
    }

    // With a dated name the run's default archive gives way to the new one, but only once the new
    // one is complete; without it the new archive replaces the old one in a single move.
    const std::string defaultArchive = command.archive;
    result.archivePath = command.archive;
    const bool dated = SettingIsOn(state.SettingsFile, "autobackup", "autobackupfile");
    if (dated) {
        auto now = platform::Now();
        result.archivePath =
            DatedArchivePath(command.archive, now.year, now.month, now.day, now.hour, now.minute);
    }

    backup::BackupJob job;
    job.archivePath = result.archivePath;
    job.profile = command.profile;
    job.chosen = ChosenItems(command.mask);
    job.password = command.password;
    job.note = "Automatic Backup";
    job.unattended = true;
    job.computerName = state.ComputerName;
    job.userName = state.UserName;
    job.outlookName = state.OutlookName;
    job.profilesRoot = state.ProfilesRoot;
    job.locations = outlook::TakeInventory(state, command.profile).locations;
    const backup::BackupResult outcome = backup::RunBackup(job, state, zip);
    result.itemFlags = outcome.itemFlags;
    result.exitStatus = ExitStatusFor(outcome);

    if (outcome.written && dated && defaultArchive != result.archivePath &&
        platform::fileio::IsFile(defaultArchive)) {
        platform::SetNormalAttributes(defaultArchive);
        platform::fileio::RemoveFile(defaultArchive);
    }
    return result;
}

}  // namespace kestrine::schedule
