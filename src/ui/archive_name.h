#pragma once
// The archive name proposed for a profile, and the folder it is proposed in.
#include <functional>
#include <string>
#include <string_view>

#include "platform/messages.h"

namespace kestrine::ui {

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
};
// "MM-DD-YYYY".
std::string FormatDate(const Date& date);

// "kestrine-<profile>": the start of every archive name proposed for a profile. Characters that
// Windows forbids in file names (a profile may be called "A:B") become "_", so the proposal is
// always one plain file name.
std::string ProposalStem(std::string_view profile);
// "kestrine-<profile>-MM-DD-YYYY.ksx".
std::string ProposalFileName(std::string_view profile, const Date& date);

// A chosen archive path as the program keeps it: ".ksx" added when the name does not end with it,
// so that the restore's open dialog, which lists only backup files, finds the archive.
std::string WithArchiveExtension(std::string_view path);

// The file dialogs' filter of backup archives.
inline constexpr const char* kArchiveFileFilter = "Kestrine File (*.ksx)|*.ksx";
// The save dialog of a backup archive, opened in `folder` with `fileName` proposed.
platform::FileDialogRequest SaveArchiveDialog(const std::string& folder,
                                              const std::string& fileName);

// An empty or "0" `backupfolder` setting names no folder: the application folder stands in for it.
bool BackupFolderUnset(std::string_view setting);

// The folder of proposals and of the save dialogs: the `backupfolder` setting when it names an
// existing folder (one trailing backslash removed), otherwise the application folder. Empty or "0"
// means unset; a value that is not well-formed UTF-8 names no folder.
std::string ChooseProposalFolder(const std::string& backupFolderSetting,
                                 const std::string& appFolder,
                                 const std::function<bool(const std::string&)>& folderExists);

}  // namespace kestrine::ui
