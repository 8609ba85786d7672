#pragma once
// What the POSIX twins ask before they answer as a plain POSIX system would. A POSIX system has
// no Windows session, no Windows programs, no version resources and nothing that holds a file
// open without sharing it; the native tests stand in for what Windows would decide there by
// filling these hooks (before their first thread starts: the twins read them unlocked). An empty
// hook means the plain answer, given beside it. Paths are the program's paths, as the caller named
// them. The native build only.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/notification.h"
#include "platform/outlook_automation.h"
#include "platform/program_run.h"

namespace kestrine::platform {

// What the memory registry is about to do, for registryFault.
enum class RegistryOperation {
    Open,         // opening (also creating) the key itself
    Create,       // creating the key when it does not exist yet
    QueryValue,   // reading a named value of the key
    EnumValues,   // listing the key's values
    EnumSubKeys,  // listing the key's subkeys
    SetValue,     // writing a value of the key
    DeleteValue,  // deleting a value of the key
    DeleteKey,    // deleting the key itself
    Flush,        // writing the root's hive to the disk (the key: "")
};

struct PosixHooks {
    // Files. Whether another program holds `path` open without sharing it (plain: no).
    std::function<bool(const std::string& path)> fileHeld;
    // Whether creating files in `path` is refused although its permissions allow it, as Windows
    // Security's controlled folder access refuses it (plain: no).
    std::function<bool(const std::string& path)> inProtectedFolder;
    // What the drive of `folder` has free, given what the file system says (plain: that).
    std::function<std::optional<uint64_t>(const std::string& folder,
                                          std::optional<uint64_t> fileSystemSays)>
        freeSpace;

    // Programs. The full paths of the session's programs named `name` (plain: none).
    std::function<std::vector<std::string>(const std::string& name)> runningInSession;
    // Ends the session's programs named `name`; how many ended (plain: none).
    std::function<int(const std::string& name)> endPrograms;
    // Starts `commandLine` without waiting; whether it started (plain: no Windows program can).
    std::function<bool(const std::string& commandLine)> startProgram;
    // Whether the user's session has ended (plain: it never does).
    std::function<bool()> sessionEnded;
    // Runs a system program and waits for it (plain: none can be started).
    std::function<ProgramRun(const std::string& programPath, const std::string& commandLine)>
        runHiddenAndWait;
    // A program file's version resource (plain: none, "").
    std::function<std::string(const std::string& path)> fileVersion;
    // What Outlook's automation object answers a probe (plain: there is none).
    std::function<OutlookVersionProbe(const std::string& progId)> probeOutlook;
    // What a running Outlook answers when asked to quit (plain: there is none).
    std::function<OutlookQuitAnswer()> askOutlookToQuit;
    // Shows a notification balloon; whether it was shown (plain: no notification area, no).
    std::function<bool(const NotificationRequest& request)> showErrorNotification;

    // The memory registry. A status to answer instead of doing `operation` on the key `subkey`
    // of `root` (as stored, below its root), or 0 to do it (plain: 0).
    std::function<long(RegistryOperation operation, uint32_t root, const std::string& subkey)>
        registryFault;
    // Told of each flush that succeeded, outside the registry's lock (plain: nobody).
    std::function<void(uint32_t root)> registryFlushed;
};

// The one table the twins read.
PosixHooks& Hooks();

// Whether controlled folder access refuses creating files in `folder` (inProtectedFolder).
inline bool InProtectedFolder(const std::string& folder) {
    const auto& hook = Hooks().inProtectedFolder;
    return hook && hook(folder);
}

}  // namespace kestrine::platform
