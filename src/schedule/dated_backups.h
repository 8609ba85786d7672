#pragma once
// The dated archives a scheduled task writes ("<name>-MM-DD-YYYY-HH-MM.ksx" beside its archive
// "<name>.ksx"), and which of them a run removes when the user keeps only the newest few.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::schedule {

// When the task of `archive` wrote `fileName` (a bare name), as YYYYMMDDHHMM: nothing when the name
// is not one of that task's dated names (another stem, another shape, no real date and time).
// Names are compared as Windows does, whatever their case.
std::optional<int64_t> DatedNameStamp(std::string_view archive, std::string_view fileName);

// The names among `fileNames` (bare names of the archive's folder) to remove so that `keep` dated
// archives of the task stay: `written`, the one this run wrote, and the newest others by the date
// in their names. Nothing for a `keep` below 1, and never a name of another shape.
std::vector<std::string> DatedArchivesToRemove(std::string_view archive,
                                               const std::vector<std::string>& fileNames,
                                               std::string_view written, int keep);

}  // namespace kestrine::schedule
