#include "ui/settings_store.h"

#include "app/settings.h"
#include "platform/files.h"
#include "platform/program_run.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "registry/registry.h"

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
        std::wstring data = platform::Widen(RunValueData(programPath));
        std::vector<uint8_t> bytes;
        for (wchar_t c : data) {
            bytes.push_back(static_cast<uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        bytes.insert(bytes.end(), {0, 0});
        constexpr uint32_t kRegSz = 1;
        return platform::SetRegistryValue(run, kRunValueName, kRegSz, bytes) ==
               platform::kRegSuccess;
    }
    constexpr uint32_t kKeyWrite = 0x20006;
    long opened = platform::OpenRegistryKey(key.root, key.subkey, kKeyWrite, run);
    if (opened == platform::kRegFileNotFound) return true;
    if (opened != platform::kRegSuccess) return false;
    long deleted = platform::DeleteRegistryValue(run, kRunValueName);
    return deleted == platform::kRegSuccess || deleted == platform::kRegFileNotFound;
}

}  // namespace kestrine::ui
