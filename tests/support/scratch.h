#pragma once
// Scratch surroundings of the engine's tests, natively and under Wine: registry keys of the test's
// own under HKEY_CURRENT_USER\Software\KestrineTest\<unique>, an application and a user folder of
// its own with AppState pointed at them, recorded dialogs, backup archives made to order, and
// snapshots of key trees and folders. Paths are the program's (backslashes); natively the file
// system sees slashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/program_paths.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "backup_format/manifest.h"
#include "base/utf.h"
#include "outlook/locations.h"
#include "outlook/profile_data.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/registry_access.h"
#include "platform/run_lock.h"
#include "platform/text.h"
#include "registry/registry.h"
#include "test_support.h"

namespace kestrine::test {

using Bytes = std::vector<uint8_t>;
inline constexpr uint32_t kHkcu = 0x80000001, kHklm = 0x80000002;
inline constexpr uint32_t kSz = 1, kBinary = 3, kDword = 4;

// --- text as the registry and profiles store it ---
inline std::string Utf16(const std::string& utf8) {
    const Bytes bytes = base::Utf16ToBytes(base::Utf8ToUtf16(utf8));
    return std::string(bytes.begin(), bytes.end());
}
inline Bytes B(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
inline Bytes SzData(const std::string& text) {
    return B(Utf16(text) + std::string(2, '\0'));
}
// A data file's location as a profile stores it: header bytes, the path as UTF-16LE, two zeros.
inline Bytes StoreValueUtf16(const std::string& path) {
    return B(std::string("\0\0\0\0K\0S\0", 8) + Utf16(path) + std::string(2, '\0'));
}
// The same with the path in single bytes (older profiles).
inline Bytes StoreValueAnsi(const std::string& path) {
    return B(std::string("\1\0\0\0KS", 6) + platform::Utf8ToAnsi(path) + std::string(1, '\0'));
}
// Every backslash doubled, as an address book path is stored.
inline std::string Doubled(const std::string& path) {
    std::string out;
    for (char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

// --- files by UTF-8 path ---
// A path of the program (UTF-8, backslashes; natively the drive Z: is the root, as under Wine) as
// the file system library takes it.
inline std::filesystem::path Fs(std::string utf8) {
#ifndef _WIN32
    if (utf8.starts_with("Z:\\")) utf8.erase(0, 2);
    for (char& c : utf8)
        if (c == '\\') c = '/';
#endif
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
// A path as the program writes it: UTF-8 with backslashes, an absolute one natively on drive Z:.
inline std::string ProgramPath(const std::filesystem::path& path) {
    const std::u8string u8 = path.u8string();
    std::string out(u8.begin(), u8.end());
#ifndef _WIN32
    if (out.starts_with('/')) out = "Z:" + out;
#endif
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}
// A scratch folder whose paths are the program's (see ProgramPath).
class ScratchDir {
  public:
    const std::filesystem::path& path() const { return dir_.path(); }
    std::string str() const { return ProgramPath(dir_.path()); }
    std::string operator/(const std::string& name) const { return str() + "\\" + name; }

  private:
    TempDir dir_;
};
inline void Put(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(Fs(path).parent_path());
    WriteFile(Fs(path), bytes);
}
inline std::string Get(const std::string& path) {
    return ReadFile(Fs(path));
}
inline bool Exists(const std::string& path) {
    return std::filesystem::exists(Fs(path));
}
// Every file below `folder` by relative path, with its content.
using FolderSnapshot = std::map<std::string, std::string>;
inline FolderSnapshot Files(const std::string& folder) {
    FolderSnapshot out;
    if (!Exists(folder)) return out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Fs(folder)))
        if (e.is_regular_file())
            out[ProgramPath(std::filesystem::relative(e.path(), Fs(folder)))] = ReadFile(e.path());
    return out;
}
inline size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1))
        ++n;
    return n;
}

// --- registry keys by full path, below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE ---
// The path below the root, for planting failures into the memory registry.
inline std::string SubkeyOf(const std::string& fullPath) {
    return fullPath.substr(fullPath.find('\\') + 1);
}
// The key is made as needed.
inline void SetValue(const std::string& fullKey, const std::string& name, uint32_t type,
                     const Bytes& data) {
    const registry::ParsedKey parsed = registry::ParseKey(fullKey);
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(parsed.root, parsed.subkey, key), 0) << fullKey;
    ASSERT_EQ(platform::SetRegistryValue(key, name, type, data), 0);
}
inline void MakeKey(const std::string& fullKey) {
    const registry::ParsedKey parsed = registry::ParseKey(fullKey);
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(parsed.root, parsed.subkey, key), 0) << fullKey;
}
// Outlook's program registered as being in `folder`, where the machine's App Paths say.
inline void RegisterOutlookIn(const std::string& folder) {
    SetValue(outlook::kOutlookAppPathsKey, "Path", kSz, SzData(folder));
}
inline std::optional<Bytes> GetData(const std::string& fullKey, const std::string& name) {
    const registry::ParsedKey parsed = registry::ParseKey(fullKey);
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(parsed.root, parsed.subkey, 0x20019, key) != 0) return {};
    uint32_t type = 0;
    Bytes data;
    if (platform::QueryRegistryValue(key, name, type, data) != 0) return {};
    return data;
}
// Every key below `fullKey` (relative paths, "" for the key itself) with all its values.
using TreeSnapshot = std::map<std::string, std::map<std::string, std::pair<uint32_t, Bytes>>>;
inline void SnapshotInto(const std::string& fullKey, const std::string& relative,
                         TreeSnapshot& out) {
    const registry::ParsedKey parsed = registry::ParseKey(fullKey);
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(parsed.root, parsed.subkey, 0x20019, key) != 0) return;
    auto& values = out[relative];
    platform::RegistryValue v;
    for (uint32_t i = 0; platform::EnumRegistryValue(key, i, v) == 0; ++i)
        values[v.name] = {v.type, v.data};
    std::string name;
    std::vector<std::string> subs;
    for (uint32_t i = 0; platform::EnumRegistrySubKey(key, i, name) == 0; ++i) subs.push_back(name);
    key.Close();
    for (const auto& s : subs) SnapshotInto(fullKey + "\\" + s, relative + "\\" + s, out);
}
inline TreeSnapshot Snapshot(const std::string& fullKey) {
    TreeSnapshot out;
    SnapshotInto(fullKey, "", out);
    return out;
}

// The dialogs a run showed, and the answers the test gives.
struct RecordedDialogs {
    std::vector<platform::MessageRequest> messages;
    std::vector<platform::FileDialogRequest> fileDialogs;
    int passwordPrompts = 0;
    std::string chosenFile;                             // the file dialog's answer
    std::vector<std::optional<std::string>> passwords;  // answers in order; then Cancel
};

// A scratch machine: registry root, application folder, user folder (Windows 7 layout, an Outlook
// before 2007 whose Options key is the test's own), AppState, recorded dialogs.
class Scratch {
  public:
    Scratch() {
        std::random_device rd;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        unique = std::to_string(stamp % 100000000) + std::to_string(rd() % 10000);
        root = "HKEY_CURRENT_USER\\Software\\KestrineTest\\k-" + unique;
        app = MakeFolder(dir / "app");
        user = MakeFolder(dir / "user");
        for (const char* sub : {"AppData\\Roaming\\Microsoft", "AppData\\Local\\Microsoft",
                                "Application Data\\Microsoft"})
            MakeFolder(user + "\\" + sub);
        folders = outlook::FoldersFor(user, "6.1");

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

        state.paths = PathsIn(app);
        // Policies of the test's own (SetPolicy), never the machine's.
        state.paths.Policy = {root + "\\MachinePolicy", root + "\\UserPolicy"};
        state.ComputerName = "SCRATCHPC";
        state.UserName = "sam";
        state.environment.UserProfileDir = user;
        state.environment.OSVersion = "6.1";
        state.environment.OutlookName = "Outlook 2003";
        state.environment.OutlookVersion = "11." + unique;
        state.environment.ProfilesRoot = root + "\\Profiles";
        optionsKey = outlook::OptionsKey(state.environment.OutlookVersion);
    }
    ~Scratch() {
        registry::DeleteKeyTree(root);
        registry::DeleteKeyTree(optionsKey.substr(0, optionsKey.rfind("\\Outlook")));
        platform::SetMessageHandler(nullptr);
        platform::SetFileDialogHandler(nullptr);
        platform::SetPasswordHandler(nullptr);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string Profile(const std::string& name) const {
        return state.environment.ProfilesRoot + "\\" + name;
    }
    // A policy value as Group Policy writes it: a number as REG_DWORD, text as REG_SZ.
    void SetPolicy(const std::string& name, uint32_t number, bool machine = true) const {
        SetValue(machine ? state.paths.Policy.machine : state.paths.Policy.user, name, kDword,
                 {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8), 0, 0});
    }
    void SetPolicy(const std::string& name, const std::string& text, bool machine = true) const {
        SetValue(machine ? state.paths.Policy.machine : state.paths.Policy.user, name, kSz,
                 SzData(text));
    }
    static std::string MakeFolder(const std::string& path) {
        std::filesystem::create_directories(Fs(path));
        return path;
    }
    // Files of the application folder, sorted (temporaries must not stay behind).
    std::vector<std::string> AppFiles() const {
        auto names = platform::fileio::ListFileNames(app);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Log() const {
        return Exists(state.paths.LogFile) ? Get(state.paths.LogFile) : std::string();
    }
    // A file in a staging folder of its own, to be added to an archive.
    std::string Source(const std::string& name, const std::string& content) {
        const std::string path = dir / ("src\\" + name);
        Put(path, content);
        return path;
    }
    // A backup archive: the files as root entries and a manifest with these lines last.
    std::string MakeArchive(const std::string& name, const std::vector<std::string>& files,
                            const std::vector<std::string>& manifestLines,
                            const std::string& password = "") {
        const std::string path = MakeFolder(dir / "archives") + "\\" + name;
        const std::string staging = dir / ("staging-" + name + "\\kestrine.dat");
        std::string text;
        for (const auto& l : manifestLines) text += platform::Utf8ToAnsi(l) + "\r\n";
        Put(staging, text);
        archive::ArchiveWriter zip(archive::EntryProtection::ForPassword(password));
        EXPECT_TRUE(zip.CreateArchive(path));
        for (const auto& f : files) EXPECT_TRUE(zip.AddFile(f)) << f;
        EXPECT_TRUE(zip.AddFile(staging));
        EXPECT_TRUE(zip.WriteArchive().ok());
        return path;
    }
    // Manifest lines of a backup holding the given item values; the others flagged "0".
    static std::vector<std::string> Manifest(
        const std::map<backup_format::Item, std::string>& items, const std::string& note = "") {
        std::vector<std::string> lines = {
            "BackupComputer=OLDPC",        "BackupLogonUser=bob",
            "BackupIdentity=Outlook",      "BackupTime=1/2/2026 3:04:05 PM",
            "Outlookversion=Outlook 2003", "BackupInformation=" + note};
        std::string flags(backup_format::kItemCount, '0');
        for (const auto& [item, value] : items) {
            lines.push_back(std::string(backup_format::ManifestKey(item)) + "=" + value);
            flags[backup_format::IndexOf(item)] = '1';
        }
        lines.push_back("BackupItem=" + flags);
        return lines;
    }

    ScratchDir dir;
    std::string unique, root, app, user, optionsKey;
    outlook::UserFolders folders;
    AppState state;
    RecordedDialogs dialogs;
};

}  // namespace kestrine::test

namespace kestrine::test {

// A profile "Outlook" with something in every item: data files in two folders of their own, an
// address book, rules, accounts and options keys, and files in the user's item folders (a picture
// subfolder among the signatures). AppState's item locations are those of the profile.
struct SampleProfile {
    explicit SampleProfile(Scratch& s) {
        const outlook::UserFolders& f = s.folders;
        mail = Scratch::MakeFolder(s.dir / "mail");
        mail2 = Scratch::MakeFolder(s.dir / "mail2");
        backups = Scratch::MakeFolder(s.dir / "backups");
        Put(f.signatures + "\\Work.htm", "<html>Sam</html>");
        Put(f.signatures + "\\Work.rtf", "{\\rtf1 Sam}");
        Put(f.signatures + "\\Work.txt", "Sam");
        Put(f.signatures + "\\Work_files\\image001.png", "picture");
        Put(f.applicationData + "\\Stationery\\Blue.htm", "<html>blue</html>");
        Put(f.roamingOutlook + "\\Outlook.RWZ", "rules");
        Put(f.roamingOutlook + "\\Outlook.srs", "send and receive");
        Put(f.templates + "\\Report.oft", "template");
        Put(f.contacts + "\\Jane.vcf", "BEGIN:VCARD");
        Put(mail + "\\a.pst", RandomBytes(70000, 1));
        Put(mail2 + "\\archive.pst", RandomBytes(30000, 2));
        Put(mail + "\\Outlook.pab", "address book");

        const std::string p = s.Profile("Outlook");
        SetValue(p + "\\0a0d020000000000c000000000000046", "001e0324", kSz, SzData("Outlook"));
        SetValue(p + "\\13dbb0c8aa05101a9bb000aa002fc45a", "01020fff", kBinary,
                 StoreValueUtf16(mail + "\\a.pst"));
        SetValue(p + "\\2f7c3e5a1b2d4c6e8f90a1b2c3d4e5f6", "01020fff", kBinary,
                 StoreValueUtf16(mail2 + "\\archive.pst"));
        SetValue(p + "\\5acf76a3665b42ca9b2d5a4d6a9c8ba4", "001e6600", kSz,
                 SzData(Doubled(mail + "\\Outlook.pab")));
        SetValue(p + "\\9375CFF0413111d3B88A00104B2A6676\\00000001", "Account Name", kSz,
                 SzData("sam@example.com"));
        SetValue(s.optionsKey, "Sample", kSz, SzData("options"));
        s.state.locations = outlook::LocationsFor(s.state.environment, "Outlook");
        target = backups + "\\kestrine-Outlook.ksx";
    }
    std::string mail, mail2, backups;
    std::string target;  // the archive a backup of it writes, unless a test names another
};

// What an archive holds: its entry names and its manifest.
struct ArchiveView {
    bool opened = false;
    std::vector<std::string> names;
    std::string manifestText;  // raw bytes of kestrine.dat
    backup_format::Manifest manifest;
};
inline ArchiveView ReadArchive(const std::string& path, const std::string& password = "") {
    ArchiveView view;
    archive::ArchiveReader zip;
    if (!zip.OpenArchive(path)) return view;
    view.opened = true;
    zip.SetReadingPassword(password);
    for (const auto& e : zip.Entries()) view.names.push_back(e.name);
    TempDir out;
    auto entry = zip.FindLastEntry(backup_format::kManifestName);
    if (entry && zip.ExtractTo(*entry, out.str())) {
        view.manifestText = ReadFile(out.path() / backup_format::kManifestName);
        view.manifest =
            backup_format::ReadManifestText(backup_format::DecodeManifestFile(view.manifestText));
    }
    return view;
}
// The bytes of an entry (the last of its name); empty when the archive or the entry does not read.
inline std::string EntryText(const std::string& path, const std::string& name,
                             const std::string& password = "") {
    archive::ArchiveReader zip;
    TempDir out;
    if (!zip.OpenArchive(path)) return "";
    zip.SetReadingPassword(password);
    const auto entry = zip.FindLastEntry(name);
    return entry && zip.ExtractTo(*entry, out.str()) ? ReadFile(out.path() / name) : "";
}
inline int Count(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<int>(std::count(names.begin(), names.end(), name));
}

// A Linux path as Wine shows it (drive Z:).
inline std::string WinePath(const std::string& unixPath) {
    std::string out = "Z:" + unixPath;
    for (auto& c : out)
        if (c == '/') c = '\\';
    return out;
}
// Where the tests leave archives for the check with 7z that runs after them (the build folder is a
// Linux path; natively too the drive Z: is the root).
inline std::string ArtifactFolder() {
    const char* bin = std::getenv("KESTRINE_BINARY_DIR");
    return bin ? Scratch::MakeFolder(WinePath(std::string(bin) + "/bak-artifacts")) : "";
}

// Another backup or restore at work, as far as the run lock knows: it holds the lock (from a thread
// of its own) until it goes.
class OtherRunAtWork {
  public:
    OtherRunAtWork() { EXPECT_TRUE(taken_.get_future().get()); }
    ~OtherRunAtWork() {
        release_.set_value();
        holder_.join();
    }
    OtherRunAtWork(const OtherRunAtWork&) = delete;
    OtherRunAtWork& operator=(const OtherRunAtWork&) = delete;

  private:
    std::promise<bool> taken_;
    std::promise<void> release_;
    std::future<void> released_ = release_.get_future();
    std::thread holder_{[this] {
        const auto lock = platform::RunLock::Take(std::chrono::seconds(10));
        taken_.set_value(lock != nullptr);
        released_.wait();
    }};
};

}  // namespace kestrine::test
