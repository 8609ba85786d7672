#include "restore/restore_handlers.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "backup_format/manifest.h"
#include "base/path.h"
#include "base/text.h"
#include "outlook/locations.h"
#include "outlook/profile_data.h"
#include "outlook/stores.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/text.h"
#include "recovery/file_replace.h"
#include "recovery/undo_set.h"
#include "registry/registry.h"

namespace kestrine::restore {

namespace {

namespace fileio = platform::fileio;
using backup_format::Item;

// The largest registry export file a restore reads: a profile's key tree, with its binary
// values, takes a few MB at most.
constexpr uint64_t kExportSizeLimit = 64u << 20;

// A profile name names a key below the profiles root and, for some items, a file.
bool IsProfileName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

const std::string& Entry(const RestoreContext& ctx, Item item) {
    return ctx.entries[backup_format::IndexOf(item)];
}

outlook::UserFolders Folders(const RestoreContext& ctx) {
    return outlook::FoldersOf(ctx.env);
}

std::string ProfileKey(const RestoreContext& ctx, const std::string& profile) {
    return outlook::ProfileKey(ctx.env.ProfilesRoot, profile);
}

Status Fail(Failure kind, std::string message) {
    return Status::Fail(kind, std::move(message));
}

// ": <what the failed call said>." after a sentence about what failed; "." when it said nothing.
std::string Because(const Status& failed) {
    const std::string& said = failed.message();
    if (said.empty()) return ".";
    return ": " + said + (said.back() == '.' ? "" : ".");
}

Status NoSections(const std::string& profileKey) {
    return Fail(Failure::NotFound, "The profile key " + profileKey + " has no sections.");
}

Status NotWritten(const std::string& key) {
    return Fail(Failure::WriteFailed, "The key " + key + " could not be changed.");
}

Status NoProfile(const std::string& profile) {
    return Fail(Failure::NotReady, "\"" + profile + "\" names no profile.");
}

struct Planned {
    std::string entry;       // name in the archive
    std::string targetName;  // file name in the folder
};

// Extracts every planned entry into a checked temporary beside its target in `folder`, then puts
// them all in place together. Fails, with nothing in the folder replaced, when a name is not a
// plain file name, the archive lacks an entry, an entry does not extract whole, or a target is held
// open.
Status ExtractAllInto(const RestoreContext& ctx, const std::vector<Planned>& plan,
                      const std::string& folder) {
    if (!fileio::IsDirectory(folder)) return Fail(Failure::NotFound, "No folder " + folder + ".");
    // The sizes the archive declares must fit the drive before anything is written there (an
    // entry whose data outgrows its declared size fails as it is extracted).
    uint64_t declared = 0;
    for (const auto& p : plan)
        if (const auto entry = ctx.zip.FindEntry(p.entry))
            declared += std::min<uint64_t>(entry->uncompressedSize, UINT64_MAX - declared);
    if (const auto noRoom = recovery::NoRoomFor(folder, declared))
        return Fail(Failure::WriteFailed, *noRoom);
    std::vector<recovery::StagedFile> staged;
    for (const auto& p : plan) {
        const auto entry =
            archive::IsPlainFileName(p.entry) ? ctx.zip.FindEntry(p.entry) : std::nullopt;
        if (!entry || !archive::IsPlainFileName(p.targetName)) {
            recovery::DiscardStaged(staged);
            return Fail(Failure::Damaged,
                        "The archive holds no file \"" + p.entry + "\" for " + folder + ".");
        }
        ctx.extracting(entry->name, entry->uncompressedSize);
        const std::string target = base::JoinPath(folder, p.targetName);
        recovery::StagedFile file{recovery::NewStagingFile(target), target};
        const Status extracted =
            file.temporary.empty()
                ? Status::Fail(Failure::WriteFailed, "no name for a new file is free there")
                : ctx.zip.ExtractToFile(*entry, file.temporary, *ctx.extraction);
        if (!extracted) {
            fileio::RemoveFile(file.temporary);
            recovery::DiscardStaged(staged);
            return Fail(extracted.kind(), "\"" + p.entry + "\" could not be extracted beside " +
                                              target + Because(extracted));
        }
        staged.push_back(std::move(file));
    }
    const recovery::ReplaceOutcome outcome =
        recovery::ReplaceFilesTogether(staged, {}, ctx.journal, ctx.placing);
    for (const auto& kept : outcome.keptAside) ctx.oldFileKept(kept);
    for (const auto& kept : outcome.strangers) ctx.oldFileKept(kept);
    if (outcome.replaced) return Status::Ok();
    if (outcome.failure.empty())
        return Fail(Failure::Busy, "The files in " + folder + " could not be replaced.");
    return Fail(Failure::Busy, outcome.failure);
}

// Where stationery goes back to: the user's own folder, whatever the Outlook version (a
// standard user cannot write the stock stationery under Program Files).
std::string StationeryFolder(const outlook::Environment& env) {
    return outlook::FoldersOf(env).stationery;
}

std::vector<Planned> PlanSameNames(const std::string& stagingList) {
    std::vector<Planned> plan;
    for (const auto& name : backup_format::SplitStagingList(base::CutAtNul(stagingList)))
        plan.push_back({name, name});
    return plan;
}

// Each listed data file its own file under a distinct name (archives that record the sections hold
// distinct names already).
std::vector<Planned> PlanDistinctNames(const std::vector<std::string>& names) {
    const std::vector<std::string> targets = backup_format::DistinctEntryNames(names);
    std::vector<Planned> plan;
    for (size_t i = 0; i < names.size(); ++i) plan.push_back({names[i], targets[i]});
    return plan;
}

// The export file goes to a fresh temporary of its own, so that no entry name can overwrite a file
// of the application folder; ImportKey checks it whole before it replaces the tree.
Status ImportEntry(const RestoreContext& ctx, Item item, const std::string& targetKey) {
    if (!registry::KeyExists(targetKey)) return Status::Ok();
    const std::string name = base::TrimSpaces(base::CutAtNul(Entry(ctx, item)));
    const auto entry = archive::IsPlainFileName(name) ? ctx.zip.FindEntry(name) : std::nullopt;
    if (!entry) return Fail(Failure::Damaged, "The archive holds no export file \"" + name + "\".");
    // The export is read whole into memory to be checked: one larger than any key tree is no
    // export of ours, and is not extracted.
    if (entry->uncompressedSize > kExportSizeLimit)
        return Fail(Failure::Damaged, "The export file \"" + name + "\" is larger than " +
                                          std::to_string(kExportSizeLimit >> 20) + " MB.");
    std::string temp;
    if (!fileio::CreateTempFile(ctx.tempFolder, "OBR", temp))
        return Fail(Failure::WriteFailed,
                    "No temporary file could be made in " + ctx.tempFolder + ".");
    ctx.extracting(entry->name, entry->uncompressedSize);
    Status imported = Status::Ok();
    if (const Status extracted = ctx.zip.ExtractToFile(*entry, temp, *ctx.extraction); !extracted)
        imported =
            Fail(extracted.kind(), "\"" + name + "\" could not be extracted" + Because(extracted));
    else if (!registry::ImportKey(targetKey, temp))
        imported = Fail(Failure::WriteFailed, "The key " + targetKey + " could not be replaced.");
    fileio::RemoveFile(temp);
    return imported;
}

Status RestoreFolderItem(const RestoreContext& ctx, Item item, const std::string& folder) {
    // A missing folder is made, one level only.
    if (!fileio::MakeFolder(folder))
        return Fail(Failure::WriteFailed, "The folder " + folder + " could not be made.");
    return ExtractAllInto(ctx, PlanSameNames(Entry(ctx, item)), folder);
}

// The rules file is named after the profile it belongs to. It goes straight to the target
// profile's name; a rules file of the source profile that lies here is not touched, and no other
// name of the list is written.
std::vector<Planned> PlanRules(const RestoreContext& ctx, const std::string& profile) {
    const std::string listed = base::CutAtNul(Entry(ctx, Item::Rules));
    const std::string value = backup_format::DecodeEntryName(listed);
    const std::string ownName = profile + ".RWZ";
    std::vector<Planned> plan;
    for (const auto& name : backup_format::SplitStagingList(listed)) {
        if (!base::EqualsNoCase(name, value)) continue;
        plan.push_back({name, base::EqualsNoCase(value, ownName) ? name : ownName});
        break;
    }
    return plan;
}

// A backup that records the section of each data file restores namesakes side by side and links
// each section to its own file; one that does not restores as it always did.
std::vector<Planned> PlanDataFiles(const RestoreContext& ctx) {
    if (backup_format::SplitDataFileStores(ctx.dataFileStores).empty())
        return PlanSameNames(Entry(ctx, Item::DataFiles));
    return PlanDistinctNames(
        backup_format::SplitStagingList(base::CutAtNul(Entry(ctx, Item::DataFiles))));
}

// What the files of a plan will change in `folder`.
std::vector<PlannedChange> FileChanges(const RestoreContext& ctx, Item item,
                                       const std::vector<Planned>& plan,
                                       const std::string& folder) {
    std::vector<PlannedChange> changes;
    for (const auto& p : plan) {
        const auto entry = ctx.zip.FindEntry(p.entry);
        const std::string target = base::JoinPath(folder, p.targetName);
        changes.push_back(
            {item, target, entry ? entry->uncompressedSize : 0, fileio::IsFile(target)});
    }
    return changes;
}

// A registry item replaces the tree at `key`; the configuration and the accounts only when their
// key is there.
std::vector<PlannedChange> KeyChange(Item item, const std::string& key) {
    if (!registry::KeyExists(key)) return {};
    PlannedChange change;
    change.item = item;
    change.replaces = true;
    return {change};
}

// The folder that a folder item's files go back to (empty: none is named).
std::string FolderOf(const RestoreContext& ctx, Item item) {
    const outlook::UserFolders folders = Folders(ctx);
    switch (item) {
        case Item::Signatures:
            return folders.signatures;
        case Item::Stationery:
            return StationeryFolder(ctx.env);
        case Item::Templates:
            return folders.templates;
        case Item::Preferences:
            return folders.roamingOutlook;
        case Item::Contacts:
            return folders.contacts;
        default:
            return {};
    }
}

// The folder items: the files replace those of the same name; other files stay.
template <Item item>
std::vector<PlannedChange> PlanFolderItem(const RestoreContext& ctx, const std::string&) {
    return FileChanges(ctx, item, PlanSameNames(Entry(ctx, item)), FolderOf(ctx, item));
}

template <Item item>
Status RestoreFolder(const RestoreContext& ctx, const std::string&) {
    const std::string folder = FolderOf(ctx, item);
    if (folder.empty()) return Fail(Failure::NotFound, "No folder is named for the item.");
    return RestoreFolderItem(ctx, item, folder);
}

// The registry items: the recorded tree replaces the tree at the target key, when that key exists.
std::vector<PlannedChange> PlanConfiguration(const RestoreContext& ctx,
                                             const std::string& profile) {
    return KeyChange(Item::Configuration, ProfileKey(ctx, profile));
}

Status RestoreConfiguration(const RestoreContext& ctx, const std::string& profile) {
    if (!IsProfileName(profile)) return NoProfile(profile);
    return ImportEntry(ctx, Item::Configuration, ProfileKey(ctx, profile));
}

std::vector<PlannedChange> PlanAccounts(const RestoreContext& ctx, const std::string& profile) {
    return KeyChange(Item::Accounts, outlook::AccountsKey(ctx.env.ProfilesRoot, profile));
}

Status RestoreAccounts(const RestoreContext& ctx, const std::string& profile) {
    if (!IsProfileName(profile)) return NoProfile(profile);
    return ImportEntry(ctx, Item::Accounts, outlook::AccountsKey(ctx.env.ProfilesRoot, profile));
}

std::vector<PlannedChange> PlanOptions(const RestoreContext& ctx, const std::string&) {
    return {
        {Item::Options, {}, 0, registry::KeyExists(outlook::OptionsKey(ctx.env.OutlookVersion))}};
}

Status RestoreOptions(const RestoreContext& ctx, const std::string&) {
    return ImportEntry(ctx, Item::Options, outlook::OptionsKey(ctx.env.OutlookVersion));
}

// The items tied to the target profile.
std::vector<PlannedChange> PlanRulesItem(const RestoreContext& ctx, const std::string& profile) {
    return FileChanges(ctx, Item::Rules, PlanRules(ctx, profile), Folders(ctx).roamingOutlook);
}

Status RestoreRules(const RestoreContext& ctx, const std::string& profile) {
    if (!IsProfileName(profile)) return NoProfile(profile);
    const std::vector<Planned> plan = PlanRules(ctx, profile);
    if (plan.empty()) return Fail(Failure::Damaged, "The archive names no rules file.");
    return ExtractAllInto(ctx, plan, Folders(ctx).roamingOutlook);
}

std::vector<PlannedChange> PlanAddressBook(const RestoreContext& ctx, const std::string&) {
    return FileChanges(ctx, Item::AddressBook, PlanSameNames(Entry(ctx, Item::AddressBook)),
                       Folders(ctx).localOutlook);
}

Status RestoreAddressBook(const RestoreContext& ctx, const std::string& profile) {
    if (!IsProfileName(profile)) return NoProfile(profile);
    const std::string local = Folders(ctx).localOutlook;
    if (Status put = ExtractAllInto(ctx, PlanSameNames(Entry(ctx, Item::AddressBook)), local); !put)
        return put;
    const std::string profileKey = ProfileKey(ctx, profile);
    const auto sections = registry::EnumSubKeys(profileKey);
    if (sections.names.empty() || sections.failed) return NoSections(profileKey);
    for (const auto& section : sections.names) {
        const std::string key = profileKey + "\\" + section;
        const auto path = registry::GetStringValue(key, outlook::kAddressBookPathValue);
        if (!path) continue;
        if (!registry::SetStringValue(key, outlook::kAddressBookPathValue,
                                      base::JoinPath(local, base::BaseName(*path))))
            return NotWritten(key);
    }
    return Status::Ok();
}

std::vector<PlannedChange> PlanDataFilesItem(const RestoreContext& ctx, const std::string&) {
    return FileChanges(ctx, Item::DataFiles, PlanDataFiles(ctx), Folders(ctx).localOutlook);
}

// One path property of a section made to name `newPath`, from the path it names itself (a
// property that names none is left alone). The ANSI property goes when the new path has no ANSI
// form: Outlook then reads the UTF-16 one.
bool RelinkProperty(const std::string& key, const std::string& value, bool wide,
                    const std::string& newPath) {
    const bool entryId = value == outlook::kDataFilePathValue;
    const auto old = entryId ? (wide ? registry::GetBinaryPath(key, value)
                                     : registry::GetBinaryPathViaFile(key, value))
                             : registry::GetBinaryText(key, value, wide);
    if (!old || old->find('\\') == std::string::npos) return true;
    if (value == outlook::kDataFileAnsiPathValue && !platform::FitsAnsi(newPath))
        return registry::DeleteValue(key, value);
    return registry::ReplaceBinaryPath(key, value, *old, newPath) ==
           registry::PathRewrite::Rewritten;
}

// Every path property of the section and its entry ID name `newPath`.
bool RelinkSection(const std::string& key, const std::string& newPath) {
    const bool entryIdWide = registry::GetBinaryPath(key, outlook::kDataFilePathValue).has_value();
    return RelinkProperty(key, outlook::kDataFilePathValue, entryIdWide, newPath) &&
           RelinkProperty(key, outlook::kDataFileWidePathValue, true, newPath) &&
           RelinkProperty(key, outlook::kDataFileAnsiPathValue, false, newPath);
}

// Every section that names a personal folders file names a file in the local folder afterwards:
// its own restored file, or else one of the same name. A mailbox's offline store is left where
// the profile has it. A path that cannot be rewritten, or a write that fails, leaves a profile
// that still names old places: a failure.
Status RelinkDataFiles(const RestoreContext& ctx, const std::string& profileKey,
                       const std::vector<Planned>& plan) {
    const auto sections = registry::EnumSubKeys(profileKey);
    if (sections.names.empty() || sections.failed) return NoSections(profileKey);
    const backup_format::DataFileStores stores =
        backup_format::SplitDataFileStores(ctx.dataFileStores);
    const std::string& local = Folders(ctx).localOutlook;
    for (const auto& section : sections.names) {
        const std::string key = profileKey + "\\" + section;
        if (outlook::OfflineStorePath(key)) continue;
        const auto read = outlook::PersonalFoldersPath(key);
        if (!read) continue;
        std::string newName = base::BaseName(*read);
        for (const auto& [recorded, position] : stores)
            if (recorded == section && position < plan.size()) newName = plan[position].targetName;
        if (!RelinkSection(key, base::JoinPath(local, newName))) return NotWritten(key);
    }
    return Status::Ok();
}

// What ties the profile to the data files' old places and accounts goes.
Status ForgetOldStores(const RestoreContext& ctx, const std::string& profile) {
    const std::string storeSection = ProfileKey(ctx, profile) + "\\" + outlook::kStoreSection;
    for (const char* value : outlook::kStoreIdentifierValues)
        if (!registry::DeleteValue(storeSection, value)) return NotWritten(storeSection);
    for (const char* value : outlook::kDeliveryValues)
        for (unsigned i = 0; i < outlook::kClearedAccounts; ++i) {
            const std::string account = outlook::AccountKey(ctx.env.ProfilesRoot, profile, i);
            if (!registry::DeleteValue(account, value)) return NotWritten(account);
        }
    const std::string favName = profile + ".FAV";
    if (!archive::IsPlainFileName(favName)) return Status::Ok();
    const std::string fav = base::JoinPath(Folders(ctx).applicationData + "\\Outlook", favName);
    if (!ctx.journal)
        fileio::RemoveFile(fav);
    else if (fileio::IsFile(fav) && ctx.journal->SetAside(fav).empty())
        return Fail(Failure::Busy, fav + " could not be set aside.");
    return Status::Ok();
}

// The data files, then the profile re-linked to them in the local Outlook folder. A data file that
// cannot be put in place (Outlook holds it) leaves the profile linked to the files it has.
Status RestoreDataFiles(const RestoreContext& ctx, const std::string& profile) {
    if (!IsProfileName(profile)) return NoProfile(profile);
    const std::vector<Planned> plan = PlanDataFiles(ctx);
    if (Status put = ExtractAllInto(ctx, plan, Folders(ctx).localOutlook); !put) return put;
    if (Status linked = RelinkDataFiles(ctx, ProfileKey(ctx, profile), plan); !linked)
        return linked;
    return ForgetOldStores(ctx, profile);
}

}  // namespace

const std::array<ItemRestore, backup_format::kItemCount>& ItemRestores() {
    static const std::array<ItemRestore, backup_format::kItemCount> rows = {{
        {Item::Configuration, PlanConfiguration, RestoreConfiguration},
        {Item::DataFiles, PlanDataFilesItem, RestoreDataFiles},
        {Item::Rules, PlanRulesItem, RestoreRules},
        {Item::Accounts, PlanAccounts, RestoreAccounts},
        {Item::Signatures, PlanFolderItem<Item::Signatures>, RestoreFolder<Item::Signatures>},
        {Item::Stationery, PlanFolderItem<Item::Stationery>, RestoreFolder<Item::Stationery>},
        {Item::AddressBook, PlanAddressBook, RestoreAddressBook},
        {Item::Options, PlanOptions, RestoreOptions},
        {Item::Templates, PlanFolderItem<Item::Templates>, RestoreFolder<Item::Templates>},
        {Item::Preferences, PlanFolderItem<Item::Preferences>, RestoreFolder<Item::Preferences>},
        {Item::Contacts, PlanFolderItem<Item::Contacts>, RestoreFolder<Item::Contacts>},
    }};
    return rows;
}

std::vector<PlannedChange> PlanItem(Item item, const RestoreContext& ctx,
                                    const std::string& profile) {
    return ItemRestores()[backup_format::IndexOf(item)].plan(ctx, profile);
}

Status RestoreItem(Item item, const RestoreContext& ctx, const std::string& profile) {
    return ItemRestores()[backup_format::IndexOf(item)].restore(ctx, profile);
}

}  // namespace kestrine::restore
