#include "backup/backup_engine.h"

#include "app/settings.h"
#include "archive/manifest.h"
#include "backup/handlers.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"

namespace kestrine::backup {
namespace {

// Removes the run's temporary files however the run leaves.
class RunFilesCleanup {
  public:
    RunFilesCleanup(const std::string& manifestPath, TempExports& temps)
        : manifestPath_(manifestPath), temps_(temps) {}
    ~RunFilesCleanup() {
        if (!manifestPath_.empty()) platform::fileio::RemoveFile(manifestPath_);
        DeleteTempExports(temps_);
    }
    RunFilesCleanup(const RunFilesCleanup&) = delete;
    RunFilesCleanup& operator=(const RunFilesCleanup&) = delete;

  private:
    std::string manifestPath_;
    TempExports& temps_;
};

}  // namespace

void StartManifest(const AppState& state, const ManifestStart& start) {
    if (platform::fileio::IsFile(state.ManifestPath)) {
        platform::SetNormalAttributes(state.ManifestPath);
        platform::fileio::RemoveFile(state.ManifestPath);
    }
    archive::ManifestHeader header;
    header.computer = state.ComputerName;
    header.logonUser = state.UserName;
    header.identity = start.profile;
    header.time = platform::NowText();
    header.outlookVersion = state.OutlookName;
    header.note = start.note;
    for (const auto& [key, value] : archive::HeaderPairs(header)) {
        SaveINI(key, value, state.ManifestPath);
    }
}

ArchiveOutcome BuildArchive(AppState& state, archive::ZipComponent& zip, const ArchiveJob& job) {
    ArchiveOutcome out;
    TempExports temps;
    RunFilesCleanup cleanup(state.ManifestPath, temps);
    state.ItemFlags.clear();

    zip.CloseArchive();
    if (!zip.CreateArchive(job.archivePath)) {
        out.error = zip.LastError();
        return out;
    }
    // The component encrypts entries as they are added: protection goes before the first entry.
    zip.ProtectEntries(job.protect);
    if (job.protect) zip.SetWritingPassword(job.password);

    HandlerContext ctx{state, zip, temps};
    for (const auto& step : BackupSteps()) {
        bool runs = StepRuns(step, job.chosen);
        if (job.beforeStep) job.beforeStep(step, runs);
        StepOutcome outcome = StepOutcome::NotRun;
        if (runs) {
            outcome = RunItemHandler(step.item, ctx, job.profile) ? StepOutcome::Succeeded
                                                                  : StepOutcome::Failed;
        }
        out.outcomes.push_back(outcome);
        if (job.afterStep) job.afterStep(step, outcome);
    }
    state.ItemFlags = ItemFlagsFrom(out.outcomes);
    out.itemFlags = state.ItemFlags;

    // Without its manifest the archive is no backup at all: such an archive is never written.
    bool manifestOk = SaveINI(archive::kKeyItemFlags, state.ItemFlags, state.ManifestPath);
    if (manifestOk) {
        platform::SetNormalAttributes(state.ManifestPath);
        manifestOk = zip.AddFile(state.ManifestPath);
    }
    if (!manifestOk) {
        out.error = "The manifest " + state.ManifestPath + " could not be added.";
        if (!zip.LastError().empty()) out.error += " " + zip.LastError();
        zip.CloseArchive();
        return out;
    }
    if (job.beforeWrite) job.beforeWrite();
    archive::WriteResult result = zip.WriteArchive();
    zip.CloseArchive();
    out.written = result.ok;
    if (!result.ok) out.error = result.error.empty() ? zip.LastError() : result.error;
    return out;
}

}  // namespace kestrine::backup
