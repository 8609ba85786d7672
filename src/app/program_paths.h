#pragma once
// Where the program keeps its files. Start-up makes the record once and hands it to whatever reads
// or writes one of them; nothing looks a file up by itself.
//
// An installed program (Program Files, which its users cannot write) keeps the user's settings,
// log and run folders in a folder of the user's own under the local application data folder. A
// portable copy that already keeps its settings or log beside the exe goes on doing so, but its
// runs still work in the user's own folder: a folder beside the exe may be everyone's.
#include <string>

namespace kestrine {

// The package records the folder it installed the program into here; the program reads it to know
// that it was installed. The package for every user of the machine writes the machine's key, the
// one for the user alone (into the user's own programs folder, which the user can write) the
// user's.
inline constexpr const char* kInstallKey = "HKEY_LOCAL_MACHINE\\Software\\Kestrine";
inline constexpr const char* kUserInstallKey = "HKEY_CURRENT_USER\\Software\\Kestrine";
inline constexpr const char* kInstallFolderValue = "InstallFolder";

struct ProgramPaths {
    std::string AppFolder;     // the folder of the running exe (help.chm); a drive root keeps "\"
    std::string DataFolder;    // the folder of settings.dat and brlog.dat
    std::string SettingsFile;  // settings.dat
    std::string LogFile;       // brlog.dat, the activity log
    // Where runs make the folders of their temporary files (the manifest they stage among them).
    std::string TempFolder;
    // Where archives go while the `backupfolder` setting names none.
    std::string DefaultBackupFolder;
    // The undo sets of restores: what each replaced, and its journal.
    std::string UndoFolder;
};

// The paths of a program that keeps everything in `folder`, joined to it with one backslash.
ProgramPaths PathsIn(const std::string& folder);

// What start-up learns of the program's folder and the user.
struct PathFacts {
    std::string appFolder;
    std::string localAppData;  // the user's local application data folder; empty when unknown
    std::string documents;     // the user's Documents folder; empty when unknown
    bool installed = false;    // the package put the program into `appFolder`
    bool appFolderWritable = false;
    bool settingsInAppFolder = false;  // settings.dat lies beside the exe
};

// The user's own folder: "Kestrine" in the local application data folder.
std::string UserDataFolder(const PathFacts& facts);

// Where the program described by `facts` keeps its files.
ProgramPaths PathsFor(const PathFacts& facts);

// The settings.dat beside the exe that a program keeping its settings in the user's folder takes
// over on its first start there; empty when there is none to take over.
std::string SettingsToTakeOver(const PathFacts& facts, const ProgramPaths& paths);

// "Settings: <path>" and "Log: <path>" on two lines, for the about box.
std::string WhereFilesAreText(const ProgramPaths& paths);

}  // namespace kestrine
