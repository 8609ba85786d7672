// Runs a whole restore of a backup into a profile and stops dead at a chosen point, leaving a
// marker file, so that a test can end the process there as a kill or a power loss would.
//   restore_victim ARCHIVE PASSWORD APPFOLDER USERDIR PROFILESROOT OUTLOOKVERSION TARGET STOP
//   MARKER
// STOP is "row:<backup item index>" (after that row), "bytes:<n>" (once n bytes are extracted) or
// "end" (after the run).
#include <windows.h>

#include <string>

#include "app/program_paths.h"
#include "outlook/environment.h"
#include "platform/text.h"
#include "restore/open_backup.h"
#include "restore/restore_run.h"

namespace {

std::string g_marker;

[[noreturn]] void StopHere() {
    HANDLE f = CreateFileW(kestrine::platform::Widen(g_marker).c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    Sleep(120000);  // a failed test must not leave it behind for long
    ExitProcess(9);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace kestrine;
    if (argc != 10) return 2;
    auto arg = [&](int i) { return platform::Narrow(argv[i]); };
    const std::string archivePath = arg(1), password = arg(2), stop = arg(8);
    g_marker = arg(9);
    const ProgramPaths paths = PathsIn(arg(3));
    outlook::Environment env;
    env.UserProfileDir = arg(4);
    env.OSVersion = "6.1";
    env.ProfilesRoot = arg(5);
    env.OutlookVersion = arg(6);

    archive::ArchiveReader zip;
    const restore::OpenedBackup opened =
        restore::OpenBackup(zip, archivePath, paths.TempFolder, [&] { return password; });
    if (opened.status != restore::OpenStatus::Opened) return 3;
    restore::RestoreJob job;
    job.targetProfile = arg(7);
    job.ticked.fill(true);
    job.sourceFile = archivePath;
    job.itemFlags = opened.manifest.itemFlags;
    job.entries = opened.manifest.entries;
    job.dataFileStores = opened.manifest.dataFileStores;

    backup_format::RunObserver observer;
    if (stop.starts_with("row:")) {
        const size_t row = std::stoul(stop.substr(4));
        observer.stepFinished = [row](backup_format::Item item,
                                      backup_format::StepOutcome outcome) {
            if (outcome != backup_format::StepOutcome::NotRun &&
                backup_format::IndexOf(item) == row)
                StopHere();
        };
    } else if (stop.starts_with("bytes:")) {
        const uint64_t bytes = std::stoull(stop.substr(6));
        observer.progress = [bytes](const backup_format::Progress& p) {
            if (p.bytesDone >= bytes) StopHere();
        };
    }
    const restore::RestoreResult result = restore::RunRestore(job, env, paths, zip, observer);
    if (stop == "end") StopHere();
    return result.outcome == recovery::RunOutcome::Completed ? 0 : 1;
}
