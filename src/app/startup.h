#pragma once
// The start-up steps that gather facts without a window.
#include <string>

#include "app/app_state.h"

namespace kestrine {

// Makes GatherStartupFacts use `folder` as the application folder instead of the executable's
// folder (tests point it at a scratch folder); an empty text goes back to the executable's folder.
void SetAppFolderOverride(const std::string& folder);

// Application folder, ManifestPath (drive-root rule), brlog.dat created empty when missing,
// ComputerName, UserName, WindowsDir, NoSourceFile, UserProfileDir. A failing step leaves its field
// empty and the next one runs.
void GatherStartupFacts(AppState& state);

}  // namespace kestrine
