// The backup under Wine where the real platform layer decides: what another user could plant (a
// junction, the run lock's old name), and a data file above 4 GiB through the system's own file
// streams. The engine's behaviour is tested natively (backup_run_test), the window's run through
// the main window (main_window_win_test).
#include <gtest/gtest.h>
#include <windows.h>
//
#include <winioctl.h>

#include <future>
#include <thread>

#include "backup/backup_run.h"
#include "backup_page.h"
#include "platform/file_stream.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "ui/commands.h"
#include "win_scratch.h"
#include "window_runs.h"

namespace kestrine::test {
namespace {

using backup_format::Choice;

class BackupNow : public BackupPage {
  public:
    backup::BackupResult Run() { return BackupLikeTheWindow(window, s.state, zip).result; }
};

// A junction at `link` (an empty folder) that leads to `target`; false where the system cannot.
bool MakeJunction(const std::string& link, const std::string& target) {
    std::filesystem::create_directory(Fs(link));
    HANDLE folder =
        CreateFileW(platform::Widen(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    const std::wstring substitute = L"\\?\?\\" + platform::Widen(target);
    const std::wstring print = platform::Widen(target);
    std::vector<BYTE> buffer(8 + 8 + (substitute.size() + print.size() + 2) * 2);
    auto* data = reinterpret_cast<WORD*>(buffer.data());
    *reinterpret_cast<DWORD*>(buffer.data()) = IO_REPARSE_TAG_MOUNT_POINT;
    data[2] = static_cast<WORD>(buffer.size() - 8);
    data[4] = 0;
    data[5] = static_cast<WORD>(substitute.size() * 2);
    data[6] = static_cast<WORD>((substitute.size() + 1) * 2);
    data[7] = static_cast<WORD>(print.size() * 2);
    std::copy(substitute.begin(), substitute.end(), reinterpret_cast<wchar_t*>(data + 8));
    std::copy(print.begin(), print.end(),
              reinterpret_cast<wchar_t*>(data + 8) + substitute.size() + 1);
    DWORD returned = 0;
    const bool made =
        DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(folder);
    return made;
}

// What another user of the computer could leave where the runs work: a junction named like an
// ended run's folder, folders named like the next runs' with a manifest of their own inside, and
// the run lock's name of earlier versions held.
TEST_F(BackupNow, WhatAnotherUserPlantsDoesNoHarm) {
    TickAll();
    const std::string victim = s.dir / "victim";
    Put(victim + "\\precious.pst", "somebody's mail");
    const std::string junction = s.app + "\\~kestrine.run-999998-1.tmp";
    const bool junctions = MakeJunction(junction, victim);
    const std::string own = std::to_string(platform::CurrentProcessId());
    std::vector<std::string> planted;
    for (int n = 0; n < 300; ++n) {
        planted.push_back(s.app + "\\~kestrine.run-" + own + "-" + std::to_string(n) + ".tmp");
        Put(planted.back() + "\\kestrine.dat", "BackupProfileName=Poisoned\r\n");
    }
    std::promise<void> release;
    std::promise<bool> held;
    std::thread oldLock([&] {
        const std::wstring name = L"Global\\Kestrine.Run." + platform::Widen(platform::UserName());
        HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
        held.set_value(mutex != nullptr);
        release.get_future().wait();
        if (mutex) CloseHandle(mutex);
    });
    EXPECT_TRUE(held.get_future().get());

    const auto run = Run();
    release.set_value();
    oldLock.join();
    EXPECT_NE(run.outcome, recovery::RunOutcome::Busy);
    // Either the run worked in a folder of its own or it had none and said so; the planted
    // manifest never went into an archive.
    if (run.Written()) {
        auto view = ReadArchive(Target());
        EXPECT_EQ(view.manifest.header.identity, "Outlook");
    } else {
        EXPECT_NE(run.error.find("No folder for the run's files"), std::string::npos);
    }
    for (const auto& folder : planted)
        EXPECT_EQ(Get(folder + "\\kestrine.dat"), "BackupProfileName=Poisoned\r\n") << folder;
    EXPECT_EQ(Get(victim + "\\precious.pst"), "somebody's mail");
    if (junctions) {
        EXPECT_TRUE(Exists(junction));
    } else {
        std::cout << "[ NOTE ] this system cannot make junctions; the junction was not planted\n";
    }
    for (const auto& folder : planted) std::filesystem::remove_all(Fs(folder));
    if (junctions) RemoveDirectoryW(platform::Widen(junction).c_str());
}

// A data file above 4 GiB through the system's own large-file streams (7z checks the archive).
TEST_F(BackupNow, ADataFileLargerThanFourGigabytes) {
    const std::string big = p.mail + "\\a.pst";
    std::filesystem::remove(Fs(big));
    {
        auto f = platform::fileio::CreateNew(big);
        ASSERT_TRUE(f);
        ASSERT_TRUE(f->Seek((uint64_t{4} << 30) + 4096));  // sparse: only the tail is written
        ASSERT_TRUE(f->Write("tail of a large data file", 25));
    }
    if (const std::string out = ArtifactFolder(); !out.empty())
        window.backup.targetFileText = out + "\\large.ksx";
    Tick({Choice::PersonalFolders});
    const auto run = Run();
    ASSERT_TRUE(run.Written());
    EXPECT_EQ(run.itemFlags, "11100000000");
    archive::ArchiveReader reader;
    ASSERT_TRUE(reader.OpenArchive(Target()));
    EXPECT_EQ(reader.FindEntry("a.pst")->uncompressedSize, (uint64_t{4} << 30) + 4096 + 25);
}

}  // namespace
}  // namespace kestrine::test
