// kestrine.exe as a user runs it: started with an empty command line, it keeps its settings and log
// in the user's own folder, backs up the sample profile with a password, opens that backup on the
// Restore page, restores it into a second profile, saves its settings and quits, all driven through
// its windows from this process. It is a copy unpacked into a folder of the user's, or with
// KESTRINE_PROGRAM the program the installer package put into Program Files. The sample profile
// goes where an installation without a recent Outlook keeps its profiles, and its data files into
// C:\Mail; both are removed afterwards.
#include <gtest/gtest.h>
#include <windows.h>
//
#include <commctrl.h>

#include "outlook/detection.h"
#include "platform/system.h"
#include "ui/restore_presenter.h"
#include "ui/win/resource.h"
#include "win_scratch.h"
#include "window_driver.h"

namespace kestrine::test {
namespace {

namespace fs = std::filesystem;

const std::string kProfiles = outlook::kMessagingProfilesRoot;
const std::string kOptions = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook";
const std::string kPassword = "Sample-Pass 2026!";

class ProgramRoundTrip : public ::testing::Test {
  public:
    ProgramRoundTrip() {
        // Nothing of an earlier profile may be replaced or removed by this test.
        hadProfiles = registry::KeyExists(kProfiles);
        hadOptions = registry::KeyExists(kOptions);
        hadMail = fs::exists("C:\\Mail");
        if (hadProfiles || hadOptions || hadMail) return;
        fs::copy(SourcePath("sample/drive_c/Mail"), "C:\\Mail");
        fs::copy(SourcePath("sample/userprofile"), Fs(user), fs::copy_options::recursive);
        fs::create_directories(Fs(local));
        fs::create_directories(Fs(user + "\\Documents"));
        fs::create_directories(Fs(app));
        fs::create_directories(Fs(backups));
        if (installed.empty())
            fs::copy_file(Fs(WinePath(std::getenv("KESTRINE_BINARY_DIR")) + "\\kestrine.exe"),
                          Fs(exe));
        const std::string reg =
            WinePath(SourcePath("sample/registry/outlook-profile.reg").string());
        Started regedit = StartKept(platform::Widen(platform::WindowsFolder() + "\\regedit.exe"),
                                    L"/S \"" + platform::Widen(reg) + L"\"");
        if (regedit.process && Ended(regedit.process)) CloseHandle(regedit.process);
        imported = registry::KeyExists(kProfiles + "\\Outlook");
        // The second profile, still empty: the restore puts the configuration into it.
        MakeKey(target);
    }
    ~ProgramRoundTrip() override {
        if (program.process) {
            if (!Ended(program.process, 0)) TerminateProcess(program.process, 1);
            CloseHandle(program.process);
        }
        if (!hadProfiles) registry::DeleteKeyTree(kProfiles);
        if (!hadOptions) registry::DeleteKeyTree(kOptions);
        if (!hadMail) fs::remove_all("C:\\Mail");
    }

    // Starts the program with the scratch user folder as the user's profile folder (its application
    // data folders are the shell's, redirected there).
    void Start() {
        std::wstring environment;
        const wchar_t* strings = GetEnvironmentStringsW();
        for (const wchar_t* s = strings; *s; s += wcslen(s) + 1)
            if (_wcsnicmp(s, L"USERPROFILE=", 12) != 0) environment.append(s).push_back(L'\0');
        environment.append(L"USERPROFILE=" + platform::Widen(user)).push_back(L'\0');
        FreeEnvironmentStringsW(const_cast<wchar_t*>(strings));
        program = StartKept(platform::Widen(exe), L"", environment);
        ASSERT_TRUE(program.process);
    }

    // Clicks a button that opens a message box of the program, and answers it.
    std::string ClickAndAnswer(HWND window, int id, int button = IDOK) {
        PostClick(window, id);
        return AnswerMessageBox(button, program.pid).text;
    }

    TempDir dir;
    std::string app = dir / "Kestrine";
    const std::string installed =
        std::getenv("KESTRINE_PROGRAM") ? std::getenv("KESTRINE_PROGRAM") : "";
    std::string exe = installed.empty() ? app + "\\kestrine.exe" : installed;
    std::string user = dir / "user";
    std::string data = user + "\\AppData\\Local\\Kestrine";
    std::string local = user + "\\AppData\\Local\\Microsoft\\Outlook";
    std::string backups = dir / "Backups";
    RedirectedShellFolder roaming{L"AppData", user + "\\AppData\\Roaming"};
    RedirectedShellFolder localData{L"Local AppData", user + "\\AppData\\Local"};
    RedirectedShellFolder documents{L"Personal", user + "\\Documents"};
    std::string target = kProfiles + "\\Restored";
    bool hadProfiles = false, hadOptions = false, hadMail = false, imported = false;
    Started program;
};

TEST_F(ProgramRoundTrip, BackUpOpenRestoreAndQuitThroughTheWindows) {
    if (hadProfiles || hadOptions || hadMail) GTEST_SKIP() << "this prefix has profiles of its own";
    ASSERT_TRUE(imported) << "regedit did not import the sample profile";
    Start();
    HWND main = WaitForWindow("Kestrine V3.30", nullptr, program.pid);
    ASSERT_TRUE(main);
    HWND source = Control(main, IDC_SOURCE_PROFILE);
    ASSERT_TRUE(WaitUntil([&] { return SendMessageW(source, CB_GETCOUNT, 0, 0) == 2; }))
        << SendMessageW(source, CB_GETCOUNT, 0, 0) << " profiles, the first \""
        << Text(main, IDC_SOURCE_PROFILE) << "\"; the program's log:\n"
        << Get(data + "\\brlog.dat");
    EXPECT_EQ(Text(main, IDC_SOURCE_PROFILE), "Outlook");

    // The Backup page: every item, a description, the file chosen in the save dialog, a password.
    SendMessageW(main, WM_COMMAND, IDM_SELECT_ALL_BACKUP, 0);
    Type(main, IDC_NOTE, "Sample profile\r\nbefore the move");
    Click(main, IDC_PROTECT);
    Type(main, IDC_PASSWORD, kPassword);
    Type(main, IDC_PASSWORD2, kPassword);
    const std::string archive = backups + "\\sample.ksx";
    PostClick(main, IDC_BROWSE_TARGET);
    ASSERT_TRUE(AnswerFileDialog("Save Outlook Data as", archive, program.pid));
    EXPECT_TRUE(WaitUntil([&] { return Text(main, IDC_TARGET_FILE) == archive; }));
    for (int i = 0; i < 9; ++i) EXPECT_TRUE(Checked(main, IDC_BACKUP_ITEM_FIRST + i)) << i;
    std::string said = ClickAndAnswer(main, IDC_APPLY);
    EXPECT_EQ(said.rfind("The Backup was Completed!", 0), 0u) << said;
    EXPECT_EQ(said.find("Fail!"), std::string::npos) << said;
    auto view = ReadArchive(archive, kPassword);
    ASSERT_TRUE(view.manifest.valid);
    EXPECT_EQ(view.manifest.header.identity, "Outlook");
    EXPECT_EQ(view.manifest.itemFlags, "11111111111");

    // The Restore page: open the backup, answer the password dialog, restore into "Restored".
    ShowTab(main, IDC_MAIN_TABS, 1);
    PostClick(main, IDC_BROWSE_SOURCE);
    ASSERT_TRUE(AnswerFileDialog("Restore Date from a backup file", archive, program.pid));
    HWND asked = WaitForWindow("Please enter password", nullptr, program.pid);
    ASSERT_TRUE(asked);
    Type(asked, IDC_PASSWORD_ENTRY, kPassword);
    PostMessageW(asked, WM_COMMAND, IDOK, 0);
    // The information box is the last the window fills.
    ASSERT_TRUE(WaitUntil([&] { return !Text(main, IDC_BACKUP_INFO).empty(); }));
    EXPECT_EQ(Text(main, IDC_FILE_INFO), "Sample profile\r\nbefore the move");
    HWND targetBox = Control(main, IDC_TARGET_PROFILE);
    const auto restored = SendMessageW(targetBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(L"Restored"));
    ASSERT_GE(restored, 0);
    Choose(main, IDC_TARGET_PROFILE, static_cast<int>(restored));
    SendMessageW(main, WM_COMMAND, IDM_SELECT_ALL_RESTORE, 0);
    EXPECT_EQ(ClickAndAnswer(main, IDC_APPLY).rfind(ui::kConfirmRestoreFirstLine, 0), 0u);
    said = AnswerMessageBox(IDOK, program.pid).text;
    EXPECT_EQ(said.rfind("The Restore was Completed!", 0), 0u) << said;
    EXPECT_EQ(said.find("Fail!"), std::string::npos) << said;

    // The data files are in the local Outlook folder and the second profile points at them.
    EXPECT_EQ(Get(local + "\\Outlook.pst"),
              ReadFile(SourcePath("sample/drive_c/Mail/Outlook.pst")));
    EXPECT_TRUE(Exists(local + "\\Archive.pst"));
    EXPECT_EQ(registry::GetBinaryPath(target + "\\13dbb0c8aa05101a9bb000aa002fc45a", "01020fff"),
              local + "\\Outlook.pst");
    EXPECT_EQ(registry::GetBinaryPath(target + "\\2f7c3e5a1b2d4c6e8f90a1b2c3d4e5f6", "01020fff"),
              local + "\\Archive.pst");
    EXPECT_EQ(registry::GetStringValue(target + "\\9375CFF0413111d3B88A00104B2A6676\\00000001",
                                       "Account Name"),
              "sample@example.com");
    const std::string log = Get(data + "\\brlog.dat");
    EXPECT_NE(log.find(" Restore Data to Profile Restored was Completed!\r"), std::string::npos);

    // Settings go to the user's folder too; an installed program proposes archives in Documents.
    PostMessageW(main, WM_COMMAND, IDM_SETTINGS, 0);
    HWND settings = WaitForWindow("Settings", nullptr, program.pid);
    ASSERT_TRUE(settings);
    PostClick(settings, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return Exists(data + "\\settings.dat"); }));
    EXPECT_EQ(Exists(user + "\\Documents\\Kestrine Backups"), !installed.empty());
    if (installed.empty()) {
        EXPECT_EQ(platform::fileio::ListFileNames(app), std::vector<std::string>{"kestrine.exe"});
    }

    PostMessageW(main, WM_COMMAND, IDM_QUIT, 0);
    ASSERT_TRUE(Ended(program.process));
    DWORD exitCode = 1;
    GetExitCodeProcess(program.process, &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace kestrine::test
