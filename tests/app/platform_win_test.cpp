#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "schedule/command_line.h"
#include "test_support.h"

namespace kestrine::platform {
namespace {

namespace fs = std::filesystem;
namespace fileio = platform::fileio;

// A path from UTF-8 text.
fs::path U8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

void Attrib(const std::string& flags, const std::string& path) {
    std::string command = "attrib " + flags + " \"" + path + "\" >NUL";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(Files, LookupsListingAndRemoval) {
    TempDir dir;
    std::string file = dir / "a.txt", hidden = dir / "h.txt";
    WriteFile(file, "x");
    WriteFile(hidden, "x");
    Attrib("+h", hidden);
    fs::create_directory(dir.path() / "sub");
    WriteFile(dir / "sub\\inner.txt", "4");
    EXPECT_TRUE(fileio::IsFile(hidden));
    EXPECT_FALSE(NormalFileExists(hidden));  // the plain lookup does not see hidden files
    EXPECT_TRUE(NormalFileExists(file));
    EXPECT_FALSE(NormalFileExists(dir.str()));
    EXPECT_TRUE(fileio::Exists(dir.str()));
    EXPECT_FALSE(fileio::IsFile(dir.str()));
    EXPECT_FALSE(fileio::Exists(dir / "missing"));

    EXPECT_EQ(ListFiles(dir.str()), std::vector<std::string>{"a.txt"});
    auto all = ListFiles(dir.str() + "\\", true);  // a trailing backslash is fine
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"a.txt", "h.txt"}));
    EXPECT_TRUE(ListFiles(dir / "missing").empty());

    Attrib("+r", file);
    EXPECT_TRUE(fileio::RemoveFile(file));  // a read-only file too
    EXPECT_FALSE(fs::exists(U8(file)));
    EXPECT_TRUE(fileio::RemoveFile(file));          // already gone counts as removed
    EXPECT_FALSE(fileio::RemoveFile(dir / "sub"));  // a folder is not a file
    EXPECT_TRUE(fs::exists(dir.path() / "sub" / "inner.txt"));

    EXPECT_TRUE(MakeFolder(dir / "one"));
    EXPECT_TRUE(MakeFolder(dir / "one"));    // exists afterwards
    EXPECT_FALSE(MakeFolder(dir / "x\\y"));  // one level only
}

TEST(Files, AppendAndReadRawBytes) {
    TempDir dir;
    std::string path = dir / "raw.bin";
    const std::string bytes("a\0b\r\n\x80\xFF", 7);
    EXPECT_TRUE(AppendBytes(path, bytes));
    EXPECT_TRUE(AppendBytes(path, ""));
    EXPECT_TRUE(AppendBytes(path, "z"));
    std::string back = "stale";
    ASSERT_TRUE(ReadWholeFile(path, back));
    EXPECT_EQ(back, bytes + "z");
    EXPECT_FALSE(ReadWholeFile(dir / "missing", back));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(AppendBytes(dir / "missing\\x", "1"));
}

TEST(Files, ProfileStringsUseA128CharacterField) {
    TempDir dir;
    std::string ini = dir / "s.ini";
    std::string value(130, 'v');
    value[5] = 'w';
    ASSERT_TRUE(WriteProfileString(ini, "s", "k", value));
    EXPECT_EQ(ReadProfileString(ini, "s", "k"), value.substr(0, 127));
    EXPECT_EQ(ReadProfileString(ini, "s", "nokey"), "");
    EXPECT_EQ(ReadProfileString(dir / "none.ini", "s", "k"), "");
}

TEST(Files, TempFileNames) {
    TempDir dir;
    std::string one = CreateTempFile(dir.str(), "OBC");
    std::string two = CreateTempFile(dir.str(), "OBC");
    ASSERT_FALSE(one.empty());
    EXPECT_NE(one, two);
    EXPECT_TRUE(fileio::IsFile(one));
    EXPECT_EQ(CreateTempFile(dir / "missing", "OBC"), "");
    EXPECT_EQ(CreateTempFile("", "OBC"), "");
}

TEST(System, Facts) {
    std::string exe = ExeFolder();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(fs::exists(U8(exe) / "app_win_test.exe")) << exe;
    std::string windows = WindowsFolder();
    ASSERT_FALSE(windows.empty());
    EXPECT_NE(windows.back(), '\\');
    EXPECT_FALSE(ComputerName().empty());
    EXPECT_FALSE(UserName().empty());
    EXPECT_EQ(ExpandEnvironment("%SystemRoot%").size(), windows.size());
    EXPECT_EQ(ExpandEnvironment("plain"), "plain");
    EXPECT_EQ(ExpandEnvironment("%KestrineUndefinedName%"), "%KestrineUndefinedName%");
}

TEST(System, LocaleDateTimeIsShortDateSpaceLongTime) {
    std::string text = LocaleDateTimeText(LocalTime{2026, 12, 5, 8, 35, 7});
    EXPECT_NE(text.find("2026"), std::string::npos) << text;
    EXPECT_NE(text.find("35"), std::string::npos) << text;
    EXPECT_NE(text.find("07"), std::string::npos) << text;  // long time has seconds
    EXPECT_LT(text.find("2026"), text.find("35")) << text;  // date first
    LocalTime now = Now();
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_FALSE(NowText().empty());
}

TEST(System, CommandLineTailDropsTheProgramPath) {
    // gtest's own arguments (at least --gtest_output from the test runner) form the tail.
    std::string tail = schedule::CommandLineTail(CommandLineText());
    EXPECT_EQ(tail.rfind("--gtest", 0), 0u) << tail;
}

class MessagesTest : public ::testing::Test {
  protected:
    void TearDown() override {
        SetMessageHandler(nullptr);
        SetFileDialogHandler(nullptr);
        SetPasswordHandler(nullptr);
    }
};

TEST_F(MessagesTest, HandlerAnswersAndRecordsMessages) {
    std::vector<MessageRequest> shown;
    SetMessageHandler([&](const MessageRequest& request) {
        shown.push_back(request);
        return MessageAnswer::Cancel;
    });
    EXPECT_EQ(ShowMessage("Please enter backup folder.", MessageIcon::Critical),
              MessageAnswer::Cancel);
    EXPECT_EQ(
        ShowMessage(MessageRequest{"x", "T", MessageIcon::Information, MessageButtons::OkCancel}),
        MessageAnswer::Cancel);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Please enter backup folder.");
    EXPECT_EQ(shown[0].title, "Kestrine");
    EXPECT_EQ(shown[0].icon, MessageIcon::Critical);
    EXPECT_EQ(shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(shown[1].title, "T");
    EXPECT_EQ(shown[1].buttons, MessageButtons::OkCancel);
}

TEST_F(MessagesTest, HandlersAnswerFileAndPasswordDialogs) {
    FileDialogRequest seen;
    SetFileDialogHandler([&](const FileDialogRequest& request) {
        seen = request;
        return std::string("C:\\b.ksx");
    });
    FileDialogRequest request{true, "Save Outlook Data as", "Kestrine File (*.ksx)|*.ksx", "C:\\",
                              "k"};
    EXPECT_EQ(ShowFileDialog(request), "C:\\b.ksx");
    EXPECT_TRUE(seen.save);
    EXPECT_EQ(seen.filter, "Kestrine File (*.ksx)|*.ksx");

    SetPasswordHandler([] { return std::optional<std::string>(" pw "); });
    EXPECT_EQ(AskPassword(), std::optional<std::string>(" pw "));
    SetPasswordHandler([] { return std::optional<std::string>(); });
    EXPECT_FALSE(AskPassword().has_value());
}

}  // namespace
}  // namespace kestrine::platform
