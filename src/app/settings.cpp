#include "app/settings.h"

#include "app/app_state.h"
#include "base/line_file.h"
#include "base/path.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/text.h"

namespace kestrine {

std::string ReadINIValue(const std::string& filename, const std::string& section,
                         const std::string& key) {
    return base::TrimSpaces(platform::ReadProfileString(filename, section, key));
}

void WriteINIValue(const std::string& filename, const std::string& section, const std::string& key,
                   const std::string& value) {
    platform::WriteProfileString(filename, section, key, value);
}

bool SettingIsOn(const std::string& section, const std::string& key) {
    return ReadINIValue(SettingsPath(), section, key) == "1";
}

std::string SettingsPath() {
    return base::JoinPath(State().AppFolder, "settings.dat");
}

std::string GetINI(const std::string& keyName, const std::string& filename) {
    std::string bytes;
    if (!platform::ReadWholeFile(filename, bytes)) return {};
    return base::ScanINIText(platform::AnsiToUtf8(bytes), keyName);
}

bool SaveINI(const std::string& keyName, const std::string& keyValue, const std::string& filename) {
    return platform::AppendBytes(filename, platform::Utf8ToAnsi(base::INILine(keyName, keyValue)));
}

std::string sGetTempFile(const std::string& prefix) {
    return platform::CreateTempFile(State().AppFolder, prefix);
}

}  // namespace kestrine
