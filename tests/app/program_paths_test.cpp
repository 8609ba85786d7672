// Where the program keeps its files, for each way it can stand on a computer.
#include <gtest/gtest.h>

#include "app/program_paths.h"

namespace kestrine {
namespace {

PathFacts Facts(bool installed, bool writable, bool settings) {
    PathFacts facts;
    facts.appFolder = "C:\\Program Files\\Kestrine";
    facts.localAppData = "C:\\Users\\sam\\AppData\\Local";
    facts.documents = "C:\\Users\\sam\\Documents";
    facts.installed = installed;
    facts.appFolderWritable = writable;
    facts.settingsInAppFolder = settings;
    return facts;
}

TEST(ProgramPaths, InstalledReadOnlyPortableAndUnpacked) {
    const std::string user = "C:\\Users\\sam\\AppData\\Local\\Kestrine";
    const std::string backups = "C:\\Users\\sam\\Documents\\Kestrine Backups";
    // Installed by the package, or in a folder the user cannot write: all in the user's folder,
    // archives in Documents, and settings beside the exe are taken over.
    for (const auto& facts : {Facts(true, true, true), Facts(false, false, true)}) {
        const ProgramPaths paths = PathsFor(facts);
        EXPECT_EQ(paths.AppFolder, facts.appFolder);
        EXPECT_EQ(paths.SettingsFile, user + "\\settings.dat");
        EXPECT_EQ(paths.LogFile, user + "\\brlog.dat");
        EXPECT_EQ(paths.TempFolder, user);
        EXPECT_EQ(paths.DefaultBackupFolder, backups);
        EXPECT_EQ(SettingsToTakeOver(facts, paths), facts.appFolder + "\\settings.dat");
    }
    EXPECT_EQ(SettingsToTakeOver(Facts(true, false, false), PathsFor(Facts(true, false, false))),
              "");
    // A portable copy that keeps its settings beside it goes on doing so, but its runs work in
    // the user's own folder, and what its restores set aside is kept there too.
    auto portable = PathsFor(Facts(false, true, true));
    EXPECT_EQ(portable.SettingsFile, "C:\\Program Files\\Kestrine\\settings.dat");
    EXPECT_EQ(portable.LogFile, "C:\\Program Files\\Kestrine\\brlog.dat");
    EXPECT_EQ(portable.TempFolder, user);
    EXPECT_EQ(portable.UndoFolder, user + "\\Undo");
    EXPECT_EQ(portable.DefaultBackupFolder, "C:\\Program Files\\Kestrine");
    EXPECT_EQ(SettingsToTakeOver(Facts(false, true, true), portable), "");
    // Freshly unpacked into a folder of the user's: settings in the user's folder, archives beside.
    auto unpacked = PathsFor(Facts(false, true, false));
    EXPECT_EQ(unpacked.SettingsFile, user + "\\settings.dat");
    EXPECT_EQ(unpacked.DefaultBackupFolder, "C:\\Program Files\\Kestrine");
    // Without the shell's folders the program can only work where it stands.
    PathFacts bare = Facts(true, false, false);
    bare.localAppData.clear();
    bare.documents.clear();
    EXPECT_EQ(PathsFor(bare).SettingsFile, "C:\\Program Files\\Kestrine\\settings.dat");
    EXPECT_EQ(PathsFor(bare).DefaultBackupFolder, "C:\\Program Files\\Kestrine");
    EXPECT_EQ(WhereFilesAreText(portable),
              "Settings: C:\\Program Files\\Kestrine\\settings.dat\r\n"
              "Log: C:\\Program Files\\Kestrine\\brlog.dat");
}

}  // namespace
}  // namespace kestrine
