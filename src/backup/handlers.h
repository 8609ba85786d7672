#pragma once
// The eleven item backup handlers. Each finds its item's data for the profile, adds every file that
// holds it to the archive under construction and, as its last step, appends the item's manifest
// line. A handler returns true only when all of that worked; at the first fault it returns false
// and writes no manifest line (entries it had already added stay unlisted, so no restore sees
// them).
#include <string>

#include "app/app_state.h"
#include "archive/zip_component.h"
#include "backup/backup_steps.h"

namespace kestrine::backup {

// The registry export files of the current run, one slot per registry item. The run deletes them
// after the archive is written, and also when the run fails.
struct TempExports {
    std::string config;    // prefix "OBC"
    std::string accounts;  // prefix "OBA"
    std::string options;   // prefix "OBC"
};
// Deletes the files of the slots and empties them.
void DeleteTempExports(TempExports& temps);

struct HandlerContext {
    const AppState& state;
    archive::ZipComponent& zip;
    TempExports& temps;
};

bool BackupConfig(HandlerContext& ctx, const std::string& strIdentity);
bool BackupDatas(HandlerContext& ctx, const std::string& strIdentity);
bool BackupRules(HandlerContext& ctx, const std::string& strIdentity);
bool BackupAccounts(HandlerContext& ctx, const std::string& strIdentity);
bool BackupSignatures(HandlerContext& ctx);
bool BackupStationery(HandlerContext& ctx);
bool BackupPab(HandlerContext& ctx, const std::string& strIdentity);
bool BackupConfigsetting(HandlerContext& ctx);
bool BackupTemplates(HandlerContext& ctx);
bool BackupSetting(HandlerContext& ctx);
bool BackupContacts(HandlerContext& ctx);

// The handler of one archive item, with the profile for those that take it.
bool RunItemHandler(Item item, HandlerContext& ctx, const std::string& profile);

}  // namespace kestrine::backup
