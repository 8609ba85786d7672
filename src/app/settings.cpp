#include "app/settings.h"

#include "base/line_file.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/text.h"

namespace kestrine {

std::string ReadINIValue(const std::string& filename, const std::string& section,
                         const std::string& key) {
    return base::TrimSpaces(platform::ReadProfileString(filename, section, key));
}

bool WriteINIValue(const std::string& filename, const std::string& section, const std::string& key,
                   const std::string& value) {
    return platform::WriteProfileString(filename, section, key, value);
}

bool SettingIsOn(const std::string& settingsFile, const std::string& section,
                 const std::string& key) {
    return ReadINIValue(settingsFile, section, key) == "1";
}

std::string GetINI(const std::string& keyName, const std::string& filename) {
    std::string bytes;
    if (!platform::ReadWholeFile(filename, bytes)) return {};
    return base::ScanINIText(platform::AnsiToUtf8(bytes), keyName);
}

bool SaveINI(const std::string& keyName, const std::string& keyValue, const std::string& filename) {
    return platform::AppendBytes(filename, platform::Utf8ToAnsi(base::INILine(keyName, keyValue)));
}

}  // namespace kestrine
