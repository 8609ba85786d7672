#pragma once
// The settings dialog's model read from and written to settings.dat, and the log-on start value.
#include <string>
#include <vector>

#include "app/program_paths.h"
#include "ui/settings_model.h"

namespace kestrine::ui {

struct SettingsFiles {
    std::string appFolder;     // fallback of the backup folder (the default backup folder)
    std::string settingsPath;  // settings.dat
    std::string programPath;   // the running kestrine.exe, which the log-on value starts
    Policies policies;         // what an administrator set, read as the dialog opens
};

// The files of the running program: its own executable is what the log-on value starts; the
// policies of `paths.Policy`.
SettingsFiles SettingsFilesOf(const ProgramPaths& paths);

SettingsModel LoadSettingsFile(const SettingsFiles& files);

// Writes the confirmed keys to settings.dat, then registers or removes the log-on start value
// under the current user's Run key (no administrator rights needed). Every step runs even when an
// earlier one failed.
SettingsSaved SaveSettings(const SettingsFiles& files, const SettingsModel& model,
                           const std::vector<SettingWrite>& writes);

// Creates the Run key when missing and sets the value; or deletes the value (a missing one is
// already gone). False when the registry refused.
bool SetStartAtLogon(bool on, const std::string& programPath);

}  // namespace kestrine::ui
