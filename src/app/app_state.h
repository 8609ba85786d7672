#pragma once
// The record of facts that start-up, the profile inventory and the opening of an archive fill and
// that the window's commands and the unattended run read, one named part each. The entry point
// owns the one instance and passes on the part a call needs. All text is UTF-8.
#include <array>
#include <string>

#include "app/program_paths.h"
#include "backup_format/items.h"
#include "backup_format/manifest.h"
#include "outlook/environment.h"
#include "outlook/locations.h"

namespace kestrine {

// The backup open on the Restore page, as its open left it for the restore run.
struct OpenedArchive {
    std::string sourceFile;
    std::string itemFlags;
    // The manifest value of each backup item, by backup_format::IndexOf(item).
    std::array<std::string, backup_format::kItemCount> entries;
    // Which profile section each of its data files came from; empty when it does not say.
    std::string dataFileStores;
    // Where it came from: computer, user, time, profile.
    backup_format::ManifestHeader header;
};

struct AppState {
    ProgramPaths paths;
    outlook::Environment environment;
    // The item locations of the profile chosen as backup source.
    outlook::ItemLocations locations;
    OpenedArchive openedArchive;

    // The machine and the session.
    std::string CommandLine;  // the unattended run's, after the program's name
    std::string ComputerName;
    std::string UserName;
    std::string WindowsDir;
};

}  // namespace kestrine
