#include "app/startup.h"

#include "base/path.h"
#include "base/text.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "registry/registry.h"

namespace kestrine {

namespace {

// Either package may have put the program here; a copy elsewhere beside an installed one is not
// installed.
bool InstalledInto(const std::string& appFolder) {
    const std::string app = base::WithoutTrailingSeparators(appFolder);
    for (const auto& recorded : {registry::GetMachineStringValue(kInstallKey, kInstallFolderValue),
                                 registry::GetStringValue(kUserInstallKey, kInstallFolderValue)}) {
        if (recorded && !recorded->empty() &&
            base::EqualsNoCase(base::WithoutTrailingSeparators(*recorded), app))
            return true;
    }
    return false;
}

// A copy made with a new file, so that two programs starting at once never write into one. Asked
// first, so that a start-up that has its own settings reads nothing more.
void CopyIfMissing(const std::string& from, const std::string& to) {
    if (platform::fileio::Exists(to)) return;
    const auto bytes = platform::fileio::ReadWholeFile(from);
    if (!bytes) return;
    auto copy = platform::fileio::CreateNew(to);
    if (copy && !copy->Write(bytes->data(), bytes->size())) {
        copy.reset();
        platform::fileio::RemoveFile(to);
    }
}

}  // namespace

ProgramPaths PreparePaths(const std::string& appFolder) {
    PathFacts facts;
    facts.appFolder = appFolder;
    facts.localAppData = platform::LocalAppDataFolder();
    facts.documents = platform::DocumentsFolder();
    facts.installed = InstalledInto(appFolder);
    facts.appFolderWritable = !facts.installed && platform::fileio::FolderIsWritable(appFolder);
    facts.settingsInAppFolder = platform::fileio::IsFile(base::JoinPath(appFolder, "settings.dat"));
    const ProgramPaths paths = PathsFor(facts);
    platform::fileio::MakeFolder(paths.TempFolder);
    const std::string earlier = SettingsToTakeOver(facts, paths);
    if (!earlier.empty()) CopyIfMissing(earlier, paths.SettingsFile);
    // Proposed archives go there, and the save dialog opens there.
    if (paths.DefaultBackupFolder != appFolder)
        platform::fileio::MakeFolder(paths.DefaultBackupFolder);
    return paths;
}

void GatherStartupFacts(AppState& state, const std::string& appFolder) {
    state.paths = PreparePaths(appFolder);
    // The log always exists while the program runs; appending nothing leaves an existing one as it
    // is.
    platform::fileio::AppendBytes(state.paths.LogFile, "");
    state.ComputerName = platform::ComputerName();
    state.UserName = platform::UserName();
    state.WindowsDir = platform::WindowsFolder();
    state.environment.UserProfileDir = platform::ExpandEnvironment("%UserProfile%");
    state.environment.RoamingAppDataDir = platform::RoamingAppDataFolder();
    state.environment.LocalAppDataDir = platform::LocalAppDataFolder();
}

}  // namespace kestrine
