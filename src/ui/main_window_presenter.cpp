#include "ui/main_window_presenter.h"

#include <algorithm>

#include "app/activity_log.h"
#include "base/path.h"
#include "outlook/detection.h"
#include "platform/file_stream.h"
#include "schedule/dated_backups.h"
#include "ui/restore_presenter.h"

namespace kestrine::ui {

std::string ApplyCaption(Tab tab) {
    switch (tab) {
        case Tab::Backup:
            return "&Backup Now";
        case Tab::Restore:
            return "&Restore Now";
        case Tab::Logs:
            return "Show &Log File";
        case Tab::About:
            break;
    }
    return "He&lp";
}

ApplyAction ApplyActionFor(Tab tab) {
    switch (tab) {
        case Tab::Backup:
            return ApplyAction::Backup;
        case Tab::Restore:
            return ApplyAction::ConfirmAndRestore;
        case Tab::Logs:
            return ApplyAction::ShowLogFile;
        case Tab::About:
            break;
    }
    return ApplyAction::OpenHelp;
}

void SelectAllItems(ItemBoxes& items) {
    for (auto& item : items) item.ticked = item.enabled;
}

void DeselectAllItems(ItemBoxes& items) {
    for (auto& item : items) item.ticked = false;
}

void SetProtection(BackupTabModel& tab, bool on) {
    tab.protect = on;
    tab.password.clear();
    tab.retypedPassword.clear();
}

bool LoadProfileLists(MainWindowModel& window, const std::vector<std::string>& profiles,
                      bool noProfiles) {
    ClearRestoreTab(window.restore);
    if (noProfiles || profiles.empty()) {
        window.applyEnabled = false;
        return false;
    }
    window.backup.profiles = profiles;
    window.restore.profiles = profiles;
    window.backup.sourceProfile = profiles.front();
    window.restore.targetProfile = profiles.front();
    return true;
}

ProfileListChange RefreshProfileLists(MainWindowModel& window,
                                      const std::vector<std::string>& profiles) {
    ProfileListChange change;
    if (profiles == window.backup.profiles && profiles == window.restore.profiles) return change;
    change.lists = true;
    window.backup.profiles = profiles;
    window.restore.profiles = profiles;
    window.applyEnabled = !profiles.empty();
    auto stillThere = [&](std::string& shown) {
        if (std::find(profiles.begin(), profiles.end(), shown) != profiles.end()) return true;
        shown = profiles.empty() ? std::string() : profiles.front();
        return false;
    };
    change.source = !stillThere(window.backup.sourceProfile);
    stillThere(window.restore.targetProfile);
    return change;
}

void PresentLastBackup(BackupTabModel& tab, const LastBackup& last) {
    if (!last.found) {
        tab.lastBackupText = "Last backup: none has been completed yet.";
        tab.lastBackupFile.clear();
        return;
    }
    tab.lastBackupText = "Last backup: " + last.when + (last.scheduled ? " (scheduled)" : "") +
                         (last.complete ? ", complete" : ", not complete: an item failed") +
                         (last.checked ? ", checked after writing" : ", not checked");
    tab.lastBackupFile = last.file;
}

std::optional<Message> ScheduledBackupWarning(const std::string& logFile,
                                              const platform::LocalTime& now) {
    const ScheduledRuns runs = FindScheduledRuns(ReadLogEntries(logFile));
    if (!runs.found) return std::nullopt;
    const LastBackup& good = runs.lastComplete;
    std::string last = good.found ? "The last complete scheduled backup was made " + good.when +
                                        ":\r\n" + good.file
                                  : std::string("No scheduled backup has been complete yet.");
    if (runs.failed) {
        std::string text = "The scheduled backup of " + runs.when + " failed: " + runs.what + ".";
        if (!runs.why.empty()) text += "\r\n\r\n" + runs.why;
        return Message{text + "\r\n\r\n" + last, platform::MessageIcon::Exclamation,
                       platform::MessageButtons::Ok};
    }
    // A weekly task: a week and a day without a complete backup.
    const uint32_t dos = platform::fileio::FileDosTime(good.file);
    const int64_t made = int64_t{1980 + (dos >> 25)} * 100000000 + (dos >> 21 & 15) * 1000000 +
                         (dos >> 16 & 31) * 10000 + (dos >> 11 & 31) * 100 + (dos >> 5 & 63);
    const int64_t nowStamp =
        (((int64_t{now.year} * 100 + now.month) * 100 + now.day) * 100 + now.hour) * 100 +
        now.minute;
    if (schedule::StampMinutes(nowStamp) - schedule::StampMinutes(made) <= 8 * 24 * 60)
        return std::nullopt;
    return Message{"No complete scheduled backup is newer than a week and a day.\r\n\r\n" + last,
                   platform::MessageIcon::Exclamation, platform::MessageButtons::Ok};
}

bool ShortcutLeftToTextBox(bool focusInTextBox, bool control, bool alt) {
    return focusInTextBox && control && !alt;
}

platform::FileDialogRequest BackupFileDialog(
    const std::string& profile, const Date& today, const std::string& backupFolderSetting,
    const std::string& appFolder, const std::function<bool(const std::string&)>& folderExists) {
    return SaveArchiveDialog(ChooseProposalFolder(backupFolderSetting, appFolder, folderExists),
                             ProposalFileName(profile, today));
}

std::string HelpCommandLine(const std::string& windowsDir, const std::string& appFolder) {
    std::string line = "\"";
    line.append(base::JoinPath(windowsDir, "hh.exe")).append("\" \"");
    line.append(base::JoinPath(appFolder, "help.chm")).append("\"");
    return line;
}

std::string ExplorerCommandLine(const std::string& windowsDir, const std::string& archivePath) {
    std::string line = "\"";
    line.append(base::JoinPath(windowsDir, "explorer.exe")).append("\" /n,\"");
    line.append(base::JoinPath(base::FolderPart(archivePath), "")).append("\"");
    return line;
}

ControlStates ControlsFor(bool running, bool noProfiles) {
    ControlStates states;
    states.apply = !running && !noProfiles;
    states.runMenus = !running && !noProfiles;
    states.browse = !running;
    states.sourceProfile = !running;
    states.cancel = running;
    return states;
}

int ProgressBarValue(int stepValue, uint64_t bytesDone, uint64_t bytesExpected) {
    constexpr uint64_t kBytesShare = 96;
    const uint64_t byBytes =
        bytesExpected == 0 ? 0 : std::min(bytesDone, bytesExpected) * kBytesShare / bytesExpected;
    return std::clamp(std::max(stepValue, static_cast<int>(byBytes)), 0, 100);
}

Message NoProfileMessage() {
    return {outlook::kNoProfileText, platform::MessageIcon::Critical, platform::MessageButtons::Ok};
}

Message QuitDuringRunQuestion() {
    return {
        "Kestrine is still working.\r\n\r\nStop the run and quit Kestrine? A backup is "
        "abandoned and your previous backup file stays; a restore stops after the item it is "
        "restoring.",
        platform::MessageIcon::Exclamation, platform::MessageButtons::OkCancel};
}

}  // namespace kestrine::ui
