#pragma once
// The keys of settings.dat: each one's section and name, and how the values whose meaning is not a
// plain switch are read. Every reader and writer of a key names it from here.
#include <string>
#include <string_view>

#include "app/settings.h"

namespace kestrine {

struct SettingKey {
    const char* section;
    const char* name;
};

// The sections, in the one spelling the program reads them with: sections and keys are found
// whatever their case, so files written with another case read the same.
inline constexpr const char* kGeneralSection = "General";
inline constexpr const char* kBackupSection = "backup";
inline constexpr const char* kScheduleSection = "autobackup";
// The section of the backup folder is created as "Backup" when the settings dialog writes a new
// file, as earlier versions did; the first spelling of a section stays in the file.
inline constexpr const char* kBackupSectionCreatedAs = "Backup";

inline constexpr SettingKey kStartOnWindows{kGeneralSection, "startonwindows"};
inline constexpr SettingKey kCheckBackupFile{kGeneralSection, "checkbackupfile"};
inline constexpr SettingKey kRunOutlookAfterBackup{kGeneralSection, "runoutlookafterbackup"};
inline constexpr SettingKey kRunOutlookAfterRestore{kGeneralSection, "runoutlookafterrestore"};
inline constexpr SettingKey kBackupFolder{kBackupSection, "backupfolder"};
inline constexpr SettingKey kBackupFolderCreated{kBackupSectionCreatedAs, kBackupFolder.name};
inline constexpr SettingKey kAutoCloseOutlook{kBackupSection, "autocloseoutlook"};
inline constexpr SettingKey kOpenFolderAfterBackup{kBackupSection, "openfolderbackup"};
inline constexpr SettingKey kGenerateFileName{kBackupSection, "automgeneratefile"};
inline constexpr SettingKey kNewFileEachRun{kScheduleSection, "autobackupfile"};
inline constexpr SettingKey kKeepDatedBackups{kScheduleSection, "keepdatedbackups"};
// Scheduled backups close Outlook politely first and start it again afterwards when this switch is
// 1. Earlier versions ignore the key.
inline constexpr SettingKey kCloseOutlookForSchedule{kScheduleSection, "closeoutlookforschedule"};
// How many minutes a scheduled backup waits for Outlook to close when Outlook holds the data files
// open. Earlier versions ignore the key.
inline constexpr SettingKey kWaitForOutlookMinutes{kScheduleSection, "waitforoutlookminutes"};

// A scheduled run that fails shows a balloon in the notification area unless this is 0 (absent
// reads as on). Earlier versions ignore the key.
inline constexpr SettingKey kNotifyFailure{kScheduleSection, "notifyfailure"};
constexpr bool NotifyFailure(std::string_view stored) {
    return stored != "0";
}

// Whether each scheduled run writes a new, dated archive. Only a stored "0" replaces the task's
// archive: an absent value reads as a new file, which loses nothing and is what the settings
// dialog shows for it.
constexpr bool NewFileEachRun(std::string_view stored) {
    return stored != "0";
}

// How many dated archives of the task a scheduled run keeps (the new one included); 0 keeps every
// one, and so does anything that is not a plain number from 1 to 999.
constexpr int KeepDatedBackups(std::string_view stored) {
    if (stored.empty() || stored.size() > 3) return 0;
    int count = 0;
    for (char c : stored) {
        if (c < '0' || c > '9') return 0;
        count = count * 10 + (c - '0');
    }
    return count;
}

// The wait for Outlook: 12 hours unless a plain number of minutes from 0 (no wait) to a week is
// stored.
inline constexpr int kDefaultWaitForOutlookMinutes = 12 * 60;
inline constexpr int kLongestWaitForOutlookMinutes = 7 * 24 * 60;
constexpr int WaitForOutlookMinutes(std::string_view stored) {
    if (stored.empty() || stored.size() > 5) return kDefaultWaitForOutlookMinutes;
    int minutes = 0;
    for (char c : stored) {
        if (c < '0' || c > '9') return kDefaultWaitForOutlookMinutes;
        minutes = minutes * 10 + (c - '0');
    }
    return minutes <= kLongestWaitForOutlookMinutes ? minutes : kDefaultWaitForOutlookMinutes;
}

// A key's value, trimmed; empty when absent.
inline std::string ReadSetting(const std::string& settingsFile, const SettingKey& key) {
    return ReadINIValue(settingsFile, key.section, key.name);
}
// A switch is on only when its value is 1.
inline bool SettingIsOn(const std::string& settingsFile, const SettingKey& key) {
    return SettingIsOn(settingsFile, key.section, key.name);
}

}  // namespace kestrine
