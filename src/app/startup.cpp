#include "app/startup.h"

#include "base/path.h"
#include "base/text.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "registry/registry.h"

namespace kestrine {

namespace {

bool InstalledInto(const std::string& appFolder) {
    std::string folder =
        registry::GetMachineStringValue(kInstallKey, kInstallFolderValue).value_or("");
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    std::string app = appFolder;
    while (app.size() > 3 && app.back() == '\\') app.pop_back();
    return base::EqualsNoCase(folder, app);
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
    static_cast<ProgramPaths&>(state) = PreparePaths(appFolder);
    // The log always exists while the program runs; appending nothing leaves an existing one as it
    // is.
    platform::fileio::AppendBytes(state.LogFile, "");
    state.ComputerName = platform::ComputerName();
    state.UserName = platform::UserName();
    state.WindowsDir = platform::WindowsFolder();
    state.NoSourceFile = true;
    state.UserProfileDir = platform::ExpandEnvironment("%UserProfile%");
    state.RoamingAppDataDir = platform::RoamingAppDataFolder();
    state.LocalAppDataDir = platform::LocalAppDataFolder();
}

}  // namespace kestrine
