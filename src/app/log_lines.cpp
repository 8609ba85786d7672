#include "app/log_lines.h"

#include <initializer_list>
#include <string>

namespace kestrine {

namespace {

std::string Join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (auto part : parts) out.append(part);
    return out;
}

}  // namespace

std::string LogSeparatorLine() {
    return std::string(84, '.') + "\r";
}

std::string BackupStartLine(std::string_view now, std::string_view profile) {
    return Join({now, " Start Backup Profile ", profile, " Data...\n"});
}

std::string AutoBackupStartLine(std::string_view now, std::string_view profile) {
    return Join({now, " Start Auto Backup Profile ", profile, " Data...\n"});
}

std::string BackupFileLine(std::string_view now, std::string_view targetFile) {
    return Join({now, " Backup File is ", targetFile, "\n"});
}

std::string BackupItemLine(std::string_view now, std::string_view itemName, bool succeeded) {
    return Join({now, " Backup ", itemName, succeeded ? " Succeeded!\n" : " Fail!\n"});
}

std::string BackupEndLine(std::string_view now, std::string_view profile) {
    return Join({now, " Backup Profile ", profile, " Data was Completed!\r"});
}

std::string BackupNotCompletedLine(std::string_view now, std::string_view profile) {
    return Join({now, " Backup Profile ", profile, " Data was not Completed!\r"});
}

namespace {
constexpr std::string_view kOtherRun =
    " was not started: another backup or restore was still running!\n";
}  // namespace

std::string BackupNotStartedLine(std::string_view now, std::string_view profile, bool unattended) {
    return Join(
        {now, unattended ? " Auto Backup Profile " : " Backup Profile ", profile, kOtherRun});
}

std::string BackupVerifiedLine(std::string_view now) {
    return Join({now, " Backup File was Verified!\n"});
}

std::string BackupNotVerifiedLine(std::string_view now, std::string_view cause) {
    return Join({now, " Backup File was not Verified! ", cause, "\n"});
}

std::string BackupFolderBlockedLine(std::string_view now, std::string_view folder) {
    return Join({now,
                 " Backup File could not be written: Windows Security's controlled folder "
                 "access blocks Kestrine in ",
                 folder,
                 " (allow Kestrine through controlled folder access, or choose another folder)\n"});
}

std::string BackupFileHeldLine(std::string_view now, std::string_view path) {
    return Join({now, " Backup File waits: ", path,
                 " is held by another program (a virus scanner or a sync client?)\n"});
}

std::string EarlierBackupUnusedLine(std::string_view now, std::string_view path,
                                    std::string_view why) {
    return Join({now, " Earlier Backup File ", path, " not reused: ", why, "\n"});
}

std::string ItemCauseLine(std::string_view now, std::string_view itemName, std::string_view cause) {
    return Join({now, " ", itemName, " failed because: ", cause, "\n"});
}

std::string BackupKeptLine(std::string_view now, std::string_view kept, std::string_view written) {
    return Join({now, " An item failed, so the complete Backup File ", kept,
                 " was kept; this backup was written to ", written, "\n"});
}

std::string BackupRemovedLine(std::string_view now, std::string_view oldArchive) {
    return Join({now, " Old Backup File was Removed: ", oldArchive, "\n"});
}

std::string BackupNotRemovedLine(std::string_view now, std::string_view oldArchive) {
    return Join({now, " Old Backup File could not be Removed: ", oldArchive, "\n"});
}

std::string CommandLineRefusedLine(std::string_view now, std::string_view reason) {
    return Join({now, " Auto Backup was not started: the scheduled command line was refused (",
                 reason, ")!\n"});
}

std::string RestoreStartLine(std::string_view now, std::string_view targetProfile) {
    return Join({now, " Start Retore Data to Profile ", targetProfile, "\n"});
}

std::string RestoreFileLine(std::string_view now, std::string_view sourceFile) {
    return Join({now, " Restore File is ", sourceFile, "\n"});
}

std::string RestoreItemLine(std::string_view now, std::string_view itemName, bool succeeded) {
    return Join({now, " Restore ", itemName, " ", succeeded ? "Succeeded!\n" : "Fail!\n"});
}

std::string RestoreEndLine(std::string_view now, std::string_view targetProfile) {
    return Join({now, " Restore Data to Profile ", targetProfile, " was Completed!\r"});
}

std::string RestoreNotCompletedLine(std::string_view now, std::string_view targetProfile) {
    return Join({now, " Restore Data to Profile ", targetProfile, " was not Completed!\r"});
}

std::string RestoreFileHeldLine(std::string_view now, std::string_view path) {
    return Join({now, " Restore waits: ", path, " is held by another program\n"});
}

std::string RestoreNoRoomLine(std::string_view now, std::string_view reason) {
    return Join({now, " Restore needs more free space: ", reason, "\n"});
}

std::string RestoreTakenBackLine(std::string_view now, std::string_view why) {
    return Join(
        {now, " Restore was not completed (", why, "); every change it made was put back.\n"});
}

std::string RestoreNotTakenBackLine(std::string_view now) {
    return Join({now,
                 " Restore could not put back every change it made; it will be tried again "
                 "at the next start.\n"});
}

std::string RestoreRecoveredLine(std::string_view now, bool ok) {
    return Join({now, ok ? " A restore that was ended midway was found and every change it made "
                           "was put back.\n"
                         : " A restore that was ended midway was found but its changes could not "
                           "all be put back.\n"});
}

std::string RestoreUndoneLine(std::string_view now, bool ok) {
    return Join({now, ok ? " The last restore was undone.\n"
                         : " The last restore could not be undone; nothing was changed.\n"});
}

std::string RestoreNotPutBackLine(std::string_view now, std::string_view target,
                                  std::string_view oldCopy) {
    if (oldCopy.empty()) return Join({now, " Could not remove ", target, ".\n"});
    return Join({now, " Could not put back ", target, "; its old content is in ", oldCopy, ".\n"});
}

std::string RestoreAbandonedLine(std::string_view now, bool ok) {
    return Join({now, ok ? " The profile is kept as it is; the restore that could not be put back "
                           "is no longer tried, and backups go on.\n"
                         : " The profile could not be marked as kept as it is; putting the "
                           "restore back will be tried again at the next start.\n"});
}

std::string RestoreKeptFileLine(std::string_view now, std::string_view target,
                                std::string_view keptAs, bool changedSinceRestore) {
    return Join({now, " File ", target,
                 changedSinceRestore ? " changed after the restore and is kept as "
                                     : " was in the way and is kept as ",
                 keptAs, "\n"});
}

std::string OutlookClosedLine(std::string_view now, bool ended, bool gone) {
    if (!gone) return Join({now, " Outlook could not be closed.\n"});
    return Join({now, ended ? " Outlook did not close and was ended, as the user agreed.\n"
                            : " Outlook was asked to close and closed.\n"});
}

std::string OutlookRestartedLine(std::string_view now) {
    return Join({now, " Outlook was started again.\n"});
}

std::string OutlookNotAskedLine(std::string_view now, bool itemsOpen) {
    return Join({now, itemsOpen ? " Outlook has item windows open and was not asked to close, so "
                                  "that nothing unsaved is lost.\n"
                                : " Outlook could not be asked to close.\n"});
}

std::string OutlookWaitLine(std::string_view now, std::string_view file, int minutes) {
    return Join({now, " Outlook is running and holds ", file,
                 " open; the backup waits for Outlook to close, at most ", std::to_string(minutes),
                 " minutes.\n"});
}

std::string OutlookWaitOverLine(std::string_view now) {
    return Join({now, " Outlook was closed; the backup goes on.\n"});
}

std::string OutlookStayedOpenLine(std::string_view now, int minutes) {
    return Join({now, " Outlook stayed open for ", std::to_string(minutes),
                 " minutes: the data files it holds open are not backed up.\n"});
}

std::string SessionEndedWhileWaitingLine(std::string_view now) {
    return Join({now,
                 " The session ended while the backup waited for Outlook; nothing was "
                 "written.\n"});
}

std::string RestoreNotStartedLine(std::string_view now, std::string_view targetProfile) {
    return Join({now, " Restore Data to Profile ", targetProfile, kOtherRun});
}

std::string RestoreOldFileLine(std::string_view now, std::string_view target,
                               std::string_view oldCopy) {
    return Join(
        {now, " Restore could not put back ", target, ": the old file is now ", oldCopy, "\n"});
}

std::vector<std::string> SplitLogLines(std::string_view text) {
    std::vector<std::string> entries;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\r', pos);
        if (end == std::string_view::npos) {
            entries.emplace_back(text.substr(pos));  // last line without an end
            break;
        }
        entries.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return entries;
}

std::string NotepadCommandLine(std::string_view windowsDir, std::string_view logPath) {
    return Join({windowsDir, "\\notepad.exe ", logPath});
}

}  // namespace kestrine
