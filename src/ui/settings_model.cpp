#include "ui/settings_model.h"

#include "app/version.h"
#include "base/text.h"
#include "ui/archive_name.h"

namespace kestrine::ui {

namespace {

const char* Flag(bool on) {
    return on ? "1" : "0";
}

}  // namespace

SettingsModel LoadSettings(const SettingReader& read, const std::string& appFolder) {
    auto on = [&](const char* section, const char* key) { return read(section, key) == "1"; };
    SettingsModel model;
    model.backupFolder = read("backup", "backupfolder");
    if (BackupFolderUnset(model.backupFolder)) model.backupFolder = appFolder;
    model.startOnWindows = on("General", "startonwindows");
    model.checkBackupFile = on("General", "checkbackupfile");
    model.runOutlookAfterBackup = on("General", "runoutlookafterbackup");
    model.runOutlookAfterRestore = on("General", "runoutlookafterrestore");
    model.autoCloseOutlook = on("backup", "autocloseoutlook");
    model.openFolderAfterBackup = on("backup", "openfolderbackup");
    model.generateFileName = on("backup", "automgeneratefile");
    model.newFileEachRun = read("autobackup", "autobackupfile") != "0";
    model.closeOutlookForSchedule = on(kScheduleSection, kCloseOutlookForScheduleKey);
    return model;
}

SettingsConfirmation ConfirmSettings(SettingsModel& model, const std::string& appFolder,
                                     const std::function<bool(const std::string&)>& folderExists) {
    SettingsConfirmation result;
    std::string folder = base::TrimSpaces(model.backupFolder);
    if (folder.empty()) {
        result.refusal = Message{kNoBackupFolderMessage, platform::MessageIcon::Critical};
        return result;
    }
    if (!folderExists(folder)) model.backupFolder = folder = appFolder;
    result.writes = {
        // The first write creates the section, and its spelling stays in the file.
        {"Backup", "backupfolder", folder},
        {"General", "startonwindows", Flag(model.startOnWindows)},
        {"General", "checkbackupfile", Flag(model.checkBackupFile)},
        {"General", "runoutlookafterbackup", Flag(model.runOutlookAfterBackup)},
        {"General", "runoutlookafterrestore", Flag(model.runOutlookAfterRestore)},
        {"backup", "autocloseoutlook", Flag(model.autoCloseOutlook)},
        {"backup", "openfolderbackup", Flag(model.openFolderAfterBackup)},
        {"backup", "automgeneratefile", Flag(model.generateFileName)},
        {"autobackup", "autobackupfile", Flag(model.newFileEachRun)},
        {kScheduleSection, kCloseOutlookForScheduleKey, Flag(model.closeOutlookForSchedule)},
    };
    return result;
}

std::vector<Message> SaveFailureMessages(const SettingsSaved& saved,
                                         const std::string& settingsPath) {
    std::vector<Message> messages;
    if (!saved.file)
        messages.push_back({"The settings could not be saved in " + settingsPath + ".",
                            platform::MessageIcon::Exclamation});
    if (!saved.logon)
        messages.push_back(
            {std::string(kProductName) + " could not change its start at Windows log-on.",
             platform::MessageIcon::Exclamation});
    return messages;
}

std::string RunValueData(const std::string& programPath) {
    return "\"" + programPath + "\"";
}

}  // namespace kestrine::ui
