#pragma once
// A scratch Outlook profile for the backup tests: its own registry keys under
// HKEY_CURRENT_USER\Software\KestrineTest\<unique>, its own application, user and mail folders, and
// AppState pointed at them. Messages are recorded instead of shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
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
#include "test_support.h"

namespace kestrine::test {

inline constexpr uint32_t kHkcu = 0x80000001;

inline std::string Utf16Bytes(const std::string& utf8) {
    std::wstring w = platform::Widen(utf8);
    std::string out;
    for (wchar_t c : w) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

// A data file's location as a profile stores it: a few header bytes, the path as UTF-16LE and its
// terminating zeros.
inline std::vector<uint8_t> StoreValue(const std::string& path) {
    std::string bytes = std::string("\0\0\0\0K\0S\0", 8) + Utf16Bytes(path) + std::string(2, '\0');
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

inline std::vector<uint8_t> SzValue(const std::string& text) {
    std::string bytes = Utf16Bytes(text) + std::string(2, '\0');
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// The path of a Linux folder as Wine sees it (drive Z:).
inline std::string WinePathOf(const std::string& unixPath) {
    std::string out = "Z:" + unixPath;
    for (auto& c : out) {
        if (c == '/') c = '\\';
    }
    return out;
}

struct ArchiveView {
    bool opened = false;
    std::vector<std::string> names;
    std::string manifestText;  // raw bytes of kestrine.dat
    archive::Manifest manifest;
};

class ScratchProfile {
  public:
    ScratchProfile() {
        std::random_device rd;
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        regSubkey_ =
            "Software\\KestrineTest\\bak-" + std::to_string(stamp) + "-" + std::to_string(rd());
        root = "HKEY_CURRENT_USER\\" + regSubkey_;
        app = dir / "app";
        user = dir / "user";
        mail = dir / "mail";
        mail2 = dir / "mail2";
        backups = dir / "backups";
        for (const auto& d : {app, user, mail, mail2, backups})
            std::filesystem::create_directory(Fs(d));
        signatures = MakeDir("user\\Signatures");
        MakeDir("user\\Signatures\\Work_files");
        stationery = MakeDir("user\\Stationery");
        outlookDir = MakeDir("user\\Outlook");
        templates = MakeDir("user\\Templates");
        contacts = MakeDir("user\\Contacts");

        Put(signatures + "\\Work.htm", "<html>Sam</html>");
        Put(signatures + "\\Work.rtf", "{\\rtf1 Sam}");
        Put(signatures + "\\Work.txt", "Sam");
        Put(signatures + "\\Work_files\\image001.png", "picture");
        Put(stationery + "\\Blue.htm", "<html>blue</html>");
        Put(outlookDir + "\\Outlook.RWZ", "rules");
        Put(outlookDir + "\\Outlook.srs", "send and receive");
        Put(templates + "\\Report.oft", "template");
        Put(contacts + "\\Jane.vcf", "BEGIN:VCARD");
        Put(mail + "\\a.pst", RandomBytes(70000, 1));
        Put(mail2 + "\\archive.pst", RandomBytes(30000, 2));
        Put(mail + "\\Outlook.pab", "address book");

        std::string profile = "Profiles\\Outlook";
        SetValue(profile + "\\0a0d020000000000c000000000000046", "001e0324", 1, SzValue("Outlook"));
        SetValue(profile + "\\13dbb0c8aa05101a9bb000aa002fc45a", "01020fff", 3,
                 StoreValue(mail + "\\a.pst"));
        SetValue(profile + "\\2f7c3e5a1b2d4c6e8f90a1b2c3d4e5f6", "01020fff", 3,
                 StoreValue(mail2 + "\\archive.pst"));
        // The address book path is stored with doubled backslashes.
        std::string pab;
        for (char c : mail + "\\Outlook.pab")
            pab += c == '\\' ? std::string("\\\\") : std::string(1, c);
        SetValue(profile + "\\5acf76a3665b42ca9b2d5a4d6a9c8ba4", "001e6600", 1, SzValue(pab));
        SetValue(profile + "\\9375CFF0413111d3B88A00104B2A6676\\00000001", "Account Name", 1,
                 SzValue("sam@example.com"));
        SetValue("Options", "Sample", 1, SzValue("options"));

        platform::SetMessageHandler([this](const platform::MessageRequest& request) {
            messages.push_back(request);
            return platform::MessageAnswer::Ok;
        });

        SetAppFolderOverride(app);
        AppState& s = State();
        s = AppState{};
        s.AppFolder = app;
        s.ManifestPath = base::JoinPath(app, "kestrine.dat");
        s.ComputerName = "SCRATCHPC";
        s.UserName = "sam";
        s.UserProfileDir = user;
        s.OSVersion = "6.1";
        s.OutlookName = "No Outlook";
        s.ProfilesRoot = root + "\\Profiles";
        s.ProfileNames = {"Outlook"};
        s.AccountsKey = s.ProfilesRoot + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676";
        s.SignaturesDir = signatures;
        s.StationeryDir = stationery;
        s.RulesDir = outlookDir;
        s.PreferencesDir = outlookDir;
        s.TemplatesDir = templates;
        s.ContactsDir = contacts;
        s.OptionsKey = root + "\\Options";
    }

    ~ScratchProfile() {
        registry::DeleteKeyTree(root);
        platform::SetMessageHandler(nullptr);
        SetAppFolderOverride("");
        State() = AppState{};
    }

    ScratchProfile(const ScratchProfile&) = delete;
    ScratchProfile& operator=(const ScratchProfile&) = delete;

    static std::filesystem::path Fs(const std::string& utf8) {
        return std::filesystem::path(platform::Widen(utf8));
    }

    std::string MakeDir(const std::string& relative) {
        std::string path = dir / relative;
        std::filesystem::create_directories(Fs(path));
        return path;
    }

    static void Put(const std::string& path, const std::string& bytes) {
        WriteFile(Fs(path), bytes);
    }
    static std::string Get(const std::string& path) { return ReadFile(Fs(path)); }
    static bool Exists(const std::string& path) { return std::filesystem::exists(Fs(path)); }

    void SetValue(const std::string& relativeKey, const std::string& name, uint32_t type,
                  const std::vector<uint8_t>& data) {
        platform::RegistryKey key;
        ASSERT_EQ(platform::CreateRegistryKey(kHkcu, regSubkey_ + "\\" + relativeKey, key), 0);
        ASSERT_EQ(platform::SetRegistryValue(key, name, type, data), 0);
    }

    // Writes settings.dat whole: one section with one key.
    void Setting(const std::string& section, const std::string& key, const std::string& value) {
        Put(base::JoinPath(app, "settings.dat"),
            "[" + section + "]\r\n" + key + "=" + value + "\r\n");
    }

    std::string LogText() const {
        std::string path = base::JoinPath(app, "brlog.dat");
        return Exists(path) ? Get(path) : std::string();
    }

    // Names of the files left in the application folder, sorted.
    std::vector<std::string> AppFolderFiles() const {
        auto names = platform::ListFiles(app, true);
        std::sort(names.begin(), names.end());
        return names;
    }

    static ArchiveView ReadArchive(const std::string& path, const std::string& password = "") {
        ArchiveView view;
        archive::ZipComponent zip;
        if (!zip.OpenArchive(path)) return view;
        view.opened = true;
        if (!password.empty()) zip.SetReadingPassword(password);
        for (const auto& e : zip.Entries()) view.names.push_back(e.name);
        auto entry = zip.FindEntry(archive::kManifestName);
        TempDir out;
        if (entry && zip.ExtractTo(*entry, out.str())) {
            view.manifestText = ReadFile(out.path() / archive::kManifestName);
            view.manifest = archive::ReadManifestText(platform::AnsiToUtf8(view.manifestText));
        }
        zip.CloseArchive();
        return view;
    }

    TempDir dir;
    std::string root;  // full key path of the test's registry root
    std::string app, user, mail, mail2, backups;
    std::string signatures, stationery, outlookDir, templates, contacts;
    std::vector<platform::MessageRequest> messages;

  private:
    std::string regSubkey_;
};

inline int Count(const std::vector<std::string>& names, const std::string& name) {
    int n = 0;
    for (const auto& x : names) n += x == name;
    return n;
}

inline size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1))
        ++n;
    return n;
}

}  // namespace kestrine::test
