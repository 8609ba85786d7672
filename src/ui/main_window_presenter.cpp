#include "ui/main_window_presenter.h"

#include <algorithm>

namespace kestrine::ui {

std::string ApplyCaption(Page page) {
    switch (page) {
        case Page::Backup:
            return "&Backup Now";
        case Page::Restore:
            return "&Restore Now";
        case Page::Logs:
            return "Show &Log File";
        case Page::About:
            break;
    }
    return "He&lp";
}

ApplyAction ApplyActionFor(Page page) {
    switch (page) {
        case Page::Backup:
            return ApplyAction::Backup;
        case Page::Restore:
            return ApplyAction::ConfirmAndRestore;
        case Page::Logs:
            return ApplyAction::ShowLogFile;
        case Page::About:
            break;
    }
    return ApplyAction::OpenHelp;
}

void SelectAllItems(std::array<ItemBox, 9>& items) {
    for (auto& item : items) item.ticked = item.enabled;
}

void DeselectAllItems(std::array<ItemBox, 9>& items) {
    for (auto& item : items) item.ticked = false;
}

void SetProtection(BackupTabModel& tab, bool on) {
    tab.protect = on;
    tab.password.clear();
    tab.password2.clear();
}

bool LoadProfileLists(MainWindowModel& window, const std::vector<std::string>& profiles,
                      bool noProfiles) {
    for (size_t i = 0; i < window.restore.items.size(); ++i) {
        window.restore.items[i] = {outlook::kItemCaptions[i], outlook::kRestoreItemTooltips[i],
                                   false, false};
    }
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

SaveDialogSpec SaveDialogFor(const std::string& profile, const outlook::Date& today,
                             const std::string& backupFolderSetting, const std::string& appFolder,
                             const std::function<bool(const std::string&)>& folderExists) {
    return {"Save Outlook Data as", "Kestrine File (*.ksx)|*.ksx",
            outlook::ChooseProposalFolder(backupFolderSetting, appFolder, folderExists),
            outlook::ProposalFileName(profile, today)};
}

std::string HelpCommandLine(const std::string& windowsDir, const std::string& appFolder) {
    std::string line = "\"";
    line.append(outlook::JoinPath(windowsDir, "hh.exe")).append("\" \"");
    line.append(outlook::JoinPath(appFolder, "help.chm")).append("\"");
    return line;
}

ControlStates ControlsFor(bool running, bool noProfiles, bool cancellable) {
    ControlStates states;
    states.apply = !running && !noProfiles;
    states.runMenus = !running;
    states.browse = !running;
    states.sourceProfile = !running;
    states.cancel = running && cancellable;
    return states;
}

int ProgressBarValue(int stepValue, uint64_t bytesDone, uint64_t bytesExpected) {
    constexpr uint64_t kBytesShare = 96;
    const uint64_t byBytes =
        bytesExpected == 0 ? 0 : std::min(bytesDone, bytesExpected) * kBytesShare / bytesExpected;
    return std::clamp(std::max(stepValue, static_cast<int>(byBytes)), 0, 100);
}

std::string QuitDuringRunQuestion(bool cancellable) {
    if (cancellable)
        return "Kestrine is still working.\r\n\r\nStop the run and quit Kestrine? A backup is "
               "abandoned and your previous backup file stays; a restore stops after the item it "
               "is restoring.";
    return "Kestrine is still working.\r\n\r\nQuit Kestrine as soon as the run is over?";
}

}  // namespace kestrine::ui
