#pragma once
// The keys of settings.dat: each one's section and name, and how the values whose meaning is not a
// plain switch are read. Every reader and writer of a key names it from here.
#include <string_view>

#include "app/settings.h"

namespace kestrine {

struct SettingKey {
    const char* section;
    const char* name;
};

// General
inline constexpr SettingKey kStartOnWindows{"General", "startonwindows"};
inline constexpr SettingKey kCheckBackupFile{"General", "checkbackupfile"};
inline constexpr SettingKey kRunOutlookAfterBackup{"General", "runoutlookafterbackup"};
inline constexpr SettingKey kRunOutlookAfterRestore{"General", "runoutlookafterrestore"};
// Backup (the folder's section is written "Backup"; sections are found whatever their case)
inline constexpr SettingKey kBackupFolder{"backup", "backupfolder"};
inline constexpr SettingKey kBackupFolderWritten{"Backup", "backupfolder"};
inline constexpr SettingKey kAutoCloseOutlook{"backup", "autocloseoutlook"};
inline constexpr SettingKey kOpenFolderAfterBackup{"backup", "openfolderbackup"};
inline constexpr SettingKey kGenerateFileName{"backup", "automgeneratefile"};
// Scheduled backup
inline constexpr SettingKey kNewFileEachRun{kScheduleSection, "autobackupfile"};
inline constexpr SettingKey kKeepDatedBackups{kScheduleSection, "keepdatedbackups"};
inline constexpr SettingKey kCloseOutlookForSchedule{kScheduleSection, kCloseOutlookForScheduleKey};

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

}  // namespace kestrine
