#include "backup/backup_run.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/policy.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "backup/backup_steps.h"
#include "backup/complete_backup.h"
#include "backup/handlers.h"
#include "backup_format/manifest.h"
#include "base/path.h"
#include "base/secret.h"
#include "base/text.h"
#include "outlook/detection.h"
#include "outlook/profile_data.h"
#include "outlook/stores.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "recovery/run_skeleton.h"

namespace kestrine::backup {
namespace {

namespace fileio = platform::fileio;

constexpr const char* kMailOnServerLine =
    "Backup Personal Folders: the mail of this profile is kept on the server, so there is no data "
    "file to back up.";

// The manifest's header, lines 1..6.
backup_format::ManifestHeader ManifestHeaderFor(const BackupJob& job) {
    backup_format::ManifestHeader header;
    header.computer = job.computerName;
    header.logonUser = job.userName;
    header.identity = job.profile;
    header.time = platform::NowText();
    header.outlookVersion = job.outlookName;
    header.note = job.note;
    return header;
}

// Reads the finished archive at `path` back as a restore would: every entry decrypted, inflated and
// checked, and each one that went in is there.
struct ArchiveCheck {
    bool cancelled = false;
    std::string error;

    bool Run(const std::string& path, const std::string& password, size_t entriesAdded,
             const std::string& manifestText, const std::string& workFolder,
             const backup_format::RunObserver& observer) {
        observer.checking();
        archive::ArchiveReader reader;
        backup_format::RunZipObserver cancel(observer.stop);
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
    static bool ManifestReadsBack(archive::ArchiveReader& reader, const std::string& written,
                                  const std::string& workFolder) {
        const auto entry = reader.FindLastEntry(backup_format::kManifestName);
        if (!entry || entry->uncompressedSize > backup_format::kManifestSizeLimit) return false;
        std::string temp;
        if (!fileio::CreateTempFile(workFolder, "KSC", temp)) return false;
        std::optional<std::string> bytes;
        if (reader.ExtractToFile(*entry, temp)) bytes = fileio::ReadWholeFile(temp);
        fileio::RemoveFile(temp);
        if (!bytes) return false;
        const backup_format::Manifest back =
            backup_format::ReadManifestText(backup_format::DecodeManifestFile(*bytes));
        const backup_format::Manifest meant = backup_format::ReadManifestText(written);
        return back.valid && meant.valid && back.itemFlags == meant.itemFlags &&
               back.entries == meant.entries && back.dataFileStores == meant.dataFileStores &&
               back.header.identity == meant.header.identity;
    }
};

// One backup run as the run skeleton drives it: the archive begun, one step per item, the
// archive written. It holds its writer for the run's life.
class ArchiveBuilder final : public recovery::RunPlan {
  public:
    ArchiveBuilder(BackupJob& job, const ProgramPaths& paths, const archive::ZipOptions& zip,
                   const backup_format::RunObserver& observer)
        : job_(job), paths_(paths), zip_(zip), observer_(observer), zipObserver_(observer.stop) {}

    BackupResult& Result() { return result_; }

    std::string BusyLine(const std::string& now) const override {
        return BackupNotStartedLine(now, job_.profile, job_.unattended);
    }

    bool Begin(const recovery::RunStart& start) override {
        work_ = start.folder;
        // Its name is the manifest entry's name; the folder is the run's own.
        manifestPath_ = base::JoinPath(work_, backup_format::kManifestName);
        LeaveOutMailOnServer();
        LogStart();
        if (Work().empty())
            return Fail("No folder for the run's files could be made in " + paths_.TempFolder +
                        ".");
        if (!start.recovered.ok)
            return Fail(
                "A restore that was ended midway could not be put back; the profile is not "
                "backed up until it is." +
                std::string(start.recovered.notPutBack.empty()
                                ? ""
                                : " Start Kestrine to see what could not be put back, and to "
                                  "keep the profile as it is if you wish."));
        // The writer protects every entry with the job's password, or none. An archive that is
        // not finished is abandoned when the writer goes, on every way out of the run, and the
        // older file at its path stays as it was.
        writer_.emplace(archive::EntryProtection::ForPassword(job_.password), zip_);
        if (Status created = writer_->CreateArchive(job_.archivePath); !created) {
            // Refused although the folder's permissions allow it: Windows Security, which tells
            // only by a notification of its own.
            const std::string folder = base::FolderPart(job_.archivePath);
            if (platform::fileio::ControlledFolderAccessBlocks(folder)) {
                result_.blockedFolder = folder;
                Log(BackupFolderBlockedLine(platform::NowText(), folder));
            }
            return Fail(created.message());
        }
        if (result_.mailOnServer) Log(platform::NowText() + " " + kMailOnServerLine);
        ReuseTheEarlierBackup();
        PlanChosenItems();
        FollowTheComponent();
        began_ = true;
        return true;
    }

    size_t StepCount() const override { return BackupSteps().size(); }
    bool StepRuns(size_t step) const override {
        return backup::StepRuns(BackupSteps()[step], job_.chosen);
    }

    // False when the run must end: a cancellation, or an archive that can no longer be written
    // (a full disk, a device gone).
    bool RunStep(size_t index) override {
        const Step& step = BackupSteps()[index];
        if (!StepRuns(index)) {
            observer_.stepFinished(step.item, StepOutcome::NotRun);
            return true;
        }
        observer_.stepStarted(step.item);
        const std::optional<bool> ok = AddItemFiles(step.item);
        ended_ = !ok;
        if (ok) FinishStep(step, *ok);
        return ok.has_value();
    }

    recovery::RunOutcome Finish(bool stopped) override {
        cancelledBetweenFiles_ = cancelledBetweenFiles_ || stopped;
        if (began_) WriteWhatWentIn();
        // The end line, for every run that began.
        Log(written_ ? BackupEndLine(platform::NowText(), job_.profile)
                     : BackupNotCompletedLine(platform::NowText(), job_.profile));
        writer_.reset();
        result_.check = verified_      ? BackupCheck::Passed
                        : checkFailed_ ? BackupCheck::Failed
                                       : BackupCheck::NotAsked;
        if (cancelled_) return recovery::RunOutcome::Cancelled;
        if (!written_) return recovery::RunOutcome::Failed;
        return complete_ ? recovery::RunOutcome::Completed : recovery::RunOutcome::Incomplete;
    }

  private:
    using Step = BackupStep;

    // After the steps: the manifest goes in last and the archive is written, unless the run was
    // cancelled or its archive died.
    void WriteWhatWentIn() {
        if (cancelledBetweenFiles_ || ended_) return Abandon();
        TakeContents();
        result_.itemFlags = ItemFlagsFrom(result_.outcomes);
        // Without its manifest the archive is no backup at all: such an archive is never
        // written.
        if (!contentsLine_.empty())
            itemLines_.emplace_back(backup_format::kKeyContents, contentsLine_);
        const std::string manifestText =
            backup_format::ManifestText(ManifestHeaderFor(job_), itemLines_, result_.itemFlags);
        if (!AddManifest(manifestText)) return;
        if (observer_.Cancelled()) {
            cancelled_ = true;
            return;
        }
        WriteArchive(manifestText);
    }

    // A profile that keeps its mail on a server only has no data file to back up: Personal
    // Folders is then left out, which is no failure, and the log says why. Read once the profile
    // is whole.
    void LeaveOutMailOnServer() {
        if (!outlook::IsBlankName(job_.profile))
            stores_ =
                outlook::ReadProfileStores(outlook::ProfileKey(job_.profilesRoot, job_.profile));
        auto& personal = job_.chosen[backup_format::IndexOf(Choice::PersonalFolders)];
        result_.mailOnServer = personal && outlook::MailOnServerOnly(stores_);
        if (result_.mailOnServer) personal = false;
    }

    void LogStart() {
        Log(LogSeparatorLine());
        Log(job_.unattended ? AutoBackupStartLine(platform::NowText(), job_.profile)
                            : BackupStartLine(platform::NowText(), job_.profile));
        Log(BackupFileLine(platform::NowText(), job_.archivePath));
    }

    // Every chosen step finds its files first, so that the progress knows the bytes of the run.
    void PlanChosenItems() {
        const HandlerContext ctx{job_, Work(), tempFiles_};
        for (const Step& step : BackupSteps()) {
            if (!backup::StepRuns(step, job_.chosen)) continue;
            ItemPlan& plan = plans_[backup_format::IndexOf(step.item)] = PlanItem(step.item, ctx);
            if (step.item == Item::DataFiles && !plan.found) plan.cause = MissingDataFiles();
            if (plan.found)
                for (const auto& file : plan.files) expected_ += fileio::FileSize(file);
        }
        progress_.bytesExpected = expected_;
    }

    // Why the data files found nothing, when the files the profile names are missing.
    std::string MissingDataFiles() const {
        std::string paths;
        for (const auto& store : stores_)
            if (store.kind == outlook::StoreKind::PersonalFolders && store.missing)
                paths += (paths.empty() ? "" : ", ") + store.path;
        return paths.empty() ? std::string() : "the profile's data file is missing: " + paths;
    }

    // Last week's backup mostly holds what the data files still hold: its pieces that prove equal
    // are copied instead of compressed. What cannot serve is logged, never a failure.
    void ReuseTheEarlierBackup() {
        const std::string earlier =
            job_.earlierArchive.empty() ? job_.archivePath : job_.earlierArchive;
        if (!platform::fileio::IsFile(earlier)) return;
        writer_->ReuseFrom(earlier, job_.password);
        zipObserver_.earlierUnused = [this, earlier](const std::string& why) {
            Log(EarlierBackupUnusedLine(platform::NowText(), earlier, why));
        };
    }

    // The component reports the bytes of the file it adds as it works through them, and asks
    // between the chunks of a large file whether to stop.
    void FollowTheComponent() {
        writer_->SetExpectedBytes(expected_);
        zipObserver_.held = [this](const std::string& path) {
            Log(BackupFileHeldLine(platform::NowText(), path));
        };
        zipObserver_.entryBytes = [this](uint64_t done) {
            progress_.bytesDone = std::min(expected_, doneBeforeFile_ + done);
            observer_.progress(progress_);
        };
    }

    // The item's files into the archive: whether all went in, nothing when the run must end.
    std::optional<bool> AddItemFiles(Item item) {
        const ItemPlan& plan = plans_[backup_format::IndexOf(item)];
        bool ok = plan.found;
        if (!ok)
            causes_[backup_format::IndexOf(item)] =
                plan.cause.empty() ? "nothing of it was found" : plan.cause;
        for (size_t f = 0; ok && f < plan.files.size(); ++f) {
            if (observer_.Cancelled()) {
                cancelledBetweenFiles_ = true;
                return std::nullopt;
            }
            progress_.item = item;
            progress_.file = base::BaseName(plan.files[f]);
            progress_.bytesDone = doneBeforeFile_;
            observer_.progress(progress_);
            // A file that cannot be read whole (Outlook holding it) fails the item only, and so
            // does a staged export that no longer holds what the run wrote into it.
            const Status added = writer_->AddFile(
                plan.files[f], plan.entryNames.empty() ? std::string() : plan.entryNames[f],
                f == 0 ? plan.staged : std::nullopt, zipObserver_);
            ok = added.ok();
            if (!ok) causes_[backup_format::IndexOf(item)] = added.message();
            if (ArchiveDead(added)) {
                result_.outcomes[backup_format::IndexOf(item)] = StepOutcome::Failed;
                return std::nullopt;
            }
            if (ok) ++entriesAdded_;
            doneBeforeFile_ += fileio::FileSize(plan.files[f]);
        }
        return ok;
    }

    // What the backup holds and cannot hold, for the log, the manifest and the completion message:
    // the data files that went in, the accounts whose mail stays on the server (their offline
    // stores are never backed up), the data files the profile names that are missing, and .pst
    // files in Outlook's usual folders that the profile does not use.
    void TakeContents() {
        backup_format::BackupContents& c = result_.contents;
        const ItemPlan& data = plans_[backup_format::IndexOf(Item::DataFiles)];
        if (result_.outcomes[backup_format::IndexOf(Item::DataFiles)] == StepOutcome::Succeeded)
            for (size_t f = 0; f < data.files.size(); ++f)
                c.dataFiles.push_back(
                    {data.entryNames.empty() ? base::BaseName(data.files[f]) : data.entryNames[f],
                     fileio::FileSize(data.files[f])});
        auto listed = [](const auto& list, const std::string& name) {
            return std::any_of(list.begin(), list.end(),
                               [&](const auto& e) { return base::EqualsNoCase(NameOf(e), name); });
        };
        for (const auto& store : stores_) {
            if (store.kind != outlook::StoreKind::PersonalFolders) {
                if (!listed(c.serverAccounts, store.account))
                    c.serverAccounts.push_back(store.account);
            } else if (store.missing && !listed(c.missing, store.path)) {
                c.missing.push_back({store.path, 0});
            }
        }
        for (const auto& loose :
             outlook::UnattachedDataFiles(job_.locations.DataFileFolders, stores_))
            c.unattached.push_back({loose.path, loose.size});
        for (const auto& line : backup_format::DescribeContents(c))
            Log(platform::NowText() + " " + line);
        if (const std::string value = backup_format::EncodeContents(c); !value.empty())
            contentsLine_ = value;
    }
    static const std::string& NameOf(const std::string& name) { return name; }
    static const std::string& NameOf(const backup_format::ContentsFile& file) { return file.name; }

    // The manifest line goes last: entries of a failed item stay unlisted, so no restore sees
    // them.
    void FinishStep(const Step& step, bool ok) {
        const size_t index = backup_format::IndexOf(step.item);
        const ItemPlan& plan = plans_[index];
        if (ok) {
            itemLines_.emplace_back(backup_format::ManifestKey(step.item), plan.manifestValue);
            if (step.item == Item::DataFiles && !plan.dataFileStores.empty())
                itemLines_.emplace_back(backup_format::kKeyDataFileStores, plan.dataFileStores);
        }
        result_.outcomes[index] = ok ? StepOutcome::Succeeded : StepOutcome::Failed;
        const auto& loggedAs = job_.unattended ? step.unattendedLoggedAs : step.loggedAs;
        if (loggedAs) Log(BackupItemLine(platform::NowText(), LogItemName(*loggedAs), ok));
        // Why, for whoever reads the log after a scheduled run that nobody watched.
        if (loggedAs && !ok && !causes_[index].empty())
            Log(ItemCauseLine(platform::NowText(), LogItemName(*loggedAs), causes_[index]));
        observer_.stepFinished(step.item, result_.outcomes[index]);
    }

    // The manifest is staged beside the archive's entries, written whole once every text of it
    // is known: only then can its encoding be chosen (ANSI when everything fits, so that earlier
    // versions keep reading it). A staging file that cannot be written (the disk is full) leaves
    // no manifest to finish, so the run ends.
    bool AddManifest(const std::string& text) {
        const std::string bytes = backup_format::EncodeManifestFile(text);
        const archive::StagedContent staged = archive::StagedContentOf(bytes);
        if (!fileio::AppendBytes(manifestPath_, bytes)) {
            result_.error = "The manifest " + manifestPath_ + " could not be written.";
            return false;
        }
        fileio::SetNormalAttributes(manifestPath_);
        if (Status added = writer_->AddFile(manifestPath_, {}, staged, zipObserver_); !added) {
            if (ArchiveDead(added)) {
                TakeTheComponentsCause();
                return false;
            }
            result_.error =
                "The manifest " + manifestPath_ + " could not be added. " + added.message();
            return false;
        }
        ++entriesAdded_;
        return true;
    }

    // The archive written, read back first when the job asks, and the run's end.
    void WriteArchive(const std::string& manifestText) {
        PlaceArchive();
        ArchiveCheck check;
        if (job_.verify) {
            // Read back before it replaces anything: a bad new archive never costs the last good
            // one.
            zipObserver_.check = [&](const std::string& finished) {
                return check.Run(finished, job_.password, entriesAdded_, manifestText, Work(),
                                 observer_);
            };
        }
        const Status written = writer_->WriteArchive(zipObserver_);
        if (written.kind() == Failure::Cancelled) {
            deadCause_ = written;
            return Abandon();
        }
        writer_.reset();
        written_ = written.ok();
        verified_ = written.ok() && job_.verify;
        checkFailed_ = !written.ok() && !check.error.empty() && !check.cancelled;
        cancelled_ = check.cancelled;
        if (!written.ok()) result_.error = !check.error.empty() ? check.error : written.message();
        // What an earlier run left beside the archive when it was ended midway (the process
        // killed, the machine switched off) goes only once this archive is in place: on a FAT or
        // exFAT drive a replacement is not one step, and such a leftover may be the only complete
        // copy. No other run works while this one holds the lock.
        if (written) archive::RemoveLeftoverTemporaryFiles(job_.archivePath);
        if (verified_) Log(BackupVerifiedLine(platform::NowText()));
        if (written && !result_.keptArchive.empty())
            Log(BackupKeptLine(platform::NowText(), result_.keptArchive, result_.archivePath));
        if (checkFailed_) Log(BackupNotVerifiedLine(platform::NowText(), result_.error));
        if (written_ && observer_.progress && expected_ != 0) {
            progress_.bytesDone = expected_;
            observer_.progress(progress_);
        }
    }

    // A backup that failed an item never replaces a complete one (nor one that may be, protected
    // with another password): it goes beside it, under the name with the date and time.
    void PlaceArchive() {
        result_.archivePath = job_.archivePath;
        complete_ = HoldsAllChosen(result_.itemFlags, job_.chosen);
        if (complete_ ||
            !WorthKeeping(CompletenessOf(job_.archivePath, job_.password, job_.chosen, Work())))
            return;
        const platform::LocalTime now = platform::Now();
        result_.archivePath =
            DatedArchivePath(job_.archivePath, now.year, now.month, now.day, now.hour, now.minute);
        result_.keptArchive = job_.archivePath;
        writer_->PlaceArchiveAt(result_.archivePath);
    }

    // A cancellation, or an archive that can no longer be written: the run ends, and the
    // component's word on why is kept for the result.
    bool ArchiveDead(const Status& step) {
        const bool dead = step.kind() == Failure::Cancelled || step.kind() == Failure::WriteFailed;
        if (dead) deadCause_ = step;
        return dead;
    }

    void TakeTheComponentsCause() {
        cancelled_ = deadCause_.kind() == Failure::Cancelled;
        if (!cancelled_) result_.error = deadCause_.message();
    }

    // A cancellation, or an archive that can no longer be written, ends the run: the archive is
    // abandoned (its guard closes it unfinished) and the older file at its path stays as it was.
    void Abandon() {
        if (cancelledBetweenFiles_)
            cancelled_ = true;
        else
            TakeTheComponentsCause();
    }

    bool Fail(const std::string& error) {
        result_.error = error;
        return false;
    }

    void Log(const std::string& line) const { WriteLog(paths_.LogFile, line); }
    const std::string& Work() const { return work_; }

    BackupJob& job_;
    const ProgramPaths& paths_;
    const archive::ZipOptions& zip_;
    std::optional<archive::ArchiveWriter> writer_;  // the archive being written
    const backup_format::RunObserver& observer_;
    backup_format::RunZipObserver zipObserver_;
    Status deadCause_;
    std::string work_;  // the run's own folder, made by the skeleton
    std::string manifestPath_;
    std::vector<std::string> tempFiles_;  // registry export files, in the work folder
    std::array<ItemPlan, backup_format::kItemCount> plans_;
    std::array<std::string, backup_format::kItemCount> causes_;  // why an item failed
    uint64_t expected_ = 0;
    uint64_t doneBeforeFile_ = 0;
    backup_format::Progress progress_;
    size_t entriesAdded_ = 0;
    bool cancelledBetweenFiles_ = false;
    bool began_ = false;  // the archive was created and the steps may add to it
    bool ended_ = false;  // a step ended the run: a cancellation, or the archive died
    bool written_ = false;
    bool cancelled_ = false;
    bool verified_ = false;
    bool checkFailed_ = false;
    bool complete_ = false;  // every chosen item went in
    std::vector<std::pair<std::string, std::string>> itemLines_;
    std::vector<outlook::ProfileStore> stores_;  // the profile's stores, read as the run began
    std::string contentsLine_;
    BackupResult result_;
};

}  // namespace

BackupJob BackupJobFor(const AppState& state, const outlook::ItemLocations& locations,
                       const std::string& profile, const backup_format::Choices& chosen,
                       const std::string& archivePath) {
    BackupJob job;
    job.archivePath = archivePath;
    job.profile = profile;
    job.chosen = chosen;
    // The check after a backup is the administrator's when a policy sets it.
    job.verify = EffectiveSettingIsOn(ReadPolicies(state.paths.Policy), state.paths.SettingsFile,
                                      kCheckBackupFile);
    job.computerName = state.ComputerName;
    job.userName = state.UserName;
    job.outlookName = state.environment.OutlookName;
    job.profilesRoot = state.environment.ProfilesRoot;
    job.locations = locations;
    return job;
}

BackupResult BackupUnderLock(BackupJob job, const BackupHooks& hooks,
                             const outlook::Environment& env, const ProgramPaths& paths,
                             const archive::ZipOptions& zip,
                             const backup_format::RunObserver& observer) {
    ArchiveBuilder builder(job, paths, zip, observer);
    BackupResult& result = builder.Result();
    recovery::RunHooks runHooks;
    if (hooks.before) runHooks.before = [&] { hooks.before(job); };
    if (hooks.after)
        runHooks.after = [&](recovery::RunOutcome outcome) {
            result.outcome = outcome;
            hooks.after(result);
        };
    result.outcome =
        recovery::RunWithPlan({paths, env, job.waitForOtherRun, observer.stop}, builder, runHooks);
    base::Wipe(job.password);
    return result;
}

BackupResult RunBackup(const BackupJob& job, const outlook::Environment& env,
                       const ProgramPaths& paths, const archive::ZipOptions& zip,
                       const backup_format::RunObserver& observer) {
    return BackupUnderLock(job, {}, env, paths, zip, observer);
}

}  // namespace kestrine::backup
