#include "ui/archive_name.h"

#include <cstdio>

#include "base/text.h"
#include "base/utf.h"

namespace kestrine::ui {

std::string FormatDate(const Date& date) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", date.month, date.day, date.year);
    return buf;
}

std::string ProposalStem(std::string_view profile) {
    std::string name = "kestrine-";
    for (char c : profile) {
        bool forbidden = static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == '/' ||
                         c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
                         c == '|';
        name += forbidden ? '_' : c;
    }
    return name;
}

std::string ProposalFileName(std::string_view profile, const Date& date) {
    return ProposalStem(profile) + "-" + FormatDate(date) + ".ksx";
}

std::string WithArchiveExtension(std::string_view path) {
    std::string chosen(path);
    if (chosen.empty()) return chosen;
    if (chosen.size() < 4 || !base::EqualsNoCase(chosen.substr(chosen.size() - 4), ".ksx"))
        chosen += ".ksx";
    return chosen;
}

platform::FileDialogRequest SaveArchiveDialog(const std::string& folder,
                                              const std::string& fileName) {
    platform::FileDialogRequest dialog;
    dialog.save = true;
    dialog.title = "Save Outlook Data as";
    dialog.filter = kArchiveFileFilter;
    dialog.initialFolder = folder;
    dialog.fileName = fileName;
    return dialog;
}

bool BackupFolderUnset(std::string_view setting) {
    return setting.empty() || setting == "0";
}

std::string ChooseProposalFolder(const std::string& backupFolderSetting,
                                 const std::string& appFolder,
                                 const std::function<bool(const std::string&)>& folderExists) {
    if (BackupFolderUnset(backupFolderSetting)) return appFolder;
    if (!base::IsWellFormedUtf8(backupFolderSetting) || !folderExists(backupFolderSetting))
        return appFolder;
    std::string folder = backupFolderSetting;
    if (folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace kestrine::ui
