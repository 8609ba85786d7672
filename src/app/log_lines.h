#pragma once
// The line shapes of brlog.dat. Each builder returns the line text that WriteLog gets; the writer
// adds CR LF, so the separator and end lines end in CR CR LF and all others in LF CR LF. `now` is
// the locale's date-and-time text of the moment the line is written.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "backup_format/items.h"

namespace kestrine {

// The name of one of the nine items as it stands in the item lines (and in the run summaries).
constexpr const char* LogItemName(backup_format::Choice choice) {
    constexpr std::array<const char*, backup_format::kChoiceCount> kNames = {
        "Personal Folders", "Accounts Settings",     "Signatures",
        "Stationeries",     "Personal Address Book", "Options Settings",
        "Templates",        "Preferences",           "Contacts Folder"};
    return kNames[backup_format::IndexOf(choice)];
}

std::string LogSeparatorLine();

std::string BackupStartLine(std::string_view now, std::string_view profile);
std::string AutoBackupStartLine(std::string_view now, std::string_view profile);
std::string BackupFileLine(std::string_view now, std::string_view targetFile);
std::string BackupItemLine(std::string_view now, std::string_view itemName, bool succeeded);
std::string BackupEndLine(std::string_view now, std::string_view profile);
// The end line of a run that wrote no archive: the end line's shape with "was not Completed!".
std::string BackupNotCompletedLine(std::string_view now, std::string_view profile);

// A backup that found another backup or restore working and did not start (LF ending).
std::string BackupNotStartedLine(std::string_view now, std::string_view profile, bool unattended);
// The written archive was read back whole and checked, or failed that check for `cause`.
std::string BackupVerifiedLine(std::string_view now);
std::string BackupNotVerifiedLine(std::string_view now, std::string_view cause);
// The finished archive waits for another program (a scanner, a sync client) to let go of a file
// before it can be put in place.
std::string BackupFileHeldLine(std::string_view now, std::string_view path);
// The earlier backup `path` offered no unchanged pieces to the new one (`why`): everything was
// compressed anew.
std::string EarlierBackupUnusedLine(std::string_view now, std::string_view path,
                                    std::string_view why);
// Windows Security's controlled folder access refused the archive a place in `folder`.
std::string BackupFolderBlockedLine(std::string_view now, std::string_view folder);
// Why an item of a backup or a restore failed (after its "Fail!" line).
std::string ItemCauseLine(std::string_view now, std::string_view itemName, std::string_view cause);
// A backup that failed an item was written beside the complete backup `kept` instead of over it.
std::string BackupKeptLine(std::string_view now, std::string_view kept, std::string_view written);
// A scheduled run that keeps only the newest dated backups removed an older one of its task, or
// could not.
std::string BackupRemovedLine(std::string_view now, std::string_view oldArchive);
std::string BackupNotRemovedLine(std::string_view now, std::string_view oldArchive);
// The unattended program refused its command line for `reason`, and did nothing else.
std::string CommandLineRefusedLine(std::string_view now, std::string_view reason);

std::string RestoreStartLine(std::string_view now, std::string_view targetProfile);
std::string RestoreFileLine(std::string_view now, std::string_view sourceFile);
std::string RestoreItemLine(std::string_view now, std::string_view itemName, bool succeeded);
std::string RestoreEndLine(std::string_view now, std::string_view targetProfile);
// The end line of a restore that was stopped before its last item.
std::string RestoreNotCompletedLine(std::string_view now, std::string_view targetProfile);
// A restore that found another backup or restore working and did not start (LF ending).
std::string RestoreNotStartedLine(std::string_view now, std::string_view targetProfile);
// A file that a failed restore could not put back, and where its old content now is.
std::string RestoreOldFileLine(std::string_view now, std::string_view target,
                               std::string_view oldCopy);

// A restore waits for another program to let go of `path` before it can put a file in its place.
std::string RestoreFileHeldLine(std::string_view now, std::string_view path);
// A restore that did not start its first item because a drive lacks room (`reason` says which).
std::string RestoreNoRoomLine(std::string_view now, std::string_view reason);
// A restore that did not complete and whose changes all went back: `why` says what stopped it.
std::string RestoreTakenBackLine(std::string_view now, std::string_view why);
// Its changes could not all go back; the undo set stays and the next start tries again.
std::string RestoreNotTakenBackLine(std::string_view now);
// A restore ended midway (the program was ended, the computer lost power) was found at start and
// its changes went back, or could not.
std::string RestoreRecoveredLine(std::string_view now, bool ok);
// The user undid the last restore, or the undo was refused with nothing changed.
std::string RestoreUndoneLine(std::string_view now, bool ok);
// A file that stood in the way of putting a restore back, and where it is kept.
// A take-back could not put `target` (a file or a registry key) back; its old content is at
// `oldCopy` (empty: there was none).
std::string RestoreNotPutBackLine(std::string_view now, std::string_view target,
                                  std::string_view oldCopy);
// The user kept the profile as it is after a restore could not be put back.
std::string RestoreAbandonedLine(std::string_view now, bool ok);
std::string RestoreKeptFileLine(std::string_view now, std::string_view target,
                                std::string_view keptAs, bool changedSinceRestore = false);

// Outlook was closed before a backup: it quit when asked, or the user agreed to end it when it did
// not; or it could not be closed at all.
std::string OutlookClosedLine(std::string_view now, bool ended, bool gone);
// A scheduled backup started Outlook again, as it had found it running.
std::string OutlookRestartedLine(std::string_view now);
// Outlook was not asked to quit: it had item windows open (quitting would discard what is not
// saved in them), or its automation object could not be reached.
std::string OutlookNotAskedLine(std::string_view now, bool itemsOpen);
// A scheduled backup waits for Outlook, which holds the data file `file` open, at most `minutes`.
std::string OutlookWaitLine(std::string_view now, std::string_view file, int minutes);
// The wait is over: the data files are free.
std::string OutlookWaitOverLine(std::string_view now);
// Outlook stayed open all the wait: the data files fail, the rest is backed up.
std::string OutlookStayedOpenLine(std::string_view now, int minutes);
// The user's session ended while the scheduled backup waited for Outlook.
std::string SessionEndedWhileWaitingLine(std::string_view now);

// The entries of the log list: a line ends at CR, CR LF counts as one end, and a lone LF stays in
// the entry's text. The separator and end lines are therefore followed by an empty entry.
std::vector<std::string> SplitLogLines(std::string_view text);

// Command line that opens the log in Notepad: Notepad's path, a space, the log path unquoted.
std::string NotepadCommandLine(std::string_view windowsDir, std::string_view logPath);

}  // namespace kestrine
