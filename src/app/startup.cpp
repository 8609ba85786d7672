#include "app/startup.h"

#include "base/path.h"
#include "platform/files.h"
#include "platform/system.h"

namespace kestrine {

namespace {

std::string& AppFolderOverride() {
    static std::string folder;
    return folder;
}

}  // namespace

void SetAppFolderOverride(const std::string& folder) {
    AppFolderOverride() = folder;
}

void GatherStartupFacts(AppState& state) {
    state.AppFolder = AppFolderOverride().empty() ? platform::ExeFolder() : AppFolderOverride();
    state.ManifestPath = base::JoinPath(state.AppFolder, "kestrine.dat");
    // The log always exists while the program runs; appending nothing leaves an existing one as it
    // is.
    std::string log = base::JoinPath(state.AppFolder, "brlog.dat");
    platform::AppendBytes(log, "");
    state.ComputerName = platform::ComputerName();
    state.UserName = platform::UserName();
    state.WindowsDir = platform::WindowsFolder();
    state.NoSourceFile = true;
    state.UserProfileDir = platform::ExpandEnvironment("%UserProfile%");
}

}  // namespace kestrine
