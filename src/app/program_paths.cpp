#include "app/program_paths.h"

#include "base/path.h"

namespace kestrine {

ProgramPaths PathsIn(const std::string& appFolder) {
    ProgramPaths paths;
    paths.AppFolder = appFolder;
    paths.SettingsFile = base::JoinPath(appFolder, "settings.dat");
    paths.LogFile = base::JoinPath(appFolder, "brlog.dat");
    paths.TempFolder = appFolder;
    paths.UndoFolder = base::JoinPath(appFolder, "Undo");
    return paths;
}

}  // namespace kestrine
