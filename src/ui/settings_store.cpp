#include "ui/settings_store.h"

#include "app/settings.h"
#include "platform/files.h"
#include "platform/program_run.h"
#include "platform/registry_access.h"
#include "registry/export_format.h"
#include "registry/key_path.h"
#include "registry/registry.h"
#include "registry/utf16.h"

namespace kestrine::ui {

SettingsFiles SettingsFilesOf(const std::string& appFolder, const std::string& settingsPath) {
    return {appFolder, settingsPath, platform::RunningProgramPath()};
}

SettingsModel LoadSettingsFile(const SettingsFiles& files) {
    return LoadSettings(
        [&](const std::string& section, const std::string& key) {
            return ReadINIValue(files.settingsPath, section, key);
        },
        files.appFolder);
}

SettingsSaved SaveSettings(const SettingsFiles& files, const SettingsModel& model,
                           const std::vector<SettingWrite>& writes) {
    SettingsSaved saved;
    for (const auto& write : writes) {
        if (!platform::WriteProfileString(files.settingsPath, write.section, write.key,
                                          write.value))
            saved.file = false;
    }
    saved.logon = SetStartAtLogon(model.startOnWindows, files.programPath);
    return saved;
}

bool SetStartAtLogon(bool on, const std::string& programPath) {
    const auto key = registry::ParseKey(kRunKey);
    platform::RegistryKey run;
    if (on) {
        if (platform::CreateRegistryKey(key.root, key.subkey, run) != platform::kRegSuccess)
            return false;
        auto data = registry::Utf16ToBytes(registry::Utf8ToUtf16(RunValueData(programPath)));
        data.insert(data.end(), {0, 0});
        return platform::SetRegistryValue(run, kRunValueName, registry::kRegSz, data) ==
               platform::kRegSuccess;
    }
    long opened = platform::OpenRegistryKey(key.root, key.subkey, registry::kKeyWrite, run);
    if (opened == platform::kRegFileNotFound) return true;
    if (opened != platform::kRegSuccess) return false;
    long deleted = platform::DeleteRegistryValue(run, kRunValueName);
    return deleted == platform::kRegSuccess || deleted == platform::kRegFileNotFound;
}

}  // namespace kestrine::ui
