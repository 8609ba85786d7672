#pragma once
// What a backup holds and what it cannot hold, said plainly: the data files it includes with their
// sizes, the accounts whose mail stays on the server, the .pst files lying in Outlook's usual
// folders that the profile does not use (not included), the data files the profile names that are
// missing, and that account passwords never travel. The backup's completion message, its log and
// its manifest (key BackupContents, which earlier versions never ask for) carry it; the Restore
// page shows it for an opened backup that has it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::backup_format {

inline constexpr const char* kKeyContents = "BackupContents";

struct ContentsFile {
    std::string name;  // the file's name (a missing file's full path)
    uint64_t size = 0;
    bool operator==(const ContentsFile&) const = default;
};

struct BackupContents {
    std::vector<ContentsFile> dataFiles;      // included
    std::vector<std::string> serverAccounts;  // their mail stays on the server: not included
    std::vector<ContentsFile> unattached;     // .pst files the profile does not use: not included
    std::vector<ContentsFile> missing;        // named by the profile, not on disk
    bool operator==(const BackupContents&) const = default;
};

// One line, records joined by ";": "D<size>:<name>", "S:<account>", "U<size>:<name>",
// "M:<path>", a "%", ";" or control character of a name written as "%XX".
std::string EncodeContents(const BackupContents& contents);
// A backup's list is never longer: a value with more records is taken as malformed.
inline constexpr size_t kMaxContentsRecords = 4096;

// Nothing for an empty value (an archive made before the record) or a malformed one: a record
// of no known kind, a size that is no number, a name that is empty, cut off in an escape or no
// well-formed UTF-8, or more than kMaxContentsRecords records.
std::optional<BackupContents> DecodeContents(std::string_view value);

// The lines a user reads, the password note last. A control character or a mark that turns the
// text's direction in a name is shown as U+FFFD, so that each name stays on its line as it is.
std::vector<std::string> DescribeContents(const BackupContents& contents);
// "12.3 MB", "840 KB", "12 bytes".
std::string SizeText(uint64_t bytes);

inline constexpr const char* kPasswordsNote =
    "Account passwords are not in the backup: after a restore on another computer, Outlook asks "
    "for each account's password.";

}  // namespace kestrine::backup_format
