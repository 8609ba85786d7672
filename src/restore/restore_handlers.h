#pragma once
// The item restore handlers: each puts one item of the open backup archive back into the user's
// Outlook environment and reports success. None shows a message; none throws.
//
// Files are extracted complete and checked into temporaries beside their targets, and the targets
// are replaced only when every file of the item is ready; registry export files are checked whole
// before a key tree is replaced. A handler that fails has not touched what it had not yet replaced.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/items.h"
#include "archive/zip_component.h"
#include "outlook/environment.h"
#include "restore/file_replace.h"

namespace kestrine::restore {

struct RestoreContext {
    const outlook::Environment& env;  // UserProfileDir, OSVersion, OutlookVersion, ProfilesRoot
    // The manifest value of each archive item (an entry name or a list), by archive::IndexOf.
    const std::array<std::string, archive::kItemCount>& entries;
    // The data files' record of profile sections (archive::SplitDataFileStores); may be empty.
    const std::string& dataFileStores;
    archive::ZipComponent& zip;  // holds the open backup archive
    const std::string& tempFolder;
    // Told before each entry is extracted, with its name and size.
    std::function<void(const std::string& name, uint64_t size)> extracting;
    // Told of an old file that a failed replacement could not put back, and where it is now.
    std::function<void(const KeptOldFile& kept)> oldFileKept;
    // The restore's undo set: every file replaced or removed is set aside into it. Without one,
    // replaced files are removed once their new content is in place.
    UndoJournal* journal = nullptr;
    // Hears the bytes of each entry as it is extracted.
    archive::ZipObserver* extraction = &archive::ZipObserver::None();
};

// The folders the handlers write files into for this environment.
std::vector<std::string> RestoreFolders(const outlook::Environment& env);

// Registry items: the recorded tree replaces the tree at the target key, when that key exists.
bool RestoreConfig(const RestoreContext& ctx, const std::string& profile);
bool RestoreAccounts(const RestoreContext& ctx, const std::string& profile);
bool RestoreConfigsetting(const RestoreContext& ctx);

// Folder items: the files replace those of the same name; other files stay.
bool RestoreSignatures(const RestoreContext& ctx);
bool RestoreStationery(const RestoreContext& ctx);
bool RestoreTemplates(const RestoreContext& ctx);
bool RestoreSetting(const RestoreContext& ctx);
bool RestoreContacts(const RestoreContext& ctx);

// Items tied to the target profile. The rules item restores only the rules file, named after the
// target profile, whatever else its list names.
bool RestoreRules(const RestoreContext& ctx, const std::string& profile);
bool RestorePab(const RestoreContext& ctx, const std::string& profile);
// The data files, then the profile re-linked to them in the local Outlook folder. The profile is
// re-linked only when every data file was put in place, and the item fails when a re-linking write
// fails.
bool RestoreDatas(const RestoreContext& ctx, const std::string& profile);

// What restoring one item into `profile` will change: each file it writes (replacing one that is
// there, or added) with its size in the archive, or the registry key it replaces (name empty).
struct PlannedChange {
    archive::Item item;
    std::string name;  // the file's full path; empty for a registry item
    uint64_t size = 0;
    bool replaces = false;
};
std::vector<PlannedChange> PlanItem(archive::Item item, const RestoreContext& ctx,
                                    const std::string& profile);

// The handler of one archive item; `profile` is the target profile.
bool RunRestoreHandler(archive::Item item, const RestoreContext& ctx, const std::string& profile);

}  // namespace kestrine::restore
