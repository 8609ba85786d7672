#pragma once
// The manifest kestrine.dat: the archive's last entry, saying where the backup came from, which
// items it holds and under which entry names. One Key=Value line each, CR LF, ANSI text.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/items.h"

namespace kestrine::archive {

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
// are dropped).
std::string JoinStagingList(const std::vector<std::string>& names);
std::vector<std::string> SplitStagingList(std::string_view list);

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
};

// Reads a manifest's text (UTF-8) by the line-file rule: first match, case-blind key, scanning
// stops at an empty line. Text that is not well-formed UTF-8 is no manifest: it reads as invalid.
Manifest ReadManifestText(std::string_view text);

}  // namespace kestrine::archive
