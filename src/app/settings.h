#pragma once
// settings.dat (private-profile INI), section-less key=value line files such as the manifest, and
// unique temporary files in the application folder. Paths and text are UTF-8.
#include <string>

namespace kestrine {

std::string ReadINIValue(const std::string& filename, const std::string& section,
                         const std::string& key);
void WriteINIValue(const std::string& filename, const std::string& section, const std::string& key,
                   const std::string& value);
// A switch of settings.dat (in the application folder) is on only when its value is 1.
bool SettingIsOn(const std::string& section, const std::string& key);
// settings.dat in the application folder.
std::string SettingsPath();

// GetINI: first line whose key matches without regard to case; scanning stops at an empty line.
std::string GetINI(const std::string& keyName, const std::string& filename);
// SaveINI: appends "key=value" CR LF (ANSI text); false when the file could not be written.
bool SaveINI(const std::string& keyName, const std::string& keyValue, const std::string& filename);

// A new, empty, uniquely named file in the application folder (prefix's first three characters,
// a hexadecimal number, ".tmp"); empty text on failure.
std::string sGetTempFile(const std::string& prefix);

}  // namespace kestrine
