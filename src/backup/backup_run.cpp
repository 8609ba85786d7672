#include "backup/backup_run.h"

#include <algorithm>
#include <utility>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "archive/manifest.h"
#include "archive/zip_events_scope.h"
#include "backup/backup_steps.h"
#include "backup/handlers.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"

namespace kestrine::backup {
namespace {

namespace fileio = platform::fileio;

// Removes the run's temporary files however the run leaves.
class RunFilesCleanup {
  public:
    RunFilesCleanup(const std::string& manifestPath, const std::vector<std::string>& tempFiles)
        : manifestPath_(manifestPath), tempFiles_(tempFiles) {}
    ~RunFilesCleanup() {
        fileio::RemoveFile(manifestPath_);
        for (const auto& file : tempFiles_) fileio::RemoveFile(file);
    }
    RunFilesCleanup(const RunFilesCleanup&) = delete;
    RunFilesCleanup& operator=(const RunFilesCleanup&) = delete;

  private:
    const std::string& manifestPath_;
    const std::vector<std::string>& tempFiles_;
};

// Deletes a manifest staging file left from before and gives the manifest's header.
archive::ManifestHeader StartManifest(const BackupJob& job, const std::string& manifestPath) {
    if (fileio::Exists(manifestPath)) {
        platform::SetNormalAttributes(manifestPath);
        fileio::RemoveFile(manifestPath);
    }
    archive::ManifestHeader header;
    header.computer = job.computerName;
    header.logonUser = job.userName;
    header.identity = job.profile;
    header.time = platform::NowText();
    header.outlookVersion = job.outlookName;
    header.note = job.note;
    return header;
}

// The manifest is written whole once every text of it is known: only then can its encoding be
// chosen (ANSI when everything fits, so that earlier versions keep reading it).
bool WriteManifest(const std::string& manifestPath, const std::string& text) {
    fileio::RemoveFile(manifestPath);
    return platform::AppendBytes(manifestPath, archive::EncodeManifestFile(text));
}

}  // namespace

BackupResult RunBackup(const BackupJob& job, const ProgramPaths& paths, archive::ZipComponent& zip,
                       const archive::RunObserver& observer) {
    BackupResult result;
    std::vector<std::string> tempFiles;
    RunFilesCleanup cleanup(paths.ManifestPath, tempFiles);
    archive::ZipEventsScope events(zip);
    auto log = [&](const std::string& line) { WriteLog(paths.LogFile, line); };
    auto finish = [&](bool written) {
        log(written ? BackupEndLine(platform::NowText(), job.profile)
                    : BackupNotCompletedLine(platform::NowText(), job.profile));
        return result;
    };

    const archive::ManifestHeader header = StartManifest(job, paths.ManifestPath);
    std::vector<std::pair<std::string, std::string>> itemLines;
    log(LogSeparatorLine());
    log(job.unattended ? AutoBackupStartLine(platform::NowText(), job.profile)
                       : BackupStartLine(platform::NowText(), job.profile));
    log(BackupFileLine(platform::NowText(), job.archivePath));

    zip.CloseArchive();
    // What an earlier run left beside the archive when it was ended midway (the process killed,
    // the machine switched off); a run of this program writing that archive now holds its file.
    archive::RemoveLeftoverTemporaryFiles(job.archivePath);
    if (!zip.CreateArchive(job.archivePath)) {
        result.error = zip.LastError();
        return finish(false);
    }
    // The component encrypts entries as they are added: protection goes before the first entry.
    zip.ProtectEntries(!job.password.empty());
    if (!job.password.empty()) zip.SetWritingPassword(job.password);

    // Every chosen step finds its files first, so that the progress knows the bytes of the run.
    const HandlerContext ctx{job, paths.TempFolder, tempFiles};
    std::array<ItemPlan, archive::kItemCount> plans;
    uint64_t expected = 0;
    for (const BackupStep& step : BackupSteps()) {
        if (!StepRuns(step, job.chosen)) continue;
        ItemPlan& plan = plans[archive::IndexOf(step.item)] = PlanItem(step.item, ctx);
        if (plan.found)
            for (const auto& file : plan.files) expected += fileio::FileSize(file);
    }

    archive::Progress progress;
    progress.bytesExpected = expected;
    uint64_t doneBeforeFile = 0;
    zip.SetExpectedBytes(expected);
    // The component reports the bytes of the file it adds as it works through them, and asks
    // between the chunks of a large file whether to stop.
    zip.Events().EntryProgress = [&](const std::string&, uint64_t done, uint64_t) {
        if (!observer.progress) return;
        progress.bytesDone = std::min(expected, doneBeforeFile + done);
        observer.progress(progress);
    };
    zip.Events().CancelRequested = observer.cancelRequested;
    // A cancellation, or an archive that can no longer be written (a full disk, a device gone),
    // ends the run: the archive is abandoned and the older file at its path stays as it was.
    auto abandon = [&] {
        result.cancelled = zip.LastErrorKind() == archive::ZipError::Cancelled;
        if (!result.cancelled) result.error = zip.LastError();
        zip.CloseArchive();
        return finish(false);
    };
    auto archiveDead = [&] {
        return zip.LastErrorKind() == archive::ZipError::Cancelled || zip.ArchiveWriteFailed();
    };

    for (const BackupStep& step : BackupSteps()) {
        const size_t index = archive::IndexOf(step.item);
        if (!StepRuns(step, job.chosen)) {
            if (observer.stepFinished) observer.stepFinished(step.item, StepOutcome::NotRun);
            continue;
        }
        if (observer.stepStarted) observer.stepStarted(step.item);
        const ItemPlan& plan = plans[index];
        bool ok = plan.found;
        for (size_t f = 0; ok && f < plan.files.size(); ++f) {
            if (observer.Cancelled()) {
                result.cancelled = true;
                zip.CloseArchive();
                return finish(false);
            }
            progress.item = step.item;
            progress.file = base::BaseName(plan.files[f]);
            progress.bytesDone = doneBeforeFile;
            if (observer.progress) observer.progress(progress);
            // A file that cannot be read whole (Outlook holding it) fails the item only.
            ok = zip.AddFile(plan.files[f]);
            if (!ok && archiveDead()) {
                result.outcomes[index] = StepOutcome::Failed;
                return abandon();
            }
            doneBeforeFile += fileio::FileSize(plan.files[f]);
        }
        // The manifest line goes last: entries of a failed item stay unlisted, so no restore sees
        // them.
        if (ok) {
            itemLines.emplace_back(archive::ManifestKey(step.item), plan.manifestValue);
            if (step.item == Item::DataFiles && !plan.dataFileStores.empty())
                itemLines.emplace_back(archive::kKeyDataFileStores, plan.dataFileStores);
        }
        result.outcomes[index] = ok ? StepOutcome::Succeeded : StepOutcome::Failed;
        const auto& loggedAs = job.unattended ? step.unattendedLoggedAs : step.loggedAs;
        if (loggedAs) log(BackupItemLine(platform::NowText(), LogItemName(*loggedAs), ok));
        if (observer.stepFinished) observer.stepFinished(step.item, result.outcomes[index]);
    }
    result.itemFlags = ItemFlagsFrom(result.outcomes);

    // Without its manifest the archive is no backup at all: such an archive is never written.
    bool manifestOk = WriteManifest(paths.ManifestPath,
                                    archive::ManifestText(header, itemLines, result.itemFlags));
    if (manifestOk) {
        platform::SetNormalAttributes(paths.ManifestPath);
        manifestOk = zip.AddFile(paths.ManifestPath);
        if (!manifestOk && archiveDead()) return abandon();
    }
    if (!manifestOk) {
        result.error = "The manifest " + paths.ManifestPath + " could not be added.";
        if (!zip.LastError().empty()) result.error += " " + zip.LastError();
        zip.CloseArchive();
        return finish(false);
    }
    if (observer.Cancelled()) {
        result.cancelled = true;
        zip.CloseArchive();
        return finish(false);
    }
    archive::WriteResult written = zip.WriteArchive();
    if (!written.ok && zip.LastErrorKind() == archive::ZipError::Cancelled) return abandon();
    zip.CloseArchive();
    result.written = written.ok;
    if (!written.ok) result.error = written.error.empty() ? zip.LastError() : written.error;
    if (result.written && observer.progress && expected != 0) {
        progress.bytesDone = expected;
        observer.progress(progress);
    }
    return finish(result.written);
}

}  // namespace kestrine::backup
