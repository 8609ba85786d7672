// Windows and Outlook detection against real COM and WMI under Wine. A local-server exe stands in
// for Outlook's automation server; it is registered for the test's run only. All COM tests live in
// this one executable because the registration of "Outlook.Application" is shared by the prefix.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "outlook/detection.h"
#include "outlook/environment.h"
#include "outlook/process_control.h"
#include "outlook/profile_data.h"
#include "platform/outlook_automation.h"
#include "platform/wmi.h"
#include "schedule/unattended.h"
#include "win_scratch.h"
// After windows.h (win_scratch.h): CLSIDFromProgID.
#include <objbase.h>

namespace kestrine::outlook {
namespace {

const wchar_t kClsidText[] = L"{6B1D3C52-8F0A-4E8B-9C3D-2A5E7F1B0C41}";
const wchar_t kServerSettings[] = L"Software\\KestrineTest\\olk-com";

void SetDefault(HKEY root, const std::wstring& sub, const wchar_t* name,
                const std::wstring& value) {
    RegSetKeyValueW(root, sub.c_str(), name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The stand-in server's registration under the per-user classes. Wine's COM reads only the
// machine-wide classes, so there (and only when the per-user entry is not seen) the same entries
// also go under HKEY_LOCAL_MACHINE\Software\Classes of the throwaway prefix.
class ServerRegistration {
  public:
    void Register() {
        Write(HKEY_CURRENT_USER);
        CLSID found;
        machineToo_ = FAILED(CLSIDFromProgID(L"Outlook.Application", &found));
        if (machineToo_) Write(HKEY_LOCAL_MACHINE);
    }
    void Unregister() {
        Remove(HKEY_CURRENT_USER);
        if (machineToo_) Remove(HKEY_LOCAL_MACHINE);
    }

  private:
    static void Write(HKEY root) {
        std::wstring server = L"\"" + (test::ExeFolder() / "olk_com_server.exe").wstring() + L"\"";
        std::wstring classes = L"Software\\Classes";
        SetDefault(root, classes + L"\\Outlook.Application\\CLSID", nullptr, kClsidText);
        SetDefault(root, classes + L"\\CLSID\\" + kClsidText + L"\\LocalServer32", nullptr, server);
        SetDefault(root, classes + L"\\CLSID\\" + kClsidText + L"\\ProgID", nullptr,
                   L"Outlook.Application");
    }
    static void Remove(HKEY root) {
        std::wstring classes = L"Software\\Classes";
        RegDeleteTreeW(root, (classes + L"\\Outlook.Application").c_str());
        RegDeleteTreeW(root, (classes + L"\\CLSID\\" + kClsidText).c_str());
    }
    bool machineToo_ = false;
};

class OutlookDetection : public ::testing::Test {
  protected:
    void SetUp() override {
        marker_ = dir_.path() / "quit.txt";
        made_ = dir_.path() / "made.txt";
        SetDefault(HKEY_CURRENT_USER, kServerSettings, L"QuitMarker", marker_.wstring());
        SetDefault(HKEY_CURRENT_USER, kServerSettings, L"CreateMarker", made_.wstring());
    }
    void TearDown() override {
        registration_.Unregister();
        RegDeleteTreeW(HKEY_CURRENT_USER, kServerSettings);
    }
    void AnswerVersion(const std::string& text) {
        SetDefault(HKEY_CURRENT_USER, kServerSettings, L"Version", platform::Widen(text));
    }
    // The registration is visible to every process of the prefix, so it exists only around the
    // calls that need it.
    template <class F>
    auto WithServer(F call) {
        registration_.Register();
        auto result = call();
        registration_.Unregister();
        return result;
    }
    void Detect(Environment& env, const std::string& appPathsKey = kOutlookAppPathsKey) {
        WithServer([&] {
            DetectOutlookVersion(env, appPathsKey);
            return 0;
        });
    }
    int QuitCalls() const { return Lines(marker_); }
    int OutlooksMade() const { return Lines(made_); }
    static int Lines(const std::filesystem::path& marker) {
        std::ifstream in(marker);
        int n = 0;
        for (std::string line; std::getline(in, line);) ++n;
        return n;
    }

    // The stand-in server started as a running Outlook (OUTLOOK.EXE in `folder`), ready to answer;
    // it runs until the test stops it or the object goes.
    class RunningServer {
      public:
        RunningServer(const std::filesystem::path& folder, const std::wstring& tag) {
            const std::wstring pid = std::to_wstring(GetCurrentProcessId());
            ready_ = CreateEventW(nullptr, TRUE, FALSE, (tag + L"-ready-" + pid).c_str());
            stop_ = CreateEventW(nullptr, TRUE, FALSE, (tag + L"-stop-" + pid).c_str());
            test::CopyTestProgram("olk_com_server.exe", folder / "OUTLOOK.EXE");
            process =
                test::StartKept(folder / "OUTLOOK.EXE", L"-running " + tag + L"-ready-" + pid +
                                                            L" " + tag + L"-stop-" + pid)
                    .process;
            HANDLE waitFor[] = {ready_, process};
            started = process && WaitForMultipleObjects(2, waitFor, FALSE, 30000) == WAIT_OBJECT_0;
        }
        ~RunningServer() {
            SetEvent(stop_);
            if (process) {
                test::Ended(process);
                CloseHandle(process);
            }
            CloseHandle(ready_);
            CloseHandle(stop_);
        }
        bool Running() const { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }
        HANDLE process = nullptr;
        bool started = false;

      private:
        HANDLE ready_ = nullptr, stop_ = nullptr;
    };

    ServerRegistration registration_;
    test::TempDir dir_;
    std::filesystem::path marker_, made_;
};

// A registered automation object is never made just to learn the version: that would start
// Outlook, which opens the data files a backup is about to read. Nothing else recorded is no
// Outlook (the release table itself is checked on its own).
TEST_F(OutlookDetection, ARegisteredObjectIsNeverMadeAndNothingRecordedMeansNoOutlook) {
    AnswerVersion("16.0.0.4266");
    Environment env;
    Detect(env, "HKEY_LOCAL_MACHINE\\SOFTWARE\\KestrineTest\\NoSuchAppPaths");
    EXPECT_EQ(env.OutlookName, "No Outlook");
    EXPECT_EQ(env.OutlookVersion, "");
    EXPECT_EQ(QuitCalls(), 0);

    // Registered but not running: the probe itself makes none either.
    EXPECT_FALSE(WithServer([] { return platform::ProbeOutlookVersion(); }).objectObtained);
    EXPECT_EQ(QuitCalls(), 0);

    // A whole scheduled run, start-up detection and all, makes none.
    const std::string app = test::Utf8(dir_.path());
    std::ofstream(dir_.path() / "settings.dat") << "[autobackup]\r\nautobackupfile=0\r\n";
    EXPECT_EQ(WithServer([&] {
                  return schedule::RunUnattendedProgram(
                      "sf=KestrineTestNoProfilexm=000000000ps=bf=" + app + "\\run.ksx", app);
              }),
              schedule::kExitAllSucceeded);
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "run.ksx"));
    EXPECT_EQ(OutlooksMade(), 0);
    EXPECT_EQ(QuitCalls(), 0);
    // What making one would look like.
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IDispatch* made = WithServer([] {
        IDispatch* object = nullptr;
        CLSID clsid;
        if (SUCCEEDED(CLSIDFromProgID(L"Outlook.Application", &clsid)))
            CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&object));
        return object;
    });
    if (made) made->Release();
    if (com) CoUninitialize();
    EXPECT_EQ(OutlooksMade(), 1);

    Environment none;  // nothing registered
    DetectOutlookVersion(none);
    EXPECT_EQ(none.OutlookName, "No Outlook");
    EXPECT_FALSE(platform::ProbeOutlookVersion().objectObtained);
}

TEST_F(OutlookDetection, RunningOutlookIsReadAndLeftRunning) {
    AnswerVersion("16.0.0.9999");
    // Outlook's automation server is its program, OUTLOOK.EXE.
    RunningServer server(dir_.path() / "Running", L"olk-com");
    ASSERT_TRUE(server.started) << "the server could not start";

    auto probe = WithServer([] { return platform::ProbeOutlookVersion(); });
    EXPECT_TRUE(probe.objectObtained);
    EXPECT_TRUE(probe.attached);
    EXPECT_EQ(probe.version, "16.0.0.9999");

    Environment env;
    Detect(env);
    EXPECT_EQ(env.OutlookName, "Outlook 2016");
    EXPECT_EQ(QuitCalls(), 0);
    EXPECT_TRUE(server.Running());  // still running until told to stop
}

// Closing Outlook for a backup asks the running instance to quit only when it has no item window
// open, since Quit discards what is unsaved there; it never starts an instance to ask.
TEST_F(OutlookDetection, ARunningOutlookIsAskedToQuitOnlyWithNoItemWindowsOpen) {
    {
        RunningServer server(dir_.path() / "Office", L"olk-quit");
        ASSERT_TRUE(server.started);
        SetDefault(HKEY_CURRENT_USER, kServerSettings, L"Inspectors", L"1");
        const auto open = WithServer([] { return AskOutlookToQuit(500); });
        EXPECT_EQ(open.running, 1);
        EXPECT_TRUE(open.itemsOpen);
        EXPECT_FALSE(open.asked || open.gone);
        EXPECT_EQ(QuitCalls(), 0);
        EXPECT_TRUE(server.Running());

        SetDefault(HKEY_CURRENT_USER, kServerSettings, L"Inspectors", L"0");
        const auto none = WithServer([] { return AskOutlookToQuit(20000); });
        EXPECT_TRUE(none.asked);
        EXPECT_TRUE(none.gone);
        EXPECT_EQ(QuitCalls(), 1);
        EXPECT_TRUE(test::Ended(server.process, 0));
    }
    // Nothing runs: no instance is made to be asked.
    EXPECT_EQ(WithServer([] { return platform::AskRunningOutlookToQuit(); }),
              platform::OutlookQuitAnswer::NoObject);
    EXPECT_EQ(QuitCalls(), 1);
}

TEST_F(OutlookDetection, AnOutlookThatRunsIsNeverAskedToQuitAndNoneIsStartedToLearnTheVersion) {
    // The registered server would answer 14 and count a Quit; the program files say 16.
    AnswerVersion("14.0.7266.5000");
    const auto exe = dir_.path() / "Office" / "OUTLOOK.EXE";
    test::CopyTestProgram("olk_fake_program.exe", exe);
    test::Scratch s;
    test::SetValue(s.root + "\\AppPaths", "Path", test::kSz,
                   test::SzData(test::Utf8(exe.parent_path())));
    Environment installed;
    Detect(installed, s.root + "\\AppPaths");
    EXPECT_EQ(installed.OutlookName, "Outlook 2016");

    // Running without having registered itself: creating the object would reach it and Quit
    // would close the user's Outlook.
    auto running = test::StartKept(exe);
    ASSERT_TRUE(running.process);
    Environment env;
    Detect(env);
    EXPECT_EQ(env.OutlookVersion, "16.0");
    EXPECT_EQ(QuitCalls(), 0);
    EXPECT_EQ(WaitForSingleObject(running.process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(running.process, 1);
    test::Ended(running.process);
    CloseHandle(running.process);
}

TEST_F(OutlookDetection, ARunningOutlookThatDoesNotAnswerIsGivenUp) {
    AnswerVersion("16.0.0.1");
    RunningServer server(dir_.path() / "Hung", L"olk-hang");
    ASSERT_TRUE(server.started);
    SetDefault(HKEY_CURRENT_USER, kServerSettings, L"Hang", L"3000");
    const ULONGLONG start = GetTickCount64();
    const auto probe =
        WithServer([] { return platform::ProbeOutlookVersion("Outlook.Application", 500); });
    EXPECT_TRUE(probe.timedOut);
    EXPECT_LT(GetTickCount64() - start, 2500u);
    Sleep(3000);  // the late answer: still never asked to quit
    EXPECT_EQ(QuitCalls(), 0);
}

TEST(SystemDetection, WindowsVersionComesFromWmi) {
    auto raw = platform::QueryOperatingSystemVersion();
    ASSERT_TRUE(raw);
    EXPECT_TRUE(std::regex_match(*raw, std::regex(R"(\d+\.\d+\.\d+)"))) << *raw;
    std::string version = GetOSVersion();
    EXPECT_EQ(version, CutOSVersion(*raw));
    EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+\.\d)"))) << version;
}

}  // namespace
}  // namespace kestrine::outlook
