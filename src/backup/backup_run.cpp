#include "backup/backup_run.h"

#include <algorithm>
#include <utility>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/run_folder.h"
#include "archive/manifest.h"
#include "backup/backup_steps.h"
#include "backup/handlers.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/run_lock.h"
#include "platform/system.h"
#include "restore/restore_run.h"

namespace kestrine::backup {
namespace {

namespace fileio = platform::fileio;

// The manifest's header, lines 1..6.
archive::ManifestHeader ManifestHeaderFor(const BackupJob& job) {
    archive::ManifestHeader header;
    header.computer = job.computerName;
    header.logonUser = job.userName;
    header.identity = job.profile;
    header.time = platform::NowText();
    header.outlookVersion = job.outlookName;
    header.note = job.note;
    return header;
}

// The run's observer as the zip component hears it: the bytes of the file being added move the
// run's progress, the run's cancel stops the component between chunks, and a backup that is to be
// checked is read back before it replaces anything.
class RunZipObserver final : public archive::ZipObserver {
  public:
    explicit RunZipObserver(const archive::RunObserver& run) : run_(run) {}
    std::function<void(uint64_t done)> entryBytes;
    std::function<bool(const std::string& finishedPath)> check;

  private:
    void EntryProgress(const std::string&, uint64_t done, uint64_t) override {
        if (entryBytes) entryBytes(done);
    }
    bool CancelRequested() override { return run_.Cancelled(); }
    bool CheckFinished(const std::string& finishedPath) override {
        return !check || check(finishedPath);
    }
    const archive::RunObserver& run_;
};

// Reads the finished archive at `path` back as a restore would: every entry decrypted, inflated and
// checked, and each one that went in is there.
struct ArchiveCheck {
    bool cancelled = false;
    std::string error;

    bool Run(const std::string& path, const std::string& password, size_t entriesAdded,
             const std::string& manifestText, const std::string& workFolder,
             const archive::RunObserver& observer) {
        if (observer.checking) observer.checking();
        archive::ZipComponent reader;
        RunZipObserver cancel(observer);
        Status read = reader.OpenArchive(path);
        if (read) {
            reader.SetReadingPassword(password);
            read = reader.TestEntries(cancel);
        }
        bool ok = read.ok();
        if (!ok) {
            cancelled = read.kind() == Failure::Cancelled;
            error = read.message();
        } else if (reader.Entries().size() != entriesAdded) {
            ok = false;
            error = "the archive holds " + std::to_string(reader.Entries().size()) +
                    " entries instead of " + std::to_string(entriesAdded);
        } else if (!ManifestReadsBack(reader, manifestText, workFolder)) {
            ok = false;
            error = "its manifest does not read back as it was written";
        }
        return ok;
    }

    // The manifest is read back the way a restore reads it, and must say what was written: a name
    // that breaks a line would otherwise make the backup unreadable without anyone noticing.
    static bool ManifestReadsBack(archive::ZipComponent& reader, const std::string& written,
                                  const std::string& workFolder) {
        const auto entry = reader.FindLastEntry(archive::kManifestName);
        if (!entry || entry->uncompressedSize > archive::kManifestSizeLimit) return false;
        const std::string temp = platform::CreateTempFile(workFolder, "KSC");
        std::string bytes;
        const bool read = !temp.empty() && reader.ExtractToFile(*entry, temp) &&
                          platform::ReadWholeFile(temp, bytes);
        fileio::RemoveFile(temp);
        if (!read) return false;
        const archive::Manifest back =
            archive::ReadManifestText(archive::DecodeManifestFile(bytes));
        const archive::Manifest meant = archive::ReadManifestText(written);
        return back.valid && meant.valid && back.itemFlags == meant.itemFlags &&
               back.entries == meant.entries && back.dataFileStores == meant.dataFileStores &&
               back.header.identity == meant.header.identity;
    }
};

}  // namespace

BackupResult RunBackup(const BackupJob& job, const ProgramPaths& paths, archive::ZipComponent& zip,
                       const archive::RunObserver& observer) {
    BackupResult result;
    auto log = [&](const std::string& line) { WriteLog(paths.LogFile, line); };
    // One run at a time: a scheduled backup never writes beside a backup or restore that works.
    const auto lock = platform::RunLock::Take(job.waitForOtherRun, observer.cancelRequested);
    if (!lock) {
        result.cancelled = observer.Cancelled();
        result.busy = !result.cancelled;
        if (result.busy)
            log(BackupNotStartedLine(platform::NowText(), job.profile, job.unattended));
        return result;
    }
    // A restore that was ended midway goes back first: a half-restored profile is never backed up.
    const auto recovered =
        restore::RecoverUnfinishedRestores(paths.UndoFolder, restore::RegistryKeyKeeper());
    if (recovered.sets > 0) log(RestoreRecoveredLine(platform::NowText(), recovered.ok));
    RemoveLeftoverRunFolders(paths.TempFolder);
    const RunFolder work(paths.TempFolder);
    // Its name is the manifest entry's name; the folder is the run's own.
    const std::string manifestPath = base::JoinPath(work.Path(), archive::kManifestName);
    std::vector<std::string> tempFiles;
    auto finish = [&](bool written) {
        log(written ? BackupEndLine(platform::NowText(), job.profile)
                    : BackupNotCompletedLine(platform::NowText(), job.profile));
        return result;
    };

    const archive::ManifestHeader header = ManifestHeaderFor(job);
    std::vector<std::pair<std::string, std::string>> itemLines;
    log(LogSeparatorLine());
    log(job.unattended ? AutoBackupStartLine(platform::NowText(), job.profile)
                       : BackupStartLine(platform::NowText(), job.profile));
    log(BackupFileLine(platform::NowText(), job.archivePath));
    if (work.Path().empty()) {
        result.error = "No folder for the run's files could be made in " + paths.TempFolder + ".";
        return finish(false);
    }
    if (!recovered.ok) {
        result.error =
            "A restore that was ended midway could not be put back; the profile is not "
            "backed up until it is.";
        return finish(false);
    }

    zip.CloseArchive();
    if (Status created = zip.CreateArchive(job.archivePath); !created) {
        result.error = created.message();
        return finish(false);
    }
    // The component encrypts entries as they are added: protection goes before the first entry.
    zip.ProtectEntries(!job.password.empty());
    if (!job.password.empty()) zip.SetWritingPassword(job.password);

    // Every chosen step finds its files first, so that the progress knows the bytes of the run.
    const HandlerContext ctx{job, work.Path(), tempFiles};
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
    RunZipObserver zipObserver(observer);
    zipObserver.entryBytes = [&](uint64_t done) {
        if (!observer.progress) return;
        progress.bytesDone = std::min(expected, doneBeforeFile + done);
        observer.progress(progress);
    };
    // A cancellation, or an archive that can no longer be written (a full disk, a device gone),
    // ends the run: the archive is abandoned and the older file at its path stays as it was.
    auto abandon = [&](const Status& why) {
        result.cancelled = why.kind() == Failure::Cancelled;
        if (!result.cancelled) result.error = why.message();
        zip.CloseArchive();
        return finish(false);
    };
    auto archiveDead = [](const Status& added) {
        return added.kind() == Failure::Cancelled || added.kind() == Failure::WriteFailed;
    };
    // The manifest is staged beside the archive's entries, written whole once every text of it is
    // known: only then can its encoding be chosen (ANSI when everything fits, so that earlier
    // versions keep reading it). A staging file that cannot be written (the disk is full) leaves no
    // manifest to finish, so the run ends.
    std::optional<archive::StagedContent> manifestStaged;
    auto writeManifest = [&](const std::string& text) {
        const std::string bytes = archive::EncodeManifestFile(text);
        manifestStaged = archive::StagedContentOf(bytes);
        if (platform::AppendBytes(manifestPath, bytes)) return true;
        result.error = "The manifest " + manifestPath + " could not be written.";
        zip.CloseArchive();
        return false;
    };
    size_t entriesAdded = 0;

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
            // A file that cannot be read whole (Outlook holding it) fails the item only, and so
            // does a staged export that no longer holds what the run wrote into it.
            const Status added = zip.AddFile(
                plan.files[f], plan.entryNames.empty() ? std::string() : plan.entryNames[f],
                f == 0 ? plan.staged : std::nullopt, zipObserver);
            ok = added.ok();
            if (archiveDead(added)) {
                result.outcomes[index] = StepOutcome::Failed;
                return abandon(added);
            }
            if (ok) ++entriesAdded;
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
    const std::string manifestText = archive::ManifestText(header, itemLines, result.itemFlags);
    if (!writeManifest(manifestText)) return finish(false);
    platform::SetNormalAttributes(manifestPath);
    if (Status added = zip.AddFile(manifestPath, {}, manifestStaged, zipObserver); !added) {
        if (archiveDead(added)) return abandon(added);
        result.error = "The manifest " + manifestPath + " could not be added. " + added.message();
        zip.CloseArchive();
        return finish(false);
    }
    ++entriesAdded;
    if (observer.Cancelled()) {
        result.cancelled = true;
        zip.CloseArchive();
        return finish(false);
    }
    ArchiveCheck check;
    if (job.verify) {
        // Read back before it replaces anything: a bad new archive never costs the last good one.
        zipObserver.check = [&](const std::string& finished) {
            return check.Run(finished, job.password, entriesAdded, manifestText, work.Path(),
                             observer);
        };
    }
    const Status written = zip.WriteArchive(zipObserver);
    if (written.kind() == Failure::Cancelled) return abandon(written);
    zip.CloseArchive();
    result.written = written.ok();
    result.verified = written.ok() && job.verify;
    result.checkFailed = !written.ok() && !check.error.empty() && !check.cancelled;
    result.cancelled = check.cancelled;
    if (!written.ok()) result.error = !check.error.empty() ? check.error : written.message();
    // What an earlier run left beside the archive when it was ended midway (the process killed, the
    // machine switched off) goes only once this archive is in place: on a FAT or exFAT drive a
    // replacement is not one step, and such a leftover may be the only complete copy. No other run
    // works while this one holds the lock.
    if (written) archive::RemoveLeftoverTemporaryFiles(job.archivePath);
    if (result.verified) log(BackupVerifiedLine(platform::NowText()));
    if (result.checkFailed) log(BackupNotVerifiedLine(platform::NowText(), result.error));
    if (result.written && observer.progress && expected != 0) {
        progress.bytesDone = expected;
        observer.progress(progress);
    }
    return finish(result.written);
}

}  // namespace kestrine::backup
