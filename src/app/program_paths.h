#pragma once
// Where the program keeps its files. Start-up makes the record once from the application folder and
// hands it to whatever reads or writes one of them; nothing looks a file up by itself.
#include <string>

namespace kestrine {

struct ProgramPaths {
    std::string AppFolder;     // the folder of the running exe; a drive root keeps its backslash
    std::string SettingsFile;  // settings.dat
    std::string LogFile;       // brlog.dat, the activity log
    // Where runs make the folders of their temporary files (the manifest they stage among them).
    std::string TempFolder;
    // The undo sets of restores: what each replaced, and its journal.
    std::string UndoFolder;
};

// The paths of a program that runs from `appFolder`: every file lies in that folder, joined to it
// with one backslash.
ProgramPaths PathsIn(const std::string& appFolder);

}  // namespace kestrine
