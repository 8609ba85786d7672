// The application core under Wine where the real platform decides: the shell's folders, file
// attributes and lookups, temporary files, the machine's facts and its data protection. Settings,
// the log, start-up's own rules and an installed program's folders are tested natively
// (app_files_test).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/startup.h"
#include "outlook/locations.h"
#include "platform/data_protection.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "schedule/command_line.h"
#include "win_scratch.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
namespace fileio = platform::fileio;
using test::TempDir;
using test::WriteFile;

void Attrib(const std::string& flags, const std::string& path) {
    std::string command = "attrib " + flags + " \"" + path + "\" >NUL";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(Startup, PerUserFoldersComeFromTheShellAlsoWhenRedirected) {
    // Folder redirection puts the roaming folder elsewhere (a network share, say); the profile
    // folder's layout no longer finds it.
    TempDir dir;
    AppState state;
    {
        test::RedirectedShellFolder roaming(L"AppData", dir / "Redirected");
        GatherStartupFacts(state, dir.str());
    }
    EXPECT_EQ(state.environment.RoamingAppDataDir, dir / "Redirected");
    EXPECT_EQ(outlook::FoldersOf(state.environment).signatures,
              dir / "Redirected\\Microsoft\\Signatures");
    EXPECT_TRUE(fs::is_directory(test::Fs(state.environment.LocalAppDataDir)));
    EXPECT_EQ(outlook::FoldersOf(state.environment).localOutlook,
              state.environment.LocalAppDataDir + "\\Microsoft\\Outlook");
}

TEST(Files, LookupsListingRemovalAndFolders) {
    TempDir dir;
    std::string file = dir / "a.txt", hidden = dir / "h.txt";
    WriteFile(file, "x");
    WriteFile(hidden, "x");
    Attrib("+h", hidden);
    fs::create_directory(dir.path() / "sub");
    WriteFile(dir.path() / "sub" / "inner.txt", "4");
    EXPECT_TRUE(fileio::IsFile(hidden));
    EXPECT_FALSE(fileio::NormalFileExists(hidden));  // the plain lookup does not see it
    EXPECT_TRUE(fileio::NormalFileExists(file));
    EXPECT_FALSE(fileio::IsFile(dir.str()));

    EXPECT_EQ(fileio::ListFileNames(dir.str(), fileio::Listing::Visible),
              std::vector<std::string>{"a.txt"});
    auto all = fileio::ListFileNames(dir.str() + "\\");
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"a.txt", "h.txt"}));
    EXPECT_TRUE(fileio::ListFileNames(dir / "missing").empty());

    Attrib("+r", file);
    EXPECT_TRUE(fileio::RemoveFile(file));  // a read-only file too
    EXPECT_FALSE(fs::exists(test::Fs(file)));
    EXPECT_TRUE(fileio::RemoveFile(file));           // already gone counts as removed
    EXPECT_FALSE(fileio::RemoveFile(dir / "sub"));   // a folder is not a file
    EXPECT_TRUE(fileio::MakeFolder(dir / "sub"));    // there afterwards
    EXPECT_FALSE(fileio::MakeFolder(dir / "x\\y"));  // one level only

    std::string one, two, none;
    ASSERT_TRUE(fileio::CreateTempFile(dir.str(), "OBA", one));
    ASSERT_TRUE(fileio::CreateTempFile(dir.str(), "OBA", two));
    EXPECT_NE(one, two);
    EXPECT_TRUE(fs::exists(test::Fs(one)));
    const std::string name = one.substr(one.rfind('\\') + 1);
    EXPECT_EQ(name.substr(0, 3), "OBA");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_FALSE(fileio::CreateTempFile(dir / "missing", "OBC", none));
}

TEST(System, LocaleTimeAndTheCommandLineAsWindowsHandsItOver) {
    const std::string text = platform::LocaleDateTimeText({2026, 12, 5, 8, 35, 7});
    EXPECT_LT(text.find("2026"), text.find("35")) << text;  // short date, then long time
    EXPECT_NE(text.find("07"), std::string::npos) << text;
    // gtest's own arguments form the tail.
    EXPECT_EQ(schedule::CommandLineTail(platform::CommandLineText()).rfind("--gtest", 0), 0u);
    // The system's data protection opens a seal for its own purpose only.
    const auto sealed = platform::ProtectForCurrentUser(std::string("p\0w", 3), "purpose");
    ASSERT_TRUE(sealed);
    EXPECT_EQ(platform::UnprotectForCurrentUser(*sealed, "purpose"), std::string("p\0w", 3));
    EXPECT_FALSE(platform::UnprotectForCurrentUser(*sealed, "another purpose"));
}

}  // namespace
}  // namespace kestrine
