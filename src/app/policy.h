#pragma once
// What an administrator sets through Group Policy: the values under Software\Policies\Kestrine,
// the machine's before the user's. A value a policy sets wins over settings.dat wherever the
// program uses it (the window's backup, the scheduled run, the task it registers), and the dialogs
// show it greyed. installer/policy/kestrine.admx describes exactly the values named here.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/program_paths.h"
#include "app/settings_keys.h"

namespace kestrine {

// How a value is stored: a REG_DWORD switch (1 on, 0 off), a REG_DWORD count, or text (REG_SZ or
// REG_EXPAND_SZ).
enum class PolicyKind { Switch, Count, Text };

struct PolicyValueName {
    const char* name;
    PolicyKind kind;
};

// Every value the program reads, and nothing else.
inline constexpr const char* kPolicyBackupFolder = "BackupFolder";
inline constexpr const char* kPolicyRequirePassword = "RequirePassword";
inline constexpr const char* kPolicyScheduleDays = "ScheduleDays";
inline constexpr const char* kPolicyScheduleTime = "ScheduleTime";
inline constexpr const char* kPolicyKeepNewest = "KeepNewest";
inline constexpr const char* kPolicyCloseOutlook = "CloseOutlookForSchedule";
inline constexpr const char* kPolicyCheckBackup = "CheckBackup";
inline constexpr PolicyValueName kPolicyValues[] = {
    {kPolicyBackupFolder, PolicyKind::Text},  {kPolicyRequirePassword, PolicyKind::Switch},
    {kPolicyScheduleDays, PolicyKind::Text},  {kPolicyScheduleTime, PolicyKind::Text},
    {kPolicyKeepNewest, PolicyKind::Count},   {kPolicyCloseOutlook, PolicyKind::Switch},
    {kPolicyCheckBackup, PolicyKind::Switch},
};
inline constexpr int kPolicyKeepNewestMax = 999;

struct Policies {
    // The folder of every backup, its environment variables ("%USERNAME%") expanded here, never
    // by the Task Scheduler; no trailing backslash.
    std::optional<std::string> backupFolder;
    std::optional<bool> requirePassword;
    std::optional<std::array<bool, 7>> days;  // Monday .. Sunday of the weekly task
    std::optional<std::string> startTime;     // "H:MM" or "HH:MM"
    std::optional<int> keepNewest;            // dated backups a scheduled run keeps; 0: all
    std::optional<bool> closeOutlookForSchedule;
    std::optional<bool> checkBackup;

    // The settings.dat text a policy stands for, for a key it sets; nothing when none sets it.
    std::optional<std::string> SettingText(const SettingKey& key) const;
    bool Sets(const SettingKey& key) const { return SettingText(key).has_value(); }
};

// Reads the policies; a value of the wrong type or out of range counts as not set, and so does a
// folder that is not a full path (a drive or a share) once its variables are expanded.
Policies ReadPolicies(const PolicyKeys& keys);

// "Mon,Wed,Fri" (case-blind, blanks allowed) or "*" for every day; nothing when it names no day
// or anything else.
std::optional<std::array<bool, 7>> PolicyDays(std::string_view text);

// A key of settings.dat as it counts: the policy's value when one sets it, otherwise the file's.
std::string EffectiveSetting(const Policies& policies, const std::string& settingsFile,
                             const SettingKey& key);
inline bool EffectiveSettingIsOn(const Policies& policies, const std::string& settingsFile,
                                 const SettingKey& key) {
    return EffectiveSetting(policies, settingsFile, key) == "1";
}

// The archive a backup writes when a policy sets the folder: the same file name in that folder.
std::string InPolicyFolder(const Policies& policies, const std::string& archivePath);

// What the dialogs show beside a control a policy sets.
inline constexpr const char* kSetByAdministrator = "Set by your administrator";
inline constexpr const char* kPasswordRequiredMessage =
    "Your administrator requires backups to be protected by a password.";

}  // namespace kestrine
