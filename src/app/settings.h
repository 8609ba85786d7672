#pragma once
// settings.dat (private-profile INI).
// Paths and text are UTF-8; each call opens and closes its file.
#include <string>

namespace kestrine {

// The keys and sections are named in app/settings_keys.h.
std::string ReadINIValue(const std::string& filename, const std::string& section,
                         const std::string& key);
// False when the value could not be written.
bool WriteINIValue(const std::string& filename, const std::string& section, const std::string& key,
                   const std::string& value);
// A switch of the settings file is on only when its value is 1.
bool SettingIsOn(const std::string& settingsFile, const std::string& section,
                 const std::string& key);

}  // namespace kestrine
