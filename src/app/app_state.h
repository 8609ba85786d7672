#pragma once
// The record of facts that start-up, the profile inventory and the opening of an archive fill and
// that the window's commands read: the program's paths, what detection learnt of Windows and
// Outlook, and the item locations of the profile chosen as backup source. The entry point owns the
// one instance and passes it on. All text is UTF-8.
#include <array>
#include <string>

#include "app/program_paths.h"
#include "backup_format/items.h"
#include "backup_format/manifest.h"
#include "outlook/environment.h"
#include "outlook/locations.h"

namespace kestrine {

struct AppState : ProgramPaths, outlook::Environment, outlook::ItemLocations {
    std::string CommandLine;
    std::string ComputerName;
    std::string UserName;
    std::string WindowsDir;

    std::string TargetFile;
    std::string SourceFile;
    bool NoSourceFile = true;
    std::string EnteredPassword;
    std::string ItemFlags;
    // The manifest value of each archive item of the open archive, by archive::IndexOf(item).
    std::array<std::string, archive::kItemCount> ItemEntries;
    // Which profile section each of its data files came from; empty when it does not say.
    std::string DataFileStores;
    // Where the open archive came from: computer, user, time, profile.
    archive::ManifestHeader SourceHeader;
};

}  // namespace kestrine
