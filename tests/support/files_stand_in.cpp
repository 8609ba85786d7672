// The stand-ins of files_held.h, controlled_folders_stand_in.h and free_space_stand_in.h.
#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "controlled_folders_stand_in.h"
#include "files_held.h"
#include "free_space_stand_in.h"
#include "platform/posix_hooks.h"
#include "stand_in_path.h"

namespace kestrine::platform::fileio {

namespace {

// Paths folded (stand_in_path.h).
struct FileStandIns {
    std::mutex mutex;
    std::vector<std::string> held;
    std::vector<std::string> protectedFolders;
    std::map<std::string, std::optional<uint64_t>> freeByFolder;
};

FileStandIns& TheFiles() {
    static FileStandIns files;
    return files;
}

bool IsHeld(const std::string& path) {
    FileStandIns& files = TheFiles();
    const std::lock_guard lock(files.mutex);
    return std::ranges::find(files.held, FoldedPath(path)) != files.held.end();
}

bool InProtected(const std::string& path) {
    FileStandIns& files = TheFiles();
    const std::lock_guard lock(files.mutex);
    const std::string folded = FoldedPath(path);
    return std::ranges::any_of(files.protectedFolders,
                               [&](const std::string& f) { return WithinFolder(folded, f); });
}

// The free space set for the folder nearest above `folder`, else what the file system says.
std::optional<uint64_t> Free(const std::string& folder, std::optional<uint64_t> fileSystemSays) {
    FileStandIns& files = TheFiles();
    const std::lock_guard lock(files.mutex);
    const std::string folded = FoldedPath(folder);
    const std::pair<const std::string, std::optional<uint64_t>>* nearest = nullptr;
    for (const auto& entry : files.freeByFolder)
        if (WithinFolder(folded, entry.first) &&
            (!nearest || entry.first.size() > nearest->first.size()))
            nearest = &entry;
    return nearest ? nearest->second : fileSystemSays;
}

[[maybe_unused]] const bool kInstalled = [] {
    PosixHooks& hooks = Hooks();
    hooks.fileHeld = IsHeld;
    hooks.inProtectedFolder = InProtected;
    hooks.freeSpace = Free;
    return true;
}();

}  // namespace

void Hold(const std::string& path) {
    FileStandIns& files = TheFiles();
    const std::lock_guard lock(files.mutex);
    files.held.push_back(FoldedPath(path));
}

void LetGo(const std::string& path) {
    FileStandIns& files = TheFiles();
    const std::lock_guard lock(files.mutex);
    std::erase(files.held, FoldedPath(path));
}

void ProtectFolder(const std::string& folder) {
    FileStandIns& files = TheFiles();
    const std::lock_guard lock(files.mutex);
    files.protectedFolders.push_back(FoldedPath(folder));
}

void UnprotectFolder(const std::string& folder) {
    FileStandIns& files = TheFiles();
    const std::lock_guard lock(files.mutex);
    std::erase(files.protectedFolders, FoldedPath(folder));
}

void SetFreeSpace(const std::string& folder, std::optional<uint64_t> bytes) {
    FileStandIns& files = TheFiles();
    const std::lock_guard lock(files.mutex);
    files.freeByFolder[FoldedPath(folder)] = bytes;
}

}  // namespace kestrine::platform::fileio
