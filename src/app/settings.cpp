#include "app/settings.h"

#include "base/text.h"
#include "platform/files.h"

namespace kestrine {

std::string ReadINIValue(const std::string& filename, const std::string& section,
                         const std::string& key) {
    return base::TrimSpaces(platform::fileio::ReadProfileString(filename, section, key));
}

bool WriteINIValue(const std::string& filename, const std::string& section, const std::string& key,
                   const std::string& value) {
    return platform::fileio::WriteProfileString(filename, section, key, value);
}

bool SettingIsOn(const std::string& settingsFile, const std::string& section,
                 const std::string& key) {
    return ReadINIValue(settingsFile, section, key) == "1";
}

}  // namespace kestrine
