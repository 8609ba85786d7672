// A restore from an archive that anyone may have made, into a scratch user's folders and a profile
// in the in-memory registry: whatever the bytes, the open and the restore must not crash, must not
// write anywhere but the user's item folders and the program's own folder, and a restore that does
// not complete must leave the profile, the options and every file of the user as they were.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/program_paths.h"
#include "outlook/environment.h"
#include "outlook/locations.h"
#include "platform/registry_access.h"
#include "registry/registry.h"
#include "restore/open_backup.h"
#include "restore/restore_run.h"

using namespace kestrine;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kHkcu = 0x80000001;
const std::string kRoot = "Software\\KestrineFuzz";
const std::string kProfiles = "HKEY_CURRENT_USER\\" + kRoot + "\\Profiles";

// Every key below `subkey` with its values, and every file below `folder` with its bytes.
using Tree =
    std::map<std::string, std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>>>;
void SnapshotInto(const std::string& subkey, Tree& out) {
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(kHkcu, subkey, 0x20019, key) != 0) return;
    auto& values = out[subkey];
    platform::RegistryValue value;
    for (uint32_t i = 0; platform::EnumRegistryValue(key, i, value) == 0; ++i)
        values[value.name] = {value.type, value.data};
    std::string name;
    std::vector<std::string> subkeys;
    for (uint32_t i = 0; platform::EnumRegistrySubKey(key, i, name) == 0; ++i)
        subkeys.push_back(name);
    key.Close();
    for (const auto& sub : subkeys) SnapshotInto(subkey + "\\" + sub, out);
}
Tree Registry() {
    Tree tree;
    SnapshotInto(kRoot, tree);
    return tree;
}
std::map<std::string, std::string> Files(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        out[e.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return out;
}

void Set(const std::string& subkey, const std::string& name, uint32_t type,
         const std::string& data) {
    platform::RegistryKey key;
    platform::CreateRegistryKey(kHkcu, subkey, key);
    platform::SetRegistryValue(key, name, type, std::vector<uint8_t>(data.begin(), data.end()));
}

void Put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A Windows path of the program for a path of this system: the drive Z: is the root.
std::string ProgramPath(const fs::path& path) {
    std::string text = "Z:" + path.string();
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Everything of one input lies in `scratch`, which is also the current folder, so a name that
    // escapes as a relative path lands where it is seen.
    static const fs::path scratch =
        fs::temp_directory_path() / ("kestrine-restore-fuzz-" + std::to_string(::getpid()));
    fs::remove_all(scratch);
    const fs::path user = scratch / "user", app = scratch / "app", work = scratch / "cwd";
    fs::create_directories(app);
    fs::create_directories(work);
    fs::current_path(work);
    outlook::Environment env;
    env.UserProfileDir = ProgramPath(user);
    env.OSVersion = "6.1";
    env.ProfilesRoot = kProfiles;
    env.OutlookVersion = "11.0";
    const outlook::UserFolders folders = outlook::FoldersFor(env.UserProfileDir, env.OSVersion);
    for (const auto& folder : {folders.signatures, folders.stationery, folders.templates,
                               folders.roamingOutlook, folders.localOutlook, folders.contacts}) {
        std::string path = folder.substr(2);
        for (char& c : path)
            if (c == '\\') c = '/';
        Put(fs::path(path) / "Old.txt", "the user's own " + folder);
    }
    registry::DeleteKeyTree("HKEY_CURRENT_USER\\" + kRoot);
    const std::string profile = kRoot + "\\Profiles\\Target";
    Set(profile + "\\13dbb0c8aa05101a9bb000aa002fc45a", "01020fff", 3,
        std::string("\0\0\0\0K\0S\0", 8) + "C\0:\0\\\0a\0.\0p\0s\0t\0\0\0");
    Set(profile + "\\9375CFF0413111d3B88A00104B2A6676\\00000001", "Account Name", 1, "a\0\0\0");
    Set(kRoot + "\\Options", "Kept", 4, "\1\0\0\0");
    const Tree registryBefore = Registry();
    const auto filesBefore = Files(user);

    const fs::path archivePath = scratch / "input.ksx";
    Put(archivePath, std::string(reinterpret_cast<const char*>(data), size));
    const ProgramPaths paths = PathsIn(ProgramPath(app));
    archive::ArchiveReader zip;
    const restore::OpenedBackup opened =
        restore::OpenBackup(zip, ProgramPath(archivePath), paths.TempFolder, [] { return "pw"; });
    if (opened.status == restore::OpenStatus::Opened) {
        restore::RestoreJob job;
        job.targetProfile = "Target";
        job.ticked.fill(true);
        job.sourceFile = ProgramPath(archivePath);
        job.itemFlags = opened.manifest.itemFlags;
        job.entries = opened.manifest.entries;
        job.dataFileStores = opened.manifest.dataFileStores;
        job.waitForOtherRun = std::chrono::milliseconds(0);
        const restore::RestoreResult result = restore::RunRestore(job, env, paths, zip);
        if (result.outcome != recovery::RunOutcome::Completed && !result.takeBackFailed &&
            (Registry() != registryBefore || Files(user) != filesBefore))
            std::abort();  // a restore that did not complete changed something
    }
    zip.CloseArchive();
    // Only the user's folders, the program's folder and the archive are there.
    for (const auto& entry : fs::directory_iterator(scratch)) {
        const fs::path name = entry.path().filename();
        if (name != "user" && name != "app" && name != "cwd" && name != "input.ksx") std::abort();
    }
    if (!fs::is_empty(work)) std::abort();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(scratch);
    return 0;
}
