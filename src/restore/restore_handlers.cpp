#include "restore/restore_handlers.h"

#include <utility>
#include <vector>

#include "archive/manifest.h"
#include "base/path.h"
#include "base/text.h"
#include "outlook/locations.h"
#include "outlook/profile_data.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "registry/registry.h"
#include "restore/file_replace.h"
#include "restore/undo_set.h"

namespace kestrine::restore {

namespace {

namespace fileio = platform::fileio;
using archive::Item;

// A profile name names a key below the profiles root and, for some items, a file.
bool IsProfileName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

const std::string& Entry(const RestoreContext& ctx, Item item) {
    return ctx.entries[archive::IndexOf(item)];
}

outlook::UserFolders Folders(const RestoreContext& ctx) {
    return outlook::FoldersOf(ctx.env);
}

std::string ProfileKey(const RestoreContext& ctx, const std::string& profile) {
    return outlook::ProfileKey(ctx.env.ProfilesRoot, profile);
}

struct Planned {
    std::string entry;       // name in the archive
    std::string targetName;  // file name in the folder
};

// Extracts every planned entry into a checked temporary beside its target in `folder`, then puts
// them all in place together. False, with nothing in the folder replaced, when a name is not a
// plain file name, the archive lacks an entry, an entry does not extract whole, or a target is held
// open.
bool ExtractAllInto(const RestoreContext& ctx, const std::vector<Planned>& plan,
                    const std::string& folder) {
    if (!fileio::IsDirectory(folder)) return false;
    std::vector<StagedFile> staged;
    for (const auto& p : plan) {
        const auto entry =
            archive::IsPlainFileName(p.entry) ? ctx.zip.FindEntry(p.entry) : std::nullopt;
        if (!entry || !archive::IsPlainFileName(p.targetName)) {
            DiscardStaged(staged);
            return false;
        }
        if (ctx.extracting) ctx.extracting(entry->name, entry->uncompressedSize);
        const std::string target = base::JoinPath(folder, p.targetName);
        StagedFile file{NewStagingFile(target), target};
        if (file.temporary.empty() ||
            !ctx.zip.ExtractToFile(*entry, file.temporary, *ctx.extraction)) {
            fileio::RemoveFile(file.temporary);
            DiscardStaged(staged);
            return false;
        }
        staged.push_back(std::move(file));
    }
    const ReplaceOutcome outcome = ReplaceFilesTogether(staged, {}, ctx.journal);
    for (const auto& kept : outcome.keptAside)
        if (ctx.oldFileKept) ctx.oldFileKept(kept);
    return outcome.replaced;
}

// Where stationery goes back to: the shared folder of Outlook 2007 and later, empty when that is
// not named.
std::string StationeryFolder(const outlook::Environment& env) {
    outlook::SharedFilesDir shared;
    if (outlook::StationeryIsShared(env.OutlookVersion))
        shared = registry::GetMachineStringValue(outlook::kSharedToolsKey,
                                                 outlook::kSharedFilesDirValue);
    return outlook::RestoredStationeryFolder(outlook::FoldersOf(env), env.OutlookVersion, shared);
}

std::vector<Planned> PlanSameNames(const std::string& stagingList) {
    std::vector<Planned> plan;
    for (const auto& name : archive::SplitStagingList(base::CutAtNul(stagingList)))
        plan.push_back({name, name});
    return plan;
}

// Each listed data file its own file under a distinct name (archives that record the sections hold
// distinct names already).
std::vector<Planned> PlanDistinctNames(const std::vector<std::string>& names) {
    const std::vector<std::string> targets = archive::DistinctEntryNames(names);
    std::vector<Planned> plan;
    for (size_t i = 0; i < names.size(); ++i) plan.push_back({names[i], targets[i]});
    return plan;
}

// The export file goes to a fresh temporary of its own, so that no entry name can overwrite a file
// of the application folder; ImportKey checks it whole before it replaces the tree.
bool ImportEntry(const RestoreContext& ctx, Item item, const std::string& targetKey) {
    if (!registry::KeyExists(targetKey)) return true;
    const std::string name = base::TrimSpaces(base::CutAtNul(Entry(ctx, item)));
    if (!archive::IsPlainFileName(name)) return false;
    const auto entry = ctx.zip.FindEntry(name);
    if (!entry) return false;
    const std::string temp = platform::CreateTempFile(ctx.tempFolder, "OBR");
    if (temp.empty()) return false;
    if (ctx.extracting) ctx.extracting(entry->name, entry->uncompressedSize);
    const bool ok = ctx.zip.ExtractToFile(*entry, temp, *ctx.extraction) &&
                    registry::ImportKey(targetKey, temp);
    fileio::RemoveFile(temp);
    return ok;
}

bool RestoreFolderItem(const RestoreContext& ctx, Item item, const std::string& folder) {
    // A missing folder is made, one level only.
    if (!platform::MakeFolder(folder)) return false;
    return ExtractAllInto(ctx, PlanSameNames(Entry(ctx, item)), folder);
}

template <typename F>
bool Guarded(F&& body) {
    try {
        return body();
    } catch (...) {
        return false;
    }
}

}  // namespace

bool RestoreConfig(const RestoreContext& ctx, const std::string& profile) {
    return Guarded([&] {
        return IsProfileName(profile) &&
               ImportEntry(ctx, Item::Configuration, ProfileKey(ctx, profile));
    });
}

bool RestoreAccounts(const RestoreContext& ctx, const std::string& profile) {
    return Guarded([&] {
        return IsProfileName(profile) &&
               ImportEntry(ctx, Item::Accounts,
                           outlook::AccountsKey(ctx.env.ProfilesRoot, profile));
    });
}

bool RestoreConfigsetting(const RestoreContext& ctx) {
    return Guarded([&] {
        return ImportEntry(ctx, Item::Options, outlook::OptionsKey(ctx.env.OutlookVersion));
    });
}

bool RestoreSignatures(const RestoreContext& ctx) {
    return Guarded(
        [&] { return RestoreFolderItem(ctx, Item::Signatures, Folders(ctx).signatures); });
}

bool RestoreStationery(const RestoreContext& ctx) {
    return Guarded([&] {
        const std::string folder = StationeryFolder(ctx.env);
        return !folder.empty() && RestoreFolderItem(ctx, Item::Stationery, folder);
    });
}

bool RestoreTemplates(const RestoreContext& ctx) {
    return Guarded([&] { return RestoreFolderItem(ctx, Item::Templates, Folders(ctx).templates); });
}

bool RestoreSetting(const RestoreContext& ctx) {
    return Guarded(
        [&] { return RestoreFolderItem(ctx, Item::Preferences, Folders(ctx).roamingOutlook); });
}

bool RestoreContacts(const RestoreContext& ctx) {
    return Guarded([&] { return RestoreFolderItem(ctx, Item::Contacts, Folders(ctx).contacts); });
}

bool RestoreRules(const RestoreContext& ctx, const std::string& profile) {
    return Guarded([&] {
        if (!IsProfileName(profile)) return false;
        const std::string listed = base::CutAtNul(Entry(ctx, Item::Rules));
        const std::string value = archive::DecodeEntryName(listed);
        const std::string ownName = profile + ".RWZ";
        // The rules file is named after the profile it belongs to. It goes straight to the target
        // profile's name; a rules file of the source profile that lies here is not touched, and no
        // other name of the list is written.
        std::vector<Planned> plan;
        for (const auto& name : archive::SplitStagingList(listed)) {
            if (!base::EqualsNoCase(name, value)) continue;
            plan.push_back({name, base::EqualsNoCase(value, ownName) ? name : ownName});
            break;
        }
        const bool found = !plan.empty();
        return found && ExtractAllInto(ctx, plan, Folders(ctx).roamingOutlook);
    });
}

bool RestorePab(const RestoreContext& ctx, const std::string& profile) {
    return Guarded([&] {
        if (!IsProfileName(profile)) return false;
        const std::string local = Folders(ctx).localOutlook;
        if (!ExtractAllInto(ctx, PlanSameNames(Entry(ctx, Item::AddressBook)), local)) return false;
        const std::string profileKey = ProfileKey(ctx, profile);
        const auto sections = registry::EnumSubKeys(profileKey);
        if (sections.names.empty() || sections.failed) return false;
        for (const auto& section : sections.names) {
            const std::string key = profileKey + "\\" + section;
            const auto path = registry::GetStringValue(key, outlook::kAddressBookPathValue);
            if (!path) continue;
            if (!registry::SetStringValue(key, outlook::kAddressBookPathValue,
                                          base::JoinPath(local, base::BaseName(*path))))
                return false;
        }
        return true;
    });
}

bool RestoreDatas(const RestoreContext& ctx, const std::string& profile) {
    return Guarded([&] {
        if (!IsProfileName(profile)) return false;
        const outlook::UserFolders folders = Folders(ctx);
        const std::string& local = folders.localOutlook;
        // A backup that records the section of each data file restores namesakes side by side and
        // links each section to its own file; one that does not restores as it always did.
        const auto names = archive::SplitStagingList(base::CutAtNul(Entry(ctx, Item::DataFiles)));
        const archive::DataFileStores stores = archive::SplitDataFileStores(ctx.dataFileStores);
        const std::vector<Planned> plan =
            stores.empty() ? PlanSameNames(Entry(ctx, Item::DataFiles)) : PlanDistinctNames(names);
        // A data file that cannot be put in place (Outlook holds it) leaves the profile linked to
        // the files it has.
        if (!ExtractAllInto(ctx, plan, local)) return false;

        const std::string profileKey = ProfileKey(ctx, profile);
        const auto sections = registry::EnumSubKeys(profileKey);
        if (sections.names.empty() || sections.failed) return false;

        // Every section that names a data file names a file in the local folder afterwards: its own
        // restored file, or else one of the same name. A path that cannot be rewritten, or a write
        // that fails, leaves a profile that still names old places: the item fails.
        for (const auto& section : sections.names) {
            const std::string key = profileKey + "\\" + section;
            auto read = registry::GetBinaryPath(key, outlook::kDataFilePathValue);
            if (!read) read = registry::GetBinaryPathViaFile(key, outlook::kDataFilePathValue);
            if (!read) continue;
            const std::string& oldPath = *read;
            std::string newName = base::BaseName(oldPath);
            for (const auto& [recorded, position] : stores)
                if (recorded == section && position < plan.size())
                    newName = plan[position].targetName;
            const std::string newPath = base::JoinPath(local, newName);
            using registry::PathRewrite;
            if (registry::ReplaceBinaryPath(key, outlook::kDataFilePathValue, oldPath, newPath) !=
                    PathRewrite::Rewritten ||
                registry::ReplaceBinaryPath(key, outlook::kDataFileWidePathValue, oldPath,
                                            newPath) == PathRewrite::WriteFailed ||
                !registry::DeleteValue(key, outlook::kDataFileAnsiPathValue))
                return false;
        }

        const std::string storeSection = profileKey + "\\" + outlook::kStoreSection;
        for (const char* value : outlook::kStoreIdentifierValues)
            if (!registry::DeleteValue(storeSection, value)) return false;
        for (const char* value : outlook::kDeliveryValues)
            for (unsigned i = 0; i < outlook::kClearedAccounts; ++i)
                if (!registry::DeleteValue(outlook::AccountKey(ctx.env.ProfilesRoot, profile, i),
                                           value))
                    return false;

        const std::string favName = profile + ".FAV";
        if (archive::IsPlainFileName(favName)) {
            const std::string fav = base::JoinPath(folders.applicationData + "\\Outlook", favName);
            if (!ctx.journal)
                fileio::RemoveFile(fav);
            else if (fileio::IsFile(fav) && ctx.journal->SetAside(fav).empty())
                return false;
        }
        return true;
    });
}

std::vector<PlannedChange> PlanItem(Item item, const RestoreContext& ctx,
                                    const std::string& profile) {
    std::vector<PlannedChange> changes;
    std::string folder;
    std::vector<Planned> plan;
    const outlook::UserFolders folders = Folders(ctx);
    switch (item) {
        case Item::Configuration:
            if (registry::KeyExists(ProfileKey(ctx, profile)))
                changes.push_back({item, {}, 0, true});
            return changes;
        case Item::Accounts:
            if (registry::KeyExists(outlook::AccountsKey(ctx.env.ProfilesRoot, profile)))
                changes.push_back({item, {}, 0, true});
            return changes;
        case Item::Options:
            changes.push_back(
                {item, {}, 0, registry::KeyExists(outlook::OptionsKey(ctx.env.OutlookVersion))});
            return changes;
        case Item::Rules: {
            const std::string listed = base::CutAtNul(Entry(ctx, Item::Rules));
            const std::string value = archive::DecodeEntryName(listed);
            for (const auto& name : archive::SplitStagingList(listed))
                if (base::EqualsNoCase(name, value)) {
                    plan.push_back({name, profile + ".RWZ"});
                    break;
                }
            folder = folders.roamingOutlook;
            break;
        }
        case Item::DataFiles: {
            const auto names =
                archive::SplitStagingList(base::CutAtNul(Entry(ctx, Item::DataFiles)));
            plan = archive::SplitDataFileStores(ctx.dataFileStores).empty()
                       ? PlanSameNames(Entry(ctx, item))
                       : PlanDistinctNames(names);
            folder = folders.localOutlook;
            break;
        }
        case Item::AddressBook:
            plan = PlanSameNames(Entry(ctx, item));
            folder = folders.localOutlook;
            break;
        case Item::Signatures:
        case Item::Stationery:
        case Item::Templates:
        case Item::Preferences:
        case Item::Contacts:
            plan = PlanSameNames(Entry(ctx, item));
            folder = item == Item::Signatures    ? folders.signatures
                     : item == Item::Stationery  ? StationeryFolder(ctx.env)
                     : item == Item::Templates   ? folders.templates
                     : item == Item::Preferences ? folders.roamingOutlook
                                                 : folders.contacts;
            break;
    }
    for (const auto& p : plan) {
        const auto entry = ctx.zip.FindEntry(p.entry);
        const std::string target = base::JoinPath(folder, p.targetName);
        changes.push_back(
            {item, target, entry ? entry->uncompressedSize : 0, fileio::IsFile(target)});
    }
    return changes;
}

std::vector<std::string> RestoreFolders(const outlook::Environment& env) {
    const outlook::UserFolders f = outlook::FoldersOf(env);
    std::vector<std::string> folders = {f.roamingOutlook, f.localOutlook, f.signatures,
                                        f.templates,      f.stationery,   f.contacts};
    if (std::string stationery = StationeryFolder(env); !stationery.empty())
        folders.push_back(stationery);
    return folders;
}

bool RunRestoreHandler(Item item, const RestoreContext& ctx, const std::string& profile) {
    switch (item) {
        case Item::Configuration:
            return RestoreConfig(ctx, profile);
        case Item::Rules:
            return RestoreRules(ctx, profile);
        case Item::Accounts:
            return RestoreAccounts(ctx, profile);
        case Item::Signatures:
            return RestoreSignatures(ctx);
        case Item::Stationery:
            return RestoreStationery(ctx);
        case Item::AddressBook:
            return RestorePab(ctx, profile);
        case Item::Options:
            return RestoreConfigsetting(ctx);
        case Item::Templates:
            return RestoreTemplates(ctx);
        case Item::Preferences:
            return RestoreSetting(ctx);
        case Item::Contacts:
            return RestoreContacts(ctx);
        case Item::DataFiles:
            return RestoreDatas(ctx, profile);
    }
    return false;
}

}  // namespace kestrine::restore
