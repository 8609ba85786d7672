#include "restore/restore_handlers.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "archive/manifest.h"
#include "base/path.h"
#include "base/text.h"
#include "outlook/detection.h"
#include "outlook/locations.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "registry/registry.h"
#include "restore/file_replace.h"

namespace fileio = kestrine::platform::fileio;

namespace kestrine::restore {

namespace {

// A profile name names a key below the profiles root and, for some items, a file.
bool IsProfileName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string ProfileKey(const RestoreContext& ctx, const std::string& strIdentity) {
    return ctx.state.ProfilesRoot + "\\" + strIdentity;
}

const std::string& Entry(const RestoreContext& ctx, Item item) {
    return ctx.state.ItemEntries[archive::IndexOf(item)];
}

struct Planned {
    std::string entry;       // name in the archive
    std::string targetName;  // file name in the folder
};

// Extracts every planned entry into a checked temporary beside its target in `folder`, then puts
// them all in place together. False, with nothing in the folder replaced, when a name is not a
// plain file name, the archive lacks an entry, an entry does not extract whole, or a target is held
// open.
bool ExtractAllInto(archive::ZipComponent& zip, const std::vector<Planned>& plan,
                    const std::string& folder) {
    if (!fileio::IsDirectory(folder)) return false;
    std::vector<StagedFile> staged;
    for (const auto& p : plan) {
        const auto entry =
            archive::IsPlainFileName(p.entry) ? zip.FindEntry(p.entry) : std::nullopt;
        if (!entry || !archive::IsPlainFileName(p.targetName)) {
            DiscardStaged(staged);
            return false;
        }
        const std::string target = base::JoinPath(folder, p.targetName);
        StagedFile file{UnusedSibling(target, "new"), target};
        if (!zip.ExtractToFile(*entry, file.temporary)) {
            fileio::RemoveFile(file.temporary);
            DiscardStaged(staged);
            return false;
        }
        staged.push_back(std::move(file));
    }
    return ReplaceFilesTogether(staged);
}

std::vector<Planned> PlanSameNames(const std::string& stagingList) {
    std::vector<Planned> plan;
    for (const auto& name : archive::SplitStagingList(base::CutAtNul(stagingList)))
        plan.push_back({name, name});
    return plan;
}

// The export file goes to a fresh temporary of its own, so that no entry name can overwrite a file
// of the application folder; ImportKey checks it whole before it replaces the tree.
bool ImportEntry(const RestoreContext& ctx, const std::string& entryValue,
                 const std::string& targetKey) {
    if (!registry::KeyExists(targetKey)) return true;
    const std::string name = base::TrimSpaces(base::CutAtNul(entryValue));
    if (!archive::IsPlainFileName(name)) return false;
    const auto entry = ctx.zip.FindEntry(name);
    if (!entry) return false;
    const std::string temp = sGetTempFile("OBR");
    if (temp.empty()) return false;
    const bool ok = ctx.zip.ExtractToFile(*entry, temp) && registry::ImportKey(targetKey, temp);
    fileio::RemoveFile(temp);
    return ok;
}

bool RestoreFolderItem(const RestoreContext& ctx, Item item, const std::string& folder) {
    // A missing folder is made, one level only.
    if (!platform::MakeFolder(folder)) return false;
    return ExtractAllInto(ctx.zip, PlanSameNames(Entry(ctx, item)), folder);
}

Folders UserFolders(const RestoreContext& ctx) {
    return FoldersFor(ctx.state.UserProfileDir, ctx.state.OSVersion);
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

bool RestoreConfig(const RestoreContext& ctx, const std::string& strIdentity) {
    return Guarded([&] {
        if (!IsProfileName(strIdentity)) return false;
        return ImportEntry(ctx, Entry(ctx, Item::Config), ProfileKey(ctx, strIdentity));
    });
}

bool RestoreAccounts(const RestoreContext& ctx, const std::string& strIdentity) {
    return Guarded([&] {
        if (!IsProfileName(strIdentity)) return false;
        return ImportEntry(ctx, Entry(ctx, Item::Accounts),
                           ProfileKey(ctx, strIdentity) + "\\" + kAccountsSubkey);
    });
}

bool RestoreConfigsetting(const RestoreContext& ctx) {
    return Guarded([&] {
        const std::string key = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" +
                                ctx.state.OutlookVersion + "\\Outlook\\Options";
        return ImportEntry(ctx, Entry(ctx, Item::Configsetting), key);
    });
}

bool RestoreSignatures(const RestoreContext& ctx) {
    return Guarded(
        [&] { return RestoreFolderItem(ctx, Item::Signatures, UserFolders(ctx).signatures); });
}

bool RestoreStationery(const RestoreContext& ctx) {
    return Guarded([&] {
        std::string shared;
        if (outlook::StationeryIsShared(ctx.state.OutlookVersion)) {
            shared =
                registry::GetStringValue(outlook::kSharedToolsKey, outlook::kSharedFilesDirValue);
        }
        const std::string folder =
            StationeryFolder(UserFolders(ctx), ctx.state.OutlookVersion, shared);
        if (folder.empty()) return false;
        return RestoreFolderItem(ctx, Item::Stationery, folder);
    });
}

bool RestoreTemplates(const RestoreContext& ctx) {
    return Guarded(
        [&] { return RestoreFolderItem(ctx, Item::Templates, UserFolders(ctx).templates); });
}

bool RestoreSetting(const RestoreContext& ctx) {
    return Guarded(
        [&] { return RestoreFolderItem(ctx, Item::Setting, UserFolders(ctx).roamingOutlook); });
}

bool RestoreContacts(const RestoreContext& ctx) {
    return Guarded(
        [&] { return RestoreFolderItem(ctx, Item::Contacts, UserFolders(ctx).contacts); });
}

bool RestoreRules(const RestoreContext& ctx, const std::string& strIdentity) {
    return Guarded([&] {
        if (!IsProfileName(strIdentity)) return false;
        const std::string value = base::CutAtNul(Entry(ctx, Item::Rules));
        const std::string ownName = strIdentity + ".RWZ";
        // The rules file is named after the profile it belongs to. It goes straight to the target
        // profile's name; a rules file of the source profile that lies here is not touched.
        bool found = false;
        std::vector<Planned> plan;
        for (const auto& name : archive::SplitStagingList(value)) {
            if (!found && base::EqualsNoCase(name, value)) {
                found = true;
                plan.push_back({name, base::EqualsNoCase(value, ownName) ? name : ownName});
            } else {
                plan.push_back({name, name});
            }
        }
        return ExtractAllInto(ctx.zip, plan, UserFolders(ctx).roamingOutlook) && found;
    });
}

bool RestorePab(const RestoreContext& ctx, const std::string& strIdentity) {
    return Guarded([&] {
        if (!IsProfileName(strIdentity)) return false;
        const std::string local = UserFolders(ctx).localOutlook;
        if (!ExtractAllInto(ctx.zip, PlanSameNames(Entry(ctx, Item::Pab)), local)) return false;
        const std::string profileKey = ProfileKey(ctx, strIdentity);
        const auto subkeys = registry::EnumSubKeys(profileKey);
        if (subkeys.names.empty() || subkeys.failed) return false;
        for (const auto& sub : subkeys.names) {
            const std::string key = profileKey + "\\" + sub;
            const std::string path = registry::GetStringValue(key, "001e6600");
            if (path == registry::kError) continue;
            if (!registry::SetStringValue(key, "001e6600",
                                          base::JoinPath(local, base::BaseName(path))))
                return false;
        }
        return true;
    });
}

bool RestoreDatas(const RestoreContext& ctx, const std::string& strIdentity) {
    return Guarded([&] {
        if (!IsProfileName(strIdentity)) return false;
        const Folders folders = UserFolders(ctx);
        const std::string& local = folders.localOutlook;
        // A data file that cannot be put in place (Outlook holds it) leaves the profile linked to
        // the files it has.
        if (!ExtractAllInto(ctx.zip, PlanSameNames(Entry(ctx, Item::Datas)), local)) return false;

        const std::string profileKey = ProfileKey(ctx, strIdentity);
        const auto subkeys = registry::EnumSubKeys(profileKey);
        if (subkeys.names.empty() || subkeys.failed) return false;
        const std::string fav = base::JoinPath(folders.favFolder, strIdentity + ".FAV");

        for (const auto& sub : subkeys.names) {
            const std::string key = profileKey + "\\" + sub;
            std::string oldPath = registry::GetBinaryPath(key, "01020fff");
            if (oldPath == registry::kError)
                oldPath = registry::GetBinaryPathViaFile(key, "01020fff");
            if (oldPath == registry::kError) continue;
            const std::string newPath = base::JoinPath(local, base::BaseName(oldPath));
            // A profile that still names the old places is left when a write fails: the item fails.
            if (!registry::DeleteValue(key, "001e6700") ||
                !registry::ReplaceBinaryPath(key, "01020fff", oldPath, newPath) ||
                !registry::ReplaceBinaryPath(key, "001f6700", oldPath, newPath))
                return false;
        }

        const std::string section = profileKey + "\\" + kStoreSection;
        if (!registry::DeleteValue(section, "1102039b") ||
            !registry::DeleteValue(section, "001e023d"))
            return false;
        char account[9];
        for (const char* valueName : {"Delivery Store EntryID", "Delivery Folder EntryID"}) {
            for (unsigned i = 0; i < 16; ++i) {
                std::snprintf(account, sizeof account, "%08x", i);
                if (!registry::DeleteValue(profileKey + "\\" + kAccountsSubkey + "\\" + account,
                                           valueName))
                    return false;
            }
        }
        if (archive::IsPlainFileName(strIdentity + ".FAV")) fileio::RemoveFile(fav);
        return true;
    });
}

bool RunRestoreHandler(Item item, const RestoreContext& ctx, const std::string& target) {
    switch (item) {
        case Item::Config:
            return RestoreConfig(ctx, target);
        case Item::Rules:
            return RestoreRules(ctx, target);
        case Item::Accounts:
            return RestoreAccounts(ctx, target);
        case Item::Signatures:
            return RestoreSignatures(ctx);
        case Item::Stationery:
            return RestoreStationery(ctx);
        case Item::Pab:
            return RestorePab(ctx, target);
        case Item::Configsetting:
            return RestoreConfigsetting(ctx);
        case Item::Templates:
            return RestoreTemplates(ctx);
        case Item::Setting:
            return RestoreSetting(ctx);
        case Item::Contacts:
            return RestoreContacts(ctx);
        case Item::Datas:
            return RestoreDatas(ctx, target);
    }
    return false;
}

}  // namespace kestrine::restore
