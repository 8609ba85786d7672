#pragma once
// The dated archives a scheduled task writes ("<name>-MM-DD-YYYY-HH-MM.ksx" beside its archive
// "<name>.ksx"), and which of them a run removes when the user keeps only the newest few.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup_format/items.h"

namespace kestrine::schedule {

// When the task of `archive` wrote `fileName` (a bare name), as YYYYMMDDHHMM: nothing when the name
// is not one of that task's dated names (another stem, another shape, no real date and time).
// Names are compared as Windows does, whatever their case.
std::optional<int64_t> DatedNameStamp(std::string_view archive, std::string_view fileName);

// The local time now as a stamp YYYYMMDDHHMM.
int64_t NowStamp();

// The minutes of a stamp YYYYMMDDHHMM since a fixed day, to compare stamps by.
int64_t StampMinutes(int64_t stamp);

// A stamp (YYYYMMDDHHMM) more than a day after `now`: a clock that was wrong for a while, or a
// name planted to hold a kept place for ever. Such a name is neither counted nor removed.
bool DatedAfter(int64_t stamp, int64_t now);

// One of the task's dated archives as a run that keeps the newest few sees it.
struct DatedBackup {
    std::string name;
    int64_t stamp = 0;
    bool complete = false;  // its manifest holds every item the task asks for
};

// The names among `others` (the task's dated archives but the one this run wrote) to remove so
// that `keep` complete backups stay, the run's own among them: what is older than the newest
// `keep` - 1 complete others goes; incomplete or unreadable ones newer than those stay, and
// count for nothing. Nothing for a `keep` below 1.
std::vector<std::string> DatedArchivesToRemove(std::vector<DatedBackup> others, int keep);

// What a run that kept only the newest backups needs to know of its task.
struct PruneJob {
    std::string logFile;
    std::string defaultArchive;  // the task's archive path (bf=)
    std::string written;         // the complete archive this run wrote
    std::string writtenFlags;    // its item flags
    int keep = 0;
    std::string password;  // the task's, to read the others' manifests
    backup_format::Choices chosen{};
    std::string tempFolder;  // where the run folder for reading manifests is made
};

// Removes the task's older dated archives as DatedArchivesToRemove says, logging each one. Only
// the user's own files of the task's names count and go; one dated after now stays untouched.
void RemoveOlderDatedArchives(const PruneJob& job);

// After a complete backup at the task's one archive `job.written`: removes the dated archives that
// earlier runs which failed an item wrote beside it (their manifests say an item is missing) when
// the new one holds every item they hold, logging each one. Complete, unreadable, future-dated
// and other users' files stay.
void RemoveIncompleteBesideArchives(const PruneJob& job);

}  // namespace kestrine::schedule
