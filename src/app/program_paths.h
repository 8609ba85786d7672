#pragma once
// Where the program keeps its files. Start-up makes the record once from the application folder and
// hands it to whatever reads or writes one of them; nothing looks a file up by itself.
#include <string>

namespace kestrine {

struct ProgramPaths {
    std::string AppFolder;     // the folder of the running exe; a drive root keeps its backslash
    std::string SettingsFile;  // settings.dat
    std::string LogFile;       // brlog.dat, the activity log
    std::string ManifestPath;  // kestrine.dat, where a backup stages its manifest
    std::string TempFolder;    // where temporary files are made
};

// The paths of a program that runs from `appFolder`: every file lies in that folder, joined to it
// with one backslash.
ProgramPaths PathsIn(const std::string& appFolder);

}  // namespace kestrine
