#pragma once
// The settings dialog as a plain model: what it shows when it opens, and what "OK" writes to
// settings.dat. The Win32 dialog only mirrors it.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/policy.h"
#include "app/settings.h"
#include "ui/message.h"

namespace kestrine::ui {

struct SettingsModel {
    // General
    bool startOnWindows = false;
    bool checkBackupFile = false;
    bool runOutlookAfterBackup = false;
    bool runOutlookAfterRestore = false;
    // Backup
    std::string backupFolder;  // the folder box, as typed
    bool autoCloseOutlook = false;
    bool openFolderAfterBackup = false;
    bool generateFileName = false;
    // Scheduled Backup: each unattended run writes a new, dated archive instead of replacing one.
    bool newFileEachRun = true;
    // Scheduled backups close Outlook politely first and start it again afterwards (off unless
    // chosen: the weekly run otherwise never touches Outlook).
    bool closeOutlookForSchedule = false;
    // A scheduled run that fails shows a balloon in the notification area (on unless turned off).
    bool notifyFailure = true;
    // ... and then keeps only the newest `keepNewest` dated archives of its task (off: all).
    bool keepNewestOnly = false;
    int keepNewest = 5;  // 0 when the box holds no count from 1 to 999

    // What an administrator set: shown greyed with the policy's value, and never written.
    Policies policies;
    bool SetByPolicy(const SettingKey& key) const { return policies.Sets(key); }
};

// Reads one key of settings.dat (section, key); empty when absent.
using SettingReader = std::function<std::string(const std::string&, const std::string&)>;

// The model as the dialog opens: a switch is on only for the stored "1"; an unset folder shows
// the application folder; `autobackupfile` "0" selects replacing the default archive, any other
// value (an absent one included) a new file per run.
// A value a policy sets shows the policy's.
SettingsModel LoadSettings(const SettingReader& read, const std::string& appFolder,
                           const Policies& policies = {});

struct SettingWrite {
    std::string section;
    std::string key;
    std::string value;
};

struct SettingsConfirmation {
    std::optional<Message> refusal;    // shown, nothing written, the dialog stays open
    std::vector<SettingWrite> writes;  // in the order they are written
};

inline constexpr const char* kNoBackupFolderMessage = "Please enter backup folder.";
inline constexpr const char* kNoKeepCountMessage =
    "Please enter how many dated backups to keep, from 1 to 999.";

// "OK": refuses an empty (or blank) folder box, and keeping the newest dated backups without a
// count; a folder that does not exist is replaced by the
// application folder in `model` (the box shows it); otherwise every key, in the fixed order, but
// those a policy sets: settings.dat keeps the user's own value of those.
SettingsConfirmation ConfirmSettings(SettingsModel& model, const std::string& appFolder,
                                     const std::function<bool(const std::string&)>& folderExists);

struct SettingsSaved {
    bool file = true;   // every key was written to settings.dat
    bool logon = true;  // the log-on start value was set or removed
};
// What the dialog reports after saving: nothing when every step succeeded.
std::vector<Message> SaveFailureMessages(const SettingsSaved& saved,
                                         const std::string& settingsPath);

// The log-on start value: its name, and its data, the program's quoted path.
inline constexpr const char* kRunKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "Kestrine";
std::string RunValueData(const std::string& programPath);

}  // namespace kestrine::ui
