#pragma once
// The start-up steps that gather facts without a window.
#include <string>

#include "app/app_state.h"

namespace kestrine {

// The paths of `appFolder` (the executable's folder; tests pass a scratch folder), brlog.dat
// created empty when missing, ComputerName, UserName, WindowsDir, NoSourceFile, UserProfileDir and
// the shell's application data folders. A failing step leaves its field empty and the next one
// runs.
void GatherStartupFacts(AppState& state, const std::string& appFolder);

}  // namespace kestrine
