#pragma once
// Scratch surroundings for the restore tests: an application folder and a user profile folder of
// their own, registry keys under HKEY_CURRENT_USER\Software\KestrineTest\<unique>, AppState pointed
// at them, recorded dialogs, and helpers that build archives and take snapshots of key trees and
// folders so that a test can say exactly what changed.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "archive/manifest.h"
#include "archive/zip_component.h"
#include "base/path.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "registry/registry.h"
#include "restore/restore_rules.h"
#include "test_support.h"
#include "ui/main_window_model.h"

namespace kestrine::test {

inline constexpr uint32_t kHkcu = 0x80000001;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

using Bytes_ = std::vector<uint8_t>;

inline std::string Utf16(const std::string& utf8) {
    std::string out;
    for (wchar_t c : platform::Widen(utf8)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}
inline Bytes_ B(const std::string& s) {
    return Bytes_(s.begin(), s.end());
}
// A data file's location as a profile stores it: header bytes, the path as UTF-16LE, two zeros.
inline Bytes_ StoreValueUtf16(const std::string& path) {
    return B(std::string("\0\0\0\0K\0S\0", 8) + Utf16(path) + std::string(2, '\0'));
}
// The same with the path in single bytes (older profiles).
inline Bytes_ StoreValueAnsi(const std::string& path) {
    return B(std::string("\1\0\0\0KS", 6) + platform::Utf8ToAnsi(path) + std::string(1, '\0'));
}
inline Bytes_ SzData(const std::string& text) {
    return B(Utf16(text) + std::string(2, '\0'));
}

// One key tree: relative key path -> value name -> (type, data).
using ValueMap = std::map<std::string, std::pair<uint32_t, Bytes_>>;
using TreeSnapshot = std::map<std::string, ValueMap>;
// One folder tree: relative file path -> content.
using FolderSnapshot = std::map<std::string, std::string>;

inline std::filesystem::path Fs(const std::string& utf8) {
    return std::filesystem::path(platform::Widen(utf8));
}
inline void Put(const std::string& path, const std::string& bytes) {
    WriteFile(Fs(path), bytes);
}
inline std::string Get(const std::string& path) {
    return ReadFile(Fs(path));
}
inline bool Exists(const std::string& path) {
    return std::filesystem::exists(Fs(path));
}

inline std::string SubkeyOf(const std::string& fullPath) {
    return fullPath.substr(fullPath.find('\\') + 1);
}

inline void SetValue(const std::string& fullKey, const std::string& name, uint32_t type,
                     const Bytes_& data) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(kHkcu, SubkeyOf(fullKey), key), 0) << fullKey;
    ASSERT_EQ(platform::SetRegistryValue(key, name, type, data), 0);
}
inline void MakeKey(const std::string& fullKey) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(kHkcu, SubkeyOf(fullKey), key), 0) << fullKey;
}
inline std::optional<std::pair<uint32_t, Bytes_>> GetValue(const std::string& fullKey,
                                                           const std::string& name) {
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(kHkcu, SubkeyOf(fullKey), 0x20019, key) != 0) return {};
    uint32_t type = 0;
    Bytes_ data;
    if (platform::QueryRegistryValue(key, name, type, data) != 0) return {};
    return std::make_pair(type, data);
}

inline void SnapshotInto(const std::string& fullKey, const std::string& relative,
                         TreeSnapshot& out) {
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(kHkcu, SubkeyOf(fullKey), 0x20019, key) != 0) return;
    ValueMap& values = out[relative];
    platform::RegistryValue v;
    for (uint32_t i = 0; platform::EnumRegistryValue(key, i, v) == 0; ++i)
        values[v.name] = {v.type, v.data};
    std::string name;
    std::vector<std::string> subs;
    for (uint32_t i = 0; platform::EnumRegistrySubKey(key, i, name) == 0; ++i) subs.push_back(name);
    key.Close();
    for (const auto& s : subs) SnapshotInto(fullKey + "\\" + s, relative + "\\" + s, out);
}
// Every key below `fullKey` (relative paths, "" for the key itself) with all its values.
inline TreeSnapshot Snapshot(const std::string& fullKey) {
    TreeSnapshot out;
    SnapshotInto(fullKey, "", out);
    return out;
}

inline FolderSnapshot Files(const std::string& folder) {
    FolderSnapshot out;
    if (!Exists(folder)) return out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Fs(folder))) {
        if (!e.is_regular_file()) continue;
        auto rel = platform::Narrow(std::filesystem::relative(e.path(), Fs(folder)).wstring());
        out[rel] = ReadFile(e.path());
    }
    return out;
}

// Names and sizes of files with a checksum, for messages about snapshots that differ.
inline std::string Describe(const FolderSnapshot& files) {
    std::string out;
    for (const auto& [name, content] : files)
        out += name + ":" + std::to_string(content.size()) + ":" +
               std::to_string(std::hash<std::string>{}(content) % 100000) + " ";
    return out;
}
inline std::string Describe(const std::map<std::string, FolderSnapshot>& folders) {
    std::string out;
    for (const auto& [name, files] : folders) out += "[" + name + "] " + Describe(files) + "\n";
    return out;
}
// Byte for byte, reporting only names and sizes when they differ.
#define EXPECT_SAME_FILES(actual, expected)                                                    \
    do {                                                                                       \
        const auto& a_ = (actual);                                                             \
        const auto& e_ = (expected);                                                           \
        EXPECT_TRUE(a_ == e_) << "actual:\n" << Describe(a_) << "expected:\n" << Describe(e_); \
    } while (0)

// A registry export file as earlier versions wrote it: ANSI text, CR LF.
inline void WriteExport(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += platform::Utf8ToAnsi(l) + "\r\n";
    Put(path, text);
}

struct RecordedDialogs {
    std::vector<platform::MessageRequest> messages;
    std::vector<platform::FileDialogRequest> fileDialogs;
    int passwordPrompts = 0;
    std::string chosenFile;                             // the file dialog's answer
    std::vector<std::optional<std::string>> passwords;  // answers in order; then Cancel
};

class RestoreScratch {
  public:
    RestoreScratch() {
        std::random_device rd;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        unique = std::to_string(stamp % 100000000) + std::to_string(rd() % 10000);
        root = "HKEY_CURRENT_USER\\Software\\KestrineTest\\rst-" + unique;
        // An Outlook version below 12 of this test alone: its Options key is the test's own and
        // stationery goes to the per-user folder.
        outlookVersion = "11." + unique;
        optionsKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" + outlookVersion +
                     "\\Outlook\\Options";
        app = dir / "app";
        user = dir / "user";
        std::filesystem::create_directory(Fs(app));
        std::filesystem::create_directory(Fs(user));
        for (const char* sub :
             {"AppData", "AppData\\Roaming", "AppData\\Roaming\\Microsoft", "AppData\\Local",
              "AppData\\Local\\Microsoft", "Application Data", "Application Data\\Microsoft"})
            std::filesystem::create_directory(Fs(user + "\\" + sub));
        folders = restore::FoldersFor(user, "6.1");

        platform::SetMessageHandler([this](const platform::MessageRequest& r) {
            dialogs.messages.push_back(r);
            return platform::MessageAnswer::Ok;
        });
        platform::SetFileDialogHandler([this](const platform::FileDialogRequest& r) {
            dialogs.fileDialogs.push_back(r);
            return dialogs.chosenFile;
        });
        platform::SetPasswordHandler([this]() -> std::optional<std::string> {
            const size_t i = static_cast<size_t>(dialogs.passwordPrompts++);
            return i < dialogs.passwords.size() ? dialogs.passwords[i] : std::nullopt;
        });

        SetAppFolderOverride(app);
        AppState& s = State();
        s = AppState{};
        s.AppFolder = app;
        s.ManifestPath = base::JoinPath(app, "kestrine.dat");
        s.ComputerName = "RESTOREPC";
        s.UserName = "ann";
        s.UserProfileDir = user;
        s.OSVersion = "6.1";
        s.OutlookName = "Outlook 2003";
        s.OutlookVersion = outlookVersion;
        s.ProfilesRoot = root + "\\Profiles";
        s.NoSourceFile = true;
        ui::MainWindow() = ui::MainWindowModel{};
    }

    ~RestoreScratch() {
        registry::DeleteKeyTree(root);
        registry::DeleteKeyTree("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" +
                                outlookVersion);
        platform::SetMessageHandler(nullptr);
        platform::SetFileDialogHandler(nullptr);
        platform::SetPasswordHandler(nullptr);
        SetAppFolderOverride("");
        State() = AppState{};
        ui::MainWindow() = ui::MainWindowModel{};
    }
    RestoreScratch(const RestoreScratch&) = delete;
    RestoreScratch& operator=(const RestoreScratch&) = delete;

    std::string Profile(const std::string& name) const { return root + "\\Profiles\\" + name; }
    std::string MakeFolder(const std::string& path) const {
        std::filesystem::create_directories(Fs(path));
        return path;
    }
    // Files of the application folder (temporaries must not stay behind).
    std::vector<std::string> AppFiles() const { return platform::ListFiles(app, true); }

    // A backup archive: the files as root entries and a manifest with these lines last.
    std::string MakeArchive(const std::string& name, const std::vector<std::string>& files,
                            const std::vector<std::string>& manifestLines,
                            const std::string& password = "") {
        const std::string path = MakeFolder(dir / "archives") + "\\" + name;
        const std::string staging = MakeFolder(dir / ("staging-" + name)) + "\\kestrine.dat";
        std::string text;
        for (const auto& l : manifestLines) text += platform::Utf8ToAnsi(l) + "\r\n";
        Put(staging, text);
        archive::ZipComponent zip;
        EXPECT_TRUE(zip.CreateArchive(path));
        zip.ProtectEntries(!password.empty());
        zip.SetWritingPassword(password);
        for (const auto& f : files) EXPECT_TRUE(zip.AddFile(f)) << f;
        EXPECT_TRUE(zip.AddFile(staging));
        EXPECT_TRUE(zip.WriteArchive().ok);
        zip.CloseArchive();
        return path;
    }
    // Manifest lines of a backup holding the given item values (index 0..10); others flagged "0".
    static std::vector<std::string> Manifest(const std::map<int, std::string>& items,
                                             const std::string& note = "") {
        std::vector<std::string> lines = {
            "BackupComputer=OLDPC",        "BackupLogonUser=bob",
            "BackupIdentity=Outlook",      "BackupTime=1/2/2026 3:04:05 PM",
            "Outlookversion=Outlook 2003", "BackupInformation=" + note};
        std::string flags(11, '0');
        for (const auto& [index, value] : items) {
            lines.push_back(std::string(archive::kArchiveItems[static_cast<size_t>(index)].key) +
                            "=" + value);
            flags[static_cast<size_t>(index)] = '1';
        }
        lines.push_back("BackupItem=" + flags);
        return lines;
    }
    // A file in a staging folder of its own, to be added to an archive.
    std::string Source(const std::string& name, const std::string& content) {
        const std::string path = MakeFolder(dir / "src") + "\\" + name;
        Put(path, content);
        return path;
    }

    TempDir dir;
    std::string unique, root, outlookVersion, optionsKey, app, user;
    restore::Folders folders;
    RecordedDialogs dialogs;
};

}  // namespace kestrine::test
