#pragma once
// The one process-wide record of facts that start-up, the profile inventory and the opening of an
// archive fill, and that every run reads. All text is UTF-8.
#include <array>
#include <string>
#include <vector>

namespace kestrine {

// Where each backup item of a profile lives (outlook::LocationsFor computes them).
struct ItemLocations {
    std::string AccountsKey;
    std::string SignaturesDir;
    std::string StationeryDir;
    std::string RulesDir;
    std::string TemplatesDir;
    std::string PreferencesDir;
    std::string OptionsKey;
    std::string ContactsDir;
};

// The item locations are those of the profile chosen as backup source.
struct AppState : ItemLocations {
    std::string AppFolder;  // folder of the running exe, without a trailing backslash
                            // (except a drive root such as "C:\")
    std::string CommandLine;
    std::string ManifestPath;
    std::string ComputerName;
    std::string UserName;
    std::string WindowsDir;
    std::string UserProfileDir;
    std::string OSVersion;
    std::string OutlookName;
    std::string OutlookVersion;
    std::string ProfilesRoot;
    std::vector<std::string> ProfileNames;
    bool NoProfiles = false;

    std::string TargetFile;
    std::string SourceFile;
    bool NoSourceFile = true;
    std::string EnteredPassword;
    std::string ItemFlags;
    std::array<std::string, 11> ItemEntries;  // manifest value of archive items 1..11 (index 0..10)
};

// The process-wide instance.
AppState& State();

}  // namespace kestrine
