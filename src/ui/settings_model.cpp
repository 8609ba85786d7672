#include "ui/settings_model.h"

#include "app/settings_keys.h"
#include "app/version.h"
#include "base/text.h"
#include "ui/archive_name.h"

namespace kestrine::ui {

namespace {

const char* Flag(bool on) {
    return on ? "1" : "0";
}

}  // namespace

SettingsModel LoadSettings(const SettingReader& read, const std::string& appFolder,
                           const Policies& policies) {
    auto value = [&](const SettingKey& key) {
        if (auto text = policies.SettingText(key)) return *text;
        return read(key.section, key.name);
    };
    auto on = [&](const SettingKey& key) { return value(key) == "1"; };
    SettingsModel model;
    model.policies = policies;
    model.backupFolder = value(kBackupFolder);
    if (BackupFolderUnset(model.backupFolder)) model.backupFolder = appFolder;
    model.startOnWindows = on(kStartOnWindows);
    model.checkBackupFile = on(kCheckBackupFile);
    model.runOutlookAfterBackup = on(kRunOutlookAfterBackup);
    model.runOutlookAfterRestore = on(kRunOutlookAfterRestore);
    model.autoCloseOutlook = on(kAutoCloseOutlook);
    model.openFolderAfterBackup = on(kOpenFolderAfterBackup);
    model.generateFileName = on(kGenerateFileName);
    model.newFileEachRun = NewFileEachRun(value(kNewFileEachRun));
    if (const int keep = KeepDatedBackups(value(kKeepDatedBackups)); keep > 0) {
        model.keepNewestOnly = true;
        model.keepNewest = keep;
    }
    model.closeOutlookForSchedule = on(kCloseOutlookForSchedule);
    model.notifyFailure = NotifyFailure(value(kNotifyFailure));
    return model;
}

SettingsConfirmation ConfirmSettings(SettingsModel& model, const std::string& appFolder,
                                     const std::function<bool(const std::string&)>& folderExists) {
    SettingsConfirmation result;
    std::string folder = base::TrimSpaces(model.backupFolder);
    const bool folderSet = model.SetByPolicy(kBackupFolder);
    if (folder.empty() && !folderSet) {
        result.refusal = Message{kNoBackupFolderMessage, platform::MessageIcon::Critical};
        return result;
    }
    if (model.keepNewestOnly && !model.SetByPolicy(kKeepDatedBackups) &&
        (model.keepNewest < 1 || model.keepNewest > 999)) {
        result.refusal = Message{kNoKeepCountMessage, platform::MessageIcon::Exclamation};
        return result;
    }
    if (!folderSet && !folderExists(folder)) model.backupFolder = folder = appFolder;
    auto write = [&](const SettingKey& key, std::string value) {
        if (model.SetByPolicy(key)) return;
        result.writes.push_back({key.section, key.name, std::move(value)});
    };
    // The first write creates the section, and its spelling stays in the file.
    write(kBackupFolderCreated, folder);
    write(kStartOnWindows, Flag(model.startOnWindows));
    write(kCheckBackupFile, Flag(model.checkBackupFile));
    write(kRunOutlookAfterBackup, Flag(model.runOutlookAfterBackup));
    write(kRunOutlookAfterRestore, Flag(model.runOutlookAfterRestore));
    write(kAutoCloseOutlook, Flag(model.autoCloseOutlook));
    write(kOpenFolderAfterBackup, Flag(model.openFolderAfterBackup));
    write(kGenerateFileName, Flag(model.generateFileName));
    write(kNewFileEachRun, Flag(model.newFileEachRun));
    write(kCloseOutlookForSchedule, Flag(model.closeOutlookForSchedule));
    write(kKeepDatedBackups, model.keepNewestOnly ? std::to_string(model.keepNewest) : "0");
    write(kNotifyFailure, Flag(model.notifyFailure));
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
