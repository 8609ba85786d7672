#include "backup/handlers.h"

#include <vector>

#include "app/settings.h"
#include "archive/manifest.h"
#include "base/path.h"
#include "outlook/locations.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "registry/registry.h"

namespace kestrine::backup {
namespace {

bool SaveManifestLine(const HandlerContext& ctx, const std::string& key, const std::string& value) {
    return SaveINI(key, value, ctx.state.ManifestPath);
}

// Registry item: the key tree goes into a fresh export file whose name is the entry's name.
bool BackupRegistryItem(HandlerContext& ctx, const std::string& keyPath, const char* prefix,
                        std::string& slot, const char* manifestKey) {
    if (!registry::KeyExists(keyPath)) return false;
    std::string file = sGetTempFile(prefix);
    if (file.empty()) return false;
    // A slot left from an earlier call of this run must not leak its file.
    if (!slot.empty() && slot != file) platform::fileio::RemoveFile(slot);
    slot = file;
    if (!registry::ExportKey(keyPath, file)) return false;
    if (!ctx.zip.AddFile(file)) return false;
    return SaveManifestLine(ctx, manifestKey, base::BaseName(file));
}

// Profile-scan item: every subkey of the profile that names an existing file adds that file.
template <typename ReadPath>
bool BackupProfileFiles(HandlerContext& ctx, const std::string& strIdentity,
                        const char* manifestKey, ReadPath readPath) {
    std::string profileKey = outlook::ProfileKey(ctx.state.ProfilesRoot, strIdentity);
    auto subkeys = registry::EnumSubKeys(profileKey);
    if (subkeys.failed || subkeys.names.empty()) return false;
    std::vector<std::string> names;
    for (const auto& sub : subkeys.names) {
        std::string path = readPath(profileKey + "\\" + sub);
        if (path == registry::kError || path.empty()) continue;
        if (!platform::NormalFileExists(path)) continue;  // listed but gone: skipped silently
        // A file that cannot be read whole (Outlook holding it) fails the item.
        if (!ctx.zip.AddFile(path)) return false;
        names.push_back(base::BaseName(path));
    }
    if (names.empty()) return false;
    return SaveManifestLine(ctx, manifestKey, archive::JoinStagingList(names));
}

// Folder item: every file directly in the folder; subfolders are not visited.
bool BackupFolder(HandlerContext& ctx, const std::string& folder, const char* manifestKey) {
    if (folder.empty() || !platform::fileio::IsDirectory(folder)) return false;
    std::vector<std::string> names;
    for (const auto& name : platform::ListFiles(folder)) {
        if (name.empty()) continue;
        if (!ctx.zip.AddFile(folder + "\\" + name)) return false;
        names.push_back(name);
    }
    if (names.empty()) return false;
    return SaveManifestLine(ctx, manifestKey, archive::JoinStagingList(names));
}

}  // namespace

void DeleteTempExports(TempExports& temps) {
    for (std::string* slot : {&temps.config, &temps.accounts, &temps.options}) {
        if (!slot->empty()) platform::fileio::RemoveFile(*slot);
        slot->clear();
    }
}

bool BackupConfig(HandlerContext& ctx, const std::string& strIdentity) {
    return BackupRegistryItem(ctx, outlook::ProfileKey(ctx.state.ProfilesRoot, strIdentity), "OBC",
                              ctx.temps.config, archive::ManifestKey(Item::Config));
}

bool BackupDatas(HandlerContext& ctx, const std::string& strIdentity) {
    return BackupProfileFiles(ctx, strIdentity, archive::ManifestKey(Item::Datas),
                              [](const std::string& key) {
                                  std::string path = registry::GetBinaryPath(key, "01020fff");
                                  if (path == registry::kError)
                                      path = registry::GetBinaryPathViaFile(key, "01020fff");
                                  return path;
                              });
}

bool BackupRules(HandlerContext& ctx, const std::string& strIdentity) {
    std::string name = strIdentity + ".RWZ";
    std::string path = ctx.state.RulesDir + "\\" + name;
    if (ctx.state.RulesDir.empty() || !platform::NormalFileExists(path)) return false;
    if (!ctx.zip.AddFile(path)) return false;
    return SaveManifestLine(ctx, archive::ManifestKey(Item::Rules), name);
}

bool BackupAccounts(HandlerContext& ctx, const std::string& /*strIdentity*/) {
    return BackupRegistryItem(ctx, ctx.state.AccountsKey, "OBA", ctx.temps.accounts,
                              archive::ManifestKey(Item::Accounts));
}

bool BackupSignatures(HandlerContext& ctx) {
    return BackupFolder(ctx, ctx.state.SignaturesDir, archive::ManifestKey(Item::Signatures));
}

bool BackupStationery(HandlerContext& ctx) {
    return BackupFolder(ctx, ctx.state.StationeryDir, archive::ManifestKey(Item::Stationery));
}

bool BackupPab(HandlerContext& ctx, const std::string& strIdentity) {
    return BackupProfileFiles(
        ctx, strIdentity, archive::ManifestKey(Item::Pab), [](const std::string& key) {
            std::string path = registry::GetStringValue(key, outlook::kPabPathValue);
            if (path == registry::kError) return path;
            return outlook::NormalizePabPath(path);
        });
}

bool BackupConfigsetting(HandlerContext& ctx) {
    return BackupRegistryItem(ctx, ctx.state.OptionsKey, "OBC", ctx.temps.options,
                              archive::ManifestKey(Item::Configsetting));
}

bool BackupTemplates(HandlerContext& ctx) {
    return BackupFolder(ctx, ctx.state.TemplatesDir, archive::ManifestKey(Item::Templates));
}

bool BackupSetting(HandlerContext& ctx) {
    return BackupFolder(ctx, ctx.state.PreferencesDir, archive::ManifestKey(Item::Setting));
}

bool BackupContacts(HandlerContext& ctx) {
    return BackupFolder(ctx, ctx.state.ContactsDir, archive::ManifestKey(Item::Contacts));
}

bool RunItemHandler(Item item, HandlerContext& ctx, const std::string& profile) {
    switch (item) {
        case Item::Config:
            return BackupConfig(ctx, profile);
        case Item::Datas:
            return BackupDatas(ctx, profile);
        case Item::Rules:
            return BackupRules(ctx, profile);
        case Item::Accounts:
            return BackupAccounts(ctx, profile);
        case Item::Signatures:
            return BackupSignatures(ctx);
        case Item::Stationery:
            return BackupStationery(ctx);
        case Item::Pab:
            return BackupPab(ctx, profile);
        case Item::Configsetting:
            return BackupConfigsetting(ctx);
        case Item::Templates:
            return BackupTemplates(ctx);
        case Item::Setting:
            return BackupSetting(ctx);
        case Item::Contacts:
            return BackupContacts(ctx);
    }
    return false;
}

}  // namespace kestrine::backup
