#include "recovery/recovery.h"

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "outlook/locations.h"
#include "platform/registry_access.h"
#include "platform/system.h"
#include "recovery/file_replace.h"
#include "registry/registry.h"

namespace kestrine::recovery {

HeldRunLock TakeRunLock(const ProgramPaths& paths, std::chrono::milliseconds wait,
                        std::stop_token stop, const BusyLine& busyLine) {
    // One run at a time: a scheduled backup never writes beside a backup or restore that works.
    HeldRunLock held;
    held.lock = platform::RunLock::Take(wait, stop);
    if (held.lock) return held;
    held.cancelled = stop.stop_requested();
    held.busy = !held.cancelled;
    if (held.busy && busyLine)
        if (const std::string line = busyLine(platform::NowText()); !line.empty())
            WriteLog(paths.LogFile, line);
    return held;
}

KeyKeeper RegistryKeyKeeper() {
    // A tree saved in a form the importer refuses could not be put back: such a save fails.
    auto save = [](const std::string& key, const std::string& file) {
        return registry::ExportKey(key, file) && registry::ExportFileIsImportable(file);
    };
    // Profiles and Outlook's options are the user's: their hive is HKEY_CURRENT_USER.
    auto flush = [] {
        return platform::FlushRegistryRoot(registry::GetRootKey("HKEY_CURRENT_USER")) ==
               platform::kRegSuccess;
    };
    return {registry::KeyExists, save, registry::ImportKey, registry::DeleteKeyTree, flush};
}

std::vector<std::string> RestoreFolders(const outlook::Environment& env) {
    const outlook::UserFolders f = outlook::FoldersOf(env);
    return {f.roamingOutlook, f.localOutlook, f.signatures, f.templates, f.stationery, f.contacts};
}

void LogTakeBackFiles(const ProgramPaths& paths, const std::vector<KeptFile>& kept,
                      const std::vector<NotPutBack>& notPutBack) {
    for (const auto& k : kept)
        WriteLog(paths.LogFile, RestoreKeptFileLine(platform::NowText(), k.target, k.keptAs,
                                                    k.changedSinceRestore));
    for (const auto& n : notPutBack)
        WriteLog(paths.LogFile, RestoreNotPutBackLine(platform::NowText(), n.target, n.oldCopy));
}

RecoveryOutcome MakeProfileWhole(const ProgramPaths& paths, const outlook::Environment& env) {
    // A half-restored profile is never backed up, nor restored over (one the user chose to keep as
    // it is, abandoning its undo set, is).
    RecoveryOutcome recovered = RecoverUnfinishedRestores(paths.UndoFolder, RegistryKeyKeeper());
    for (const auto& folder : RestoreFolders(env)) RecoverInterruptedRestore(folder);
    if (recovered.sets > 0)
        WriteLog(paths.LogFile, RestoreRecoveredLine(platform::NowText(), recovered.ok));
    LogTakeBackFiles(paths, recovered.kept, recovered.notPutBack);
    return recovered;
}

bool KeepProfileAsItIs(const ProgramPaths& paths) {
    const bool ok = AbandonUnfinishedRestores(paths.UndoFolder);
    WriteLog(paths.LogFile, RestoreAbandonedLine(platform::NowText(), ok));
    return ok;
}

}  // namespace kestrine::recovery
