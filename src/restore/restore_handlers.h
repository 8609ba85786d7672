#pragma once
// The item restore handlers: each puts one item of the open backup archive back into the user's
// Outlook environment and reports success. None shows a message; none throws.
//
// Files are extracted complete and checked into temporaries beside their targets, and the targets
// are replaced only when every file of the item is ready; registry export files are checked whole
// before a key tree is replaced. A handler that fails has not touched what it had not yet replaced.
#include <string>

#include "app/app_state.h"
#include "archive/zip_component.h"
#include "restore/restore_rules.h"

namespace kestrine::restore {

struct RestoreContext {
    const AppState& state;       // ItemEntries, ProfilesRoot, UserProfileDir, OSVersion, ...
    archive::ZipComponent& zip;  // holds the open backup archive
};

// Registry items: the recorded tree replaces the tree at the target key, when that key exists.
bool RestoreConfig(const RestoreContext& ctx, const std::string& strIdentity);
bool RestoreAccounts(const RestoreContext& ctx, const std::string& strIdentity);
bool RestoreConfigsetting(const RestoreContext& ctx);

// Folder items: the files replace those of the same name; other files stay.
bool RestoreSignatures(const RestoreContext& ctx);
bool RestoreStationery(const RestoreContext& ctx);
bool RestoreTemplates(const RestoreContext& ctx);
bool RestoreSetting(const RestoreContext& ctx);
bool RestoreContacts(const RestoreContext& ctx);

// Items tied to the target profile.
bool RestoreRules(const RestoreContext& ctx, const std::string& strIdentity);
bool RestorePab(const RestoreContext& ctx, const std::string& strIdentity);
// The data files, then the profile re-linked to them in the local Outlook folder. The profile is
// re-linked only when every data file was put in place.
bool RestoreDatas(const RestoreContext& ctx, const std::string& strIdentity);

bool RunRestoreHandler(Item item, const RestoreContext& ctx, const std::string& target);

// Profile key subkeys whose delivery identifiers a restore clears.
inline constexpr const char* kAccountsSubkey = "9375CFF0413111d3B88A00104B2A6676";
inline constexpr const char* kStoreSection = "0a0d020000000000c000000000000046";

}  // namespace kestrine::restore
