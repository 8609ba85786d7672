#pragma once
// The start-up steps that gather facts without a window.
#include <string>

#include "app/app_state.h"

namespace kestrine {

// Where the program in `appFolder` keeps its files (ProgramPaths), with the user's folder and the
// default backup folder made when missing and, on the first start in the user's folder, the
// settings beside the exe taken over.
ProgramPaths PreparePaths(const std::string& appFolder);

// The paths of the program in `appFolder` (the executable's folder; tests pass a scratch folder),
// brlog.dat created empty when missing, ComputerName, UserName, WindowsDir,
// UserProfileDir and the shell's application data folders. A failing step leaves its field empty
// and the next one runs.
void GatherStartupFacts(AppState& state, const std::string& appFolder);

}  // namespace kestrine
