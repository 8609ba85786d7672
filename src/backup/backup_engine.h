#pragma once
// The part of a backup that the interactive and the unattended run share: the manifest, the archive
// and the eleven steps. The runs add their own checks, log lines, window and messages around it.
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "archive/zip_component.h"
#include "backup/backup_steps.h"

namespace kestrine::backup {

struct ManifestStart {
    std::string profile;
    std::string note;  // CR LF pairs allowed; stored with the "PS$KST" token
};

// Deletes a manifest staging file left from before and writes the manifest's first six lines.
void StartManifest(const AppState& state, const ManifestStart& start);

struct ArchiveJob {
    std::string archivePath;  // where the finished archive is moved
    std::string profile;
    ChosenBoxes chosen{};
    bool protect = false;
    std::string password;
    // Called before and after each of the eleven steps (captions, progress, log, summary).
    std::function<void(const BackupStep& step, bool runs)> beforeStep;
    std::function<void(const BackupStep& step, StepOutcome outcome)> afterStep;
    // Called once the manifest is in, just before the archive is written.
    std::function<void()> beforeWrite;
};

struct ArchiveOutcome {
    bool written = false;               // the new archive is complete and in place
    std::string error;                  // the cause when !written
    std::vector<StepOutcome> outcomes;  // one per step
    std::string itemFlags;
};

// Creates the archive, runs the steps, completes the manifest, adds it as the last entry and writes
// the archive. An older file at the archive path is replaced only by a complete new archive. The
// manifest staging file and the registry export files are deleted on every path out.
ArchiveOutcome BuildArchive(AppState& state, archive::ZipComponent& zip, const ArchiveJob& job);

}  // namespace kestrine::backup
