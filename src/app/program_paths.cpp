#include "app/program_paths.h"

#include "base/path.h"
#include "base/text.h"

namespace kestrine {

namespace {

constexpr const char* kSettingsName = "settings.dat";
constexpr const char* kLogName = "brlog.dat";
constexpr const char* kUndoFolderName = "Undo";

// Settings and log stay beside the exe only for a copy the user unpacked and already uses there.
bool KeepsFilesBesideProgram(const PathFacts& facts) {
    return !facts.installed && facts.appFolderWritable && facts.settingsInAppFolder;
}

}  // namespace

ProgramPaths PathsIn(const std::string& folder) {
    ProgramPaths paths;
    paths.AppFolder = folder;
    paths.DataFolder = folder;
    paths.SettingsFile = base::JoinPath(folder, kSettingsName);
    paths.LogFile = base::JoinPath(folder, kLogName);
    paths.TempFolder = folder;
    paths.DefaultBackupFolder = folder;
    paths.UndoFolder = base::JoinPath(folder, kUndoFolderName);
    return paths;
}

std::string UserDataFolder(const PathFacts& facts) {
    // Without a local application data folder the program can only work where it stands.
    if (facts.localAppData.empty()) return facts.appFolder;
    return base::JoinPath(facts.localAppData, "Kestrine");
}

ProgramPaths PathsFor(const PathFacts& facts) {
    const std::string userFolder = UserDataFolder(facts);
    ProgramPaths paths = PathsIn(KeepsFilesBesideProgram(facts) ? facts.appFolder : userFolder);
    paths.AppFolder = facts.appFolder;
    // What runs stage and what restores set aside are the user's alone, wherever settings live.
    paths.TempFolder = userFolder;
    paths.UndoFolder = base::JoinPath(userFolder, kUndoFolderName);
    // A copy the user unpacked into a folder of their own proposes archives there, as it always
    // did; an installed one never proposes Program Files.
    if (facts.installed || !facts.appFolderWritable)
        paths.DefaultBackupFolder = facts.documents.empty()
                                        ? userFolder
                                        : base::JoinPath(facts.documents, "Kestrine Backups");
    else
        paths.DefaultBackupFolder = facts.appFolder;
    return paths;
}

std::string SettingsToTakeOver(const PathFacts& facts, const ProgramPaths& paths) {
    if (!facts.settingsInAppFolder || base::EqualsNoCase(paths.DataFolder, facts.appFolder))
        return {};
    return base::JoinPath(facts.appFolder, kSettingsName);
}

std::string WhereFilesAreText(const ProgramPaths& paths) {
    return "Settings: " + paths.SettingsFile + "\r\nLog: " + paths.LogFile;
}

}  // namespace kestrine
