#include "ui/settings_store.h"

#include "app/settings.h"
#include "platform/registry_access.h"
#include "platform/system.h"
#include "registry/registry.h"

namespace kestrine::ui {

SettingsFiles SettingsFilesOf(const ProgramPaths& paths) {
    return {paths.DefaultBackupFolder, paths.SettingsFile, platform::RunningProgramPath(),
            ReadPolicies(paths.Policy)};
}

SettingsModel LoadSettingsFile(const SettingsFiles& files) {
    return LoadSettings(
        [&](const std::string& section, const std::string& key) {
            return ReadINIValue(files.settingsPath, section, key);
        },
        files.appFolder, files.policies);
}

SettingsSaved SaveSettings(const SettingsFiles& files, const SettingsModel& model,
                           const std::vector<SettingWrite>& writes) {
    SettingsSaved saved;
    for (const auto& write : writes) {
        if (!WriteINIValue(files.settingsPath, write.section, write.key, write.value))
            saved.file = false;
    }
    saved.logon = SetStartAtLogon(model.startOnWindows, files.programPath);
    return saved;
}

bool SetStartAtLogon(bool on, const std::string& programPath) {
    if (!on) return registry::DeleteValue(kRunKey, kRunValueName);
    // A new account may have no Run key yet.
    const auto key = registry::ParseKey(kRunKey);
    platform::RegistryKey run;
    if (platform::CreateRegistryKey(key.root, key.subkey, run) != platform::kRegSuccess)
        return false;
    run.Close();
    return registry::SetStringValue(kRunKey, kRunValueName, RunValueData(programPath));
}

}  // namespace kestrine::ui
