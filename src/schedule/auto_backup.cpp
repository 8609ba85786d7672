#include "schedule/auto_backup.h"

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/settings.h"
#include "archive/zip_component.h"
#include "archive/zip_instance.h"
#include "backup/backup_engine.h"
#include "backup/backup_steps.h"
#include "base/path.h"
#include "outlook/locations.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "schedule/command_line.h"
#include "schedule/unattended.h"

namespace kestrine::schedule {

AutoBackupResult RunAutoBackup(AppState& state) {
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
    state.TargetFile = command.archive;
    bool dated = SettingIsOn("autobackup", "autobackupfile");
    if (dated) {
        auto now = platform::Now();
        state.TargetFile =
            DatedArchivePath(command.archive, now.year, now.month, now.day, now.hour, now.minute);
    }
    result.archivePath = state.TargetFile;

    state.AccountsKey =
        outlook::ProfileKey(state.ProfilesRoot, command.profile) + "\\" + outlook::kAccountsSubkey;

    const std::string logPath = base::JoinPath(state.AppFolder, "brlog.dat");
    auto log = [&](const std::string& line) { WriteLog(logPath, line); };

    backup::StartManifest(state, {command.profile, "Automatic Backup"});
    log(LogSeparatorLine());
    log(AutoBackupStartLine(platform::NowText(), command.profile));
    log(BackupFileLine(platform::NowText(), state.TargetFile));

    archive::ZipComponent& zip = archive::Zip();
    zip.SetWorkFolder(state.AppFolder);
    backup::ArchiveJob job;
    job.archivePath = state.TargetFile;
    job.profile = command.profile;
    job.chosen = ChosenItems(command.mask);
    job.protect = !command.password.empty();
    job.password = command.password;
    job.afterStep = [&](const backup::BackupStep& step, backup::StepOutcome outcome) {
        if (outcome == backup::StepOutcome::NotRun || step.autoItemName == nullptr) return;
        log(BackupItemLine(platform::NowText(), step.autoItemName,
                           outcome == backup::StepOutcome::Succeeded));
    };
    backup::ArchiveOutcome outcome = backup::BuildArchive(state, zip, job);
    result.itemFlags = outcome.itemFlags;
    result.exitStatus = backup::ExitStatusFor(outcome.written, outcome.outcomes);

    if (outcome.written) {
        if (dated && defaultArchive != state.TargetFile &&
            platform::fileio::IsFile(defaultArchive)) {
            platform::SetNormalAttributes(defaultArchive);
            platform::fileio::RemoveFile(defaultArchive);
        }
        log(BackupEndLine(platform::NowText(), command.profile));
    } else {
        log(backup::BackupNotCompletedLine(platform::NowText(), command.profile));
    }
    return result;
}

}  // namespace kestrine::schedule
