#pragma once
// settings.dat (private-profile INI).
// Paths and text are UTF-8; each call opens and closes its file.
#include <string>

namespace kestrine {

// Scheduled backups close Outlook politely first and start it again afterwards when this switch of
// the section "autobackup" is 1. Earlier versions ignore the key.
inline constexpr const char* kScheduleSection = "autobackup";
inline constexpr const char* kCloseOutlookForScheduleKey = "closeoutlookforschedule";

std::string ReadINIValue(const std::string& filename, const std::string& section,
                         const std::string& key);
// False when the value could not be written.
bool WriteINIValue(const std::string& filename, const std::string& section, const std::string& key,
                   const std::string& value);
// A switch of the settings file is on only when its value is 1.
bool SettingIsOn(const std::string& settingsFile, const std::string& section,
                 const std::string& key);

}  // namespace kestrine
