#pragma once
// The manifest kestrine.dat: the archive's last entry, saying where the backup came from, which
// items it holds and under which entry names. One Key=Value line each, CR LF. The file is ANSI
// text when every text of it has an ANSI form, so that earlier versions read it as they always
// did; otherwise it is UTF-8, marked by a byte-order mark that stands alone on the first line (a
// line without "=", which every reader skips).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup_format/items.h"

namespace kestrine::backup_format {

inline constexpr const char* kManifestName = "kestrine.dat";

// Header keys, lines 1..6, and the item flag string's key, written last.
inline constexpr const char* kKeyComputer = "BackupComputer";
inline constexpr const char* kKeyLogonUser = "BackupLogonUser";
inline constexpr const char* kKeyIdentity = "BackupIdentity";
inline constexpr const char* kKeyTime = "BackupTime";
inline constexpr const char* kKeyOutlookVersion = "Outlookversion";
inline constexpr const char* kKeyInformation = "BackupInformation";
inline constexpr const char* kKeyItemFlags = "BackupItem";

// Line breaks of the note travel as this token.
inline constexpr const char* kNoteBreakToken = "PS$KST";

// Which profile section each data file came from: "<section>:<position>" pairs joined by ";", the
// position (from 1) being that of the file in the BackupDatas list. Earlier versions never ask for
// the key, so they skip it.
inline constexpr const char* kKeyDataFileStores = "BackupDatasStores";

// A manifest is a few lines of text: anything larger is no manifest and is never read.
inline constexpr uint64_t kManifestSizeLimit = 1 << 20;

// The header of a manifest, lines 1..6.
struct ManifestHeader {
    std::string computer;
    std::string logonUser;
    std::string identity;  // the profile backed up
    std::string time;      // the locale's date-and-time text
    std::string outlookVersion;
    std::string note;  // free text; CR LF pairs allowed
};

// CR LF -> "PS$KST", and back.
std::string EncodeNote(std::string_view note);
std::string DecodeNote(std::string_view value);

// The six header key/value pairs in writing order, the note encoded.
std::vector<std::pair<std::string, std::string>> HeaderPairs(const ManifestHeader& header);

// Entry names joined by ";" with no leading or trailing separator, and split again (empty names
// are dropped). A ";" inside a name travels as "|", which no Windows file name holds: earlier
// versions look such a name up as it stands, find nothing and fail the item rather than restore
// pieces of it.
std::string JoinStagingList(const std::vector<std::string>& names);
std::vector<std::string> SplitStagingList(std::string_view list);
// Names for files of one item, all distinct: a later namesake (also one differing only in case)
// becomes "name (n).ext" under the first n from 2 that no other name of the list is. Data files of
// one name from different folders go into an archive, and come back out, under such names.
std::vector<std::string> DistinctEntryNames(const std::vector<std::string>& names);
// One name as a list of its own holds it ("|" back to ";").
std::string DecodeEntryName(std::string_view value);

// The data files' record of sections: for each profile section, the position (from 0) of its file
// in the BackupDatas list. Sections whose names the record cannot hold (";" or ":") are left out
// and restore as without a record. Reading skips what is malformed.
using DataFileStores = std::vector<std::pair<std::string, size_t>>;
std::string JoinDataFileStores(const DataFileStores& stores);
DataFileStores SplitDataFileStores(std::string_view value);

// A valid item flag string has exactly eleven characters.
bool IsValidItemFlags(std::string_view flags);
// The item is in the archive: its flag is "1".
bool ItemPresent(std::string_view flags, Item item);

// A whole manifest as one text (header, item lines, BackupItem), each line ended by CR LF.
std::string ManifestText(const ManifestHeader& header,
                         const std::vector<std::pair<std::string, std::string>>& itemLines,
                         std::string_view itemFlags);

struct Manifest {
    bool valid = false;     // BackupItem of exactly eleven characters
    ManifestHeader header;  // note decoded
    std::string itemFlags;
    // Value of each item whose flag is "1", cut at its first NUL; empty for the others.
    std::array<std::string, kItemCount> entries;
    std::string dataFileStores;  // the BackupDatasStores value; empty in earlier archives
    std::string contents;        // the BackupContents value (backup_contents.h); empty in earlier
};

// Reads a manifest's text (UTF-8) by the line-file rule: first match, case-blind key, scanning
// stops at an empty line. Text that is not well-formed UTF-8 is no manifest: it reads as invalid.
Manifest ReadManifestText(std::string_view text);

// The bytes of the manifest file for its text: ANSI when the whole text has an ANSI form, else the
// byte-order mark on a line of its own and the text as UTF-8.
std::string EncodeManifestFile(std::string_view text);
// The text of a manifest file: UTF-8 after a byte-order mark (alone on its line or not), else ANSI.
std::string DecodeManifestFile(std::string_view bytes);

}  // namespace kestrine::backup_format
