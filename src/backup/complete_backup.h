#pragma once
// Whether a backup holds everything that was asked of it, read from the archive itself (its
// manifest's item flags), so that a copied or moved backup still tells. A backup that failed an
// item never takes the place of one that holds them all.
#include <string>
#include <string_view>

#include "backup_format/items.h"

namespace kestrine::backup {

// Every step that `chosen` runs has its flag "1" in `itemFlags`; the rules aside, which a profile
// need not have (they live in the mailbox nowadays).
bool HoldsAllChosen(std::string_view itemFlags, const backup_format::Choices& chosen);

enum class Completeness {
    NoBackup,    // no file, no zip, or no manifest in it: nothing a backup would lose
    Unreadable,  // protected with another password, or its manifest cannot be read
    Incomplete,  // its manifest says an item asked for is missing
    Complete,
};

// What the archive at `path` holds against `chosen`, its manifest read with `password` through a
// temporary file in `workFolder` (removed again).
Completeness CompletenessOf(const std::string& path, const std::string& password,
                            const backup_format::Choices& chosen, const std::string& workFolder);

// The item flags of the archive at `path` as its manifest says; `readable` is Complete when it
// could be read, and otherwise says why not (NoBackup, Unreadable).
struct ManifestFlags {
    Completeness readable = Completeness::NoBackup;
    std::string itemFlags;
};
ManifestFlags ItemFlagsOf(const std::string& path, const std::string& password,
                          const std::string& workFolder);

// Every item that `otherFlags` marks "1" is "1" in `itemFlags` too.
bool HoldsAllOf(std::string_view itemFlags, std::string_view otherFlags);

// Worth keeping: complete, or possibly so (it cannot be read to tell).
constexpr bool WorthKeeping(Completeness c) {
    return c == Completeness::Complete || c == Completeness::Unreadable;
}

// The name a backup takes beside `archive` at the given local time: "-MM-DD-YYYY-HH-MM" before
// its ".ksx" (any case), or after a name without that extension.
std::string DatedArchivePath(std::string_view archive, int year, int month, int day, int hour,
                             int minute);

}  // namespace kestrine::backup
