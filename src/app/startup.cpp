#include "app/startup.h"

#include "platform/files.h"
#include "platform/system.h"

namespace kestrine {

void GatherStartupFacts(AppState& state, const std::string& appFolder) {
    static_cast<ProgramPaths&>(state) = PathsIn(appFolder);
    // The log always exists while the program runs; appending nothing leaves an existing one as it
    // is.
    platform::AppendBytes(state.LogFile, "");
    state.ComputerName = platform::ComputerName();
    state.UserName = platform::UserName();
    state.WindowsDir = platform::WindowsFolder();
    state.NoSourceFile = true;
    state.UserProfileDir = platform::ExpandEnvironment("%UserProfile%");
    state.RoamingAppDataDir = platform::RoamingAppDataFolder();
    state.LocalAppDataDir = platform::LocalAppDataFolder();
}

}  // namespace kestrine
