#include "restore/open_backup.h"

#include "app/settings.h"
#include "archive/manifest.h"
#include "archive/zip_instance.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace kestrine::restore {

void AskForPassword(AppState& state) {
    if (auto typed = platform::AskPassword()) state.EnteredPassword = *typed;
}

namespace {

// The manifest is extracted to a fresh temporary file of its own rather than over the staging file,
// so a stale staging file can never be read as this archive's manifest; it is deleted afterwards.
archive::Manifest ReadManifest(archive::ZipComponent& zip) {
    const auto entry = zip.FindEntry(archive::kManifestName);
    if (!entry) return {};
    const std::string temp = sGetTempFile("KSM");
    if (temp.empty()) return {};
    std::string bytes;
    const bool read = zip.ExtractToFile(*entry, temp) && platform::ReadWholeFile(temp, bytes);
    platform::fileio::RemoveFile(temp);
    if (!read) return {};
    return archive::ReadManifestText(platform::AnsiToUtf8(bytes));
}

}  // namespace

OpenOutcome OpenBackupFile(ui::RestoreTabModel& tab, AppState& state, archive::ZipComponent& zip) {
    zip.CloseArchive();
    for (auto& item : tab.items) {
        item.ticked = false;
        item.enabled = false;
    }
    tab.sourceFileText.clear();
    tab.noteText.clear();
    tab.backupInfoText.clear();

    platform::FileDialogRequest dialog;
    dialog.save = false;
    dialog.title = kOpenDialogTitle;
    dialog.filter = kOpenDialogFilter;
    const std::string path = platform::ShowFileDialog(dialog);
    // The archive open before is closed now, whatever follows.
    if (path.empty()) {
        state.NoSourceFile = true;
        return OpenOutcome::Cancelled;
    }

    if (zip.ArchiveNeedsPassword(path) == 1) {
        AskForPassword(state);
        zip.OpenArchive(path);
        zip.SetReadingPassword(state.EnteredPassword);
        if (!zip.CheckPassword()) {
            zip.CloseArchive();
            state.NoSourceFile = true;
            platform::ShowMessage(kWrongPasswordText, platform::MessageIcon::Information);
            return OpenOutcome::WrongPassword;
        }
    } else {
        zip.SetReadingPassword("");
        zip.OpenArchive(path);
    }

    tab.sourceFileText = path;
    state.SourceFile = path;
    state.ManifestPath = base::JoinPath(state.AppFolder, archive::kManifestName);

    const archive::Manifest m = ReadManifest(zip);
    const auto& h = m.header;
    tab.backupInfoText = "Computer:" + h.computer + "\r\nUser:" + h.logonUser +
                         "\r\nBackup Time:" + h.time + "\r\nProfile:" + h.identity +
                         "\r\nOutlook Version:" + h.outlookVersion;
    tab.noteText = h.note;
    state.ItemFlags = m.itemFlags;

    if (!m.valid) {
        state.NoSourceFile = true;
        platform::ShowMessage(kInvalidBackupText, platform::MessageIcon::Critical);
        return OpenOutcome::Invalid;
    }
    for (int p = 0; p < archive::kArchiveItemCount; ++p) {
        if (!archive::ItemPresent(m.itemFlags, p)) continue;
        const int entry = archive::kArchiveItems[static_cast<size_t>(p)].restoreEntry;
        if (entry >= 0) tab.items[static_cast<size_t>(entry)].enabled = true;
        state.ItemEntries[static_cast<size_t>(p)] = m.entries[static_cast<size_t>(p)];
    }
    state.NoSourceFile = false;
    return OpenOutcome::Opened;
}

OpenOutcome OpenBackupFile() {
    return OpenBackupFile(ui::MainWindow().restore, State(), archive::Zip());
}

}  // namespace kestrine::restore
