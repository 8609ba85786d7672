#include "backup/handlers.h"

#include <optional>

#include "backup_format/manifest.h"
#include "base/own_files.h"
#include "base/path.h"
#include "base/text.h"
#include "outlook/locations.h"
#include "outlook/profile_data.h"
#include "outlook/stores.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "registry/registry.h"

namespace kestrine::backup {
namespace {

using backup_format::Item;

// Registry item: the key tree goes into a fresh export file whose name is the entry's name.
ItemPlan BackupRegistryItem(const HandlerContext& ctx, const std::string& keyPath,
                            const char* prefix) {
    ItemPlan plan;
    if (!registry::KeyExists(keyPath)) return plan;
    std::string file;
    if (!platform::fileio::CreateTempFile(ctx.tempFolder, prefix, file)) return plan;
    ctx.tempFiles.push_back(file);
    std::string written;
    if (!registry::ExportKey(keyPath, file, &written)) return plan;
    plan.staged = archive::StagedContentOf(written);
    plan.found = true;
    plan.files = {file};
    plan.manifestValue = base::BaseName(file);
    return plan;
}

// Profile-scan item: every section of the profile that names an existing file adds that file. A
// file that several sections name goes in once; the record says which sections named which file,
// so that files of the same name from different folders each find their own sections again.
template <typename ReadPath>
ItemPlan BackupProfileFiles(const HandlerContext& ctx, bool distinctNames, ReadPath readPath) {
    ItemPlan plan;
    const std::string profileKey = outlook::ProfileKey(ctx.job.profilesRoot, ctx.job.profile);
    auto sections = registry::EnumSubKeys(profileKey);
    if (sections.failed) return plan;
    std::vector<std::string> names;
    backup_format::DataFileStores stores;
    for (const auto& section : sections.names) {
        const std::optional<std::string> read = readPath(profileKey + "\\" + section);
        if (!read || read->empty()) continue;
        const std::string& path = *read;
        if (!platform::fileio::NormalFileExists(path))
            continue;  // listed but gone: skipped silently
        size_t position = 0;
        while (position < plan.files.size() && !base::EqualsNoCase(plan.files[position], path))
            ++position;
        if (position == plan.files.size()) {
            plan.files.push_back(path);
            names.push_back(base::BaseName(path));
        }
        stores.emplace_back(section, position);
    }
    plan.found = !names.empty();
    if (distinctNames) {
        std::vector<std::string> entries = backup_format::DistinctEntryNames(names);
        if (entries != names) plan.entryNames = entries;
        names = std::move(entries);
    }
    plan.manifestValue = backup_format::JoinStagingList(names);
    plan.dataFileStores = backup_format::JoinDataFileStores(stores);
    return plan;
}

// Folder item: every file directly in the folder; subfolders are not visited, and Kestrine's own
// files (an undo's set-aside and kept files, a restore's temporaries) are no user data.
ItemPlan BackupFolder(const std::string& folder) {
    ItemPlan plan;
    if (folder.empty()) return plan;
    std::vector<std::string> names;
    for (const auto& name :
         platform::fileio::ListFileNames(folder, platform::fileio::Listing::Visible)) {
        if (name.empty() || base::IsOwnFileName(name)) continue;
        plan.files.push_back(base::JoinPath(folder, name));
        names.push_back(name);
    }
    plan.found = !names.empty();
    plan.manifestValue = backup_format::JoinStagingList(names);
    return plan;
}

ItemPlan PlanConfiguration(const HandlerContext& ctx) {
    return BackupRegistryItem(ctx, outlook::ProfileKey(ctx.job.profilesRoot, ctx.job.profile),
                              "OBC");
}

ItemPlan PlanDataFiles(const HandlerContext& ctx) {
    // Each data file is linked back to its own sections on restore, so namesakes need entries of
    // their own.
    // Only personal folders files: an offline store (an Exchange, Microsoft 365 or IMAP account's
    // .ost) works only in the profile and on the computer that made it, and the server holds the
    // mail.
    return BackupProfileFiles(ctx, true, [](const std::string& key) -> std::optional<std::string> {
        if (outlook::OfflineStorePath(key)) return std::nullopt;
        auto path = outlook::PersonalFoldersPath(key);
        if (path && outlook::IsOfflineStoreFile(*path)) return std::nullopt;
        return path;
    });
}

ItemPlan PlanRules(const HandlerContext& ctx) {
    ItemPlan plan;
    const std::string name = ctx.job.profile + ".RWZ";
    const std::string& folder = ctx.job.locations.RulesDir;
    const std::string path = base::JoinPath(folder, name);
    if (folder.empty() || !platform::fileio::NormalFileExists(path)) return plan;
    plan.found = true;
    plan.files = {path};
    plan.manifestValue = backup_format::JoinStagingList({name});
    return plan;
}

ItemPlan PlanAccounts(const HandlerContext& ctx) {
    return BackupRegistryItem(ctx, ctx.job.locations.AccountsKey, "OBA");
}

ItemPlan PlanSignatures(const HandlerContext& ctx) {
    return BackupFolder(ctx.job.locations.SignaturesDir);
}

ItemPlan PlanStationery(const HandlerContext& ctx) {
    return BackupFolder(ctx.job.locations.StationeryDir);
}

ItemPlan PlanAddressBook(const HandlerContext& ctx) {
    return BackupProfileFiles(ctx, false, [](const std::string& key) {
        const auto path = registry::GetStringValue(key, outlook::kAddressBookPathValue);
        return path ? std::optional(outlook::NormalizePabPath(*path)) : std::nullopt;
    });
}

ItemPlan PlanOptions(const HandlerContext& ctx) {
    return BackupRegistryItem(ctx, ctx.job.locations.OptionsKey, "OBC");
}

ItemPlan PlanTemplates(const HandlerContext& ctx) {
    return BackupFolder(ctx.job.locations.TemplatesDir);
}

ItemPlan PlanPreferences(const HandlerContext& ctx) {
    return BackupFolder(ctx.job.locations.PreferencesDir);
}

ItemPlan PlanContacts(const HandlerContext& ctx) {
    return BackupFolder(ctx.job.locations.ContactsDir);
}

}  // namespace

const std::array<ItemBackup, backup_format::kItemCount>& ItemBackups() {
    static const std::array<ItemBackup, backup_format::kItemCount> rows = {{
        {Item::Configuration, PlanConfiguration},
        {Item::DataFiles, PlanDataFiles},
        {Item::Rules, PlanRules},
        {Item::Accounts, PlanAccounts},
        {Item::Signatures, PlanSignatures},
        {Item::Stationery, PlanStationery},
        {Item::AddressBook, PlanAddressBook},
        {Item::Options, PlanOptions},
        {Item::Templates, PlanTemplates},
        {Item::Preferences, PlanPreferences},
        {Item::Contacts, PlanContacts},
    }};
    return rows;
}

ItemPlan PlanItem(Item item, const HandlerContext& ctx) {
    return ItemBackups()[backup_format::IndexOf(item)].plan(ctx);
}

}  // namespace kestrine::backup
