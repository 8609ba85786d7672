#pragma once
// The stores of a profile: which of its sections name a data file, what kind of store each is,
// and whether its file is there. Read from the registry and the disk; nothing is changed.
//
// A section of the personal folders provider names its file in the path property (PidTagPstPath,
// 0x6700: "001f6700" as UTF-16, "001e6700" as ANSI text) and inside its store entry ID
// (PidTagEntryId, "01020fff"). Outlook 2013 and later keep an IMAP account's mail in such a store
// too, whose file is an .ost. The section of an Exchange or Microsoft 365 mailbox names its offline
// store in the profile's offline-store path (PR_PROFILE_OFFLINE_STORE_PATH, 0x6610: "001f6610",
// "001e6610"). Outlook keeps every property as a binary value, text ones ended by a NUL.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/environment.h"

namespace kestrine::outlook {

inline constexpr const char* kOfflineStoreWidePathValue = "001f6610";
inline constexpr const char* kOfflineStoreAnsiPathValue = "001e6610";

enum class StoreKind {
    PersonalFolders,  // a .pst: the mail is in this file only
    OfflineStore,     // an Exchange or Microsoft 365 mailbox's .ost: the server holds the mail
    ImapDataFile,     // an IMAP account's .ost (Outlook 2013 and later): the server holds the mail
};

struct ProfileStore {
    std::string section;  // the profile's subkey
    StoreKind kind = StoreKind::PersonalFolders;
    std::string path;      // the file the section names
    bool missing = false;  // no such file
    // The file's name without its extension: Outlook names a server account's offline store after
    // the account ("sam@contoso.com.ost").
    std::string account;
};

// The file a personal folders section names: the UTF-16 path property, then the ANSI one, then
// the path inside its entry ID (as UTF-16, then as ANSI text). Nothing for any other section.
std::optional<std::string> PersonalFoldersPath(const std::string& sectionKey);
// The offline store a mailbox section names: the UTF-16 property, then the ANSI one.
std::optional<std::string> OfflineStorePath(const std::string& sectionKey);

// Every section of the profile key that names a store, in the registry's order. A section with an
// offline-store path is a mailbox's, whatever its entry ID holds.
std::vector<ProfileStore> ReadProfileStores(const std::string& profileKey);

// A section names a personal folders file (there or not).
bool HasPersonalFolders(const std::vector<ProfileStore>& stores);
// The profile keeps its mail on a server only: stores, but no personal folders file among them.
bool MailOnServerOnly(const std::vector<ProfileStore>& stores);

// A .pst file in one of Outlook's usual folders that no section of the profile names.
struct LooseDataFile {
    std::string path;
    uint64_t size = 0;
};
// Outlook's usual folders for data files: the local Outlook folder and "Outlook Files" in the
// user's documents (where Outlook 2010 and later make new ones).
std::vector<std::string> UsualDataFileFolders(const Environment& env);
std::vector<LooseDataFile> UnattachedDataFiles(const std::vector<std::string>& folders,
                                               const std::vector<ProfileStore>& stores);
// An offline store's file (".ost", any case): never backed up, since it works only in the profile
// and on the computer that made it, and the server holds its mail.
bool IsOfflineStoreFile(std::string_view path);

}  // namespace kestrine::outlook
