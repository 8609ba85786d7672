#include "schedule/dated_backups.h"

#include <algorithm>
#include <utility>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/run_folder.h"
#include "backup/complete_backup.h"
#include "base/path.h"
#include "base/text.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "schedule/command_line.h"

namespace kestrine::schedule {

namespace {

// "-MM-DD-YYYY-HH-MM.ksx"
constexpr size_t kSuffixSize = 21;

// The number of `count` digits at `pos`, or -1.
int Digits(std::string_view text, size_t pos, size_t count) {
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

// Minutes since 1 March of the year 0 (the civil calendar's day count).
int64_t StampMinutes(int64_t stamp) {
    const int64_t minute = stamp % 100, hour = stamp / 100 % 100, day = stamp / 10000 % 100;
    const int64_t month = stamp / 1000000 % 100;
    const int64_t year = stamp / 100000000 - (month <= 2 ? 1 : 0);
    const int64_t era = year / 400, yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return (days * 24 + hour) * 60 + minute;
}

std::optional<int64_t> DatedNameStamp(std::string_view archive, std::string_view fileName) {
    const std::string shape = base::BaseName(DatedArchivePath(archive, 2000, 1, 1, 0, 0));
    if (fileName.size() != shape.size() || shape.size() < kSuffixSize) return std::nullopt;
    const size_t stem = shape.size() - kSuffixSize;
    if (!base::EqualsNoCase(fileName.substr(0, stem), std::string_view(shape).substr(0, stem)))
        return std::nullopt;
    const std::string_view suffix = fileName.substr(stem);
    for (size_t dash : {0u, 3u, 6u, 11u, 14u})
        if (suffix[dash] != '-') return std::nullopt;
    if (!base::EqualsNoCase(suffix.substr(17), ".ksx")) return std::nullopt;
    const int month = Digits(suffix, 1, 2), day = Digits(suffix, 4, 2), year = Digits(suffix, 7, 4),
              hour = Digits(suffix, 12, 2), minute = Digits(suffix, 15, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59)
        return std::nullopt;
    return ((((int64_t{year} * 100 + month) * 100 + day) * 100 + hour) * 100) + minute;
}

bool DatedAfter(int64_t stamp, int64_t now) {
    return StampMinutes(stamp) > StampMinutes(now) + 24 * 60;
}

std::vector<std::string> DatedArchivesToRemove(std::vector<DatedBackup> others, int keep) {
    if (keep < 1) return {};
    // Newest first; the run's own archive is one of those kept.
    std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) {
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.name > b.name;
    });
    std::vector<std::string> removed;
    int kept = 1;
    for (const auto& backup : others) {
        if (kept >= keep)
            removed.push_back(backup.name);
        else if (backup.complete)
            ++kept;
    }
    return removed;
}

int64_t NowStamp() {
    const platform::LocalTime now = platform::Now();
    return (((int64_t{now.year} * 100 + now.month) * 100 + now.day) * 100 + now.hour) * 100 +
           now.minute;
}

namespace {

// The task's dated archives beside `job.written` but that one, each with what its manifest says;
// empty when no manifest can be read.
std::vector<std::pair<DatedBackup, backup::ManifestFlags>> DatedOthers(const PruneJob& job) {
    namespace fileio = platform::fileio;
    const std::string folder = base::FolderPart(job.written);
    const int64_t nowStamp = NowStamp();
    std::vector<std::pair<DatedBackup, backup::ManifestFlags>> others;
    const RunFolder work(job.tempFolder);
    if (work.Path().empty()) return others;  // no manifest can be read: nothing is known
    for (const auto& name : fileio::ListFileNames(folder)) {
        if (base::EqualsNoCase(name, base::BaseName(job.written))) continue;
        const auto stamp = DatedNameStamp(job.defaultArchive, name);
        const std::string path = base::JoinPath(folder, name);
        // A folder of that name is no archive; another user's file is not the user's to remove.
        if (!stamp || DatedAfter(*stamp, nowStamp) || !fileio::IsOwnFile(path)) continue;
        const auto read = backup::ItemFlagsOf(path, job.password, work.Path());
        const bool complete = read.readable == backup::Completeness::Complete &&
                              backup::HoldsAllChosen(read.itemFlags, job.chosen);
        others.push_back({{name, *stamp, complete}, read});
    }
    return others;
}

void RemoveLogged(const PruneJob& job, const std::string& name) {
    namespace fileio = platform::fileio;
    const std::string path = base::JoinPath(base::FolderPart(job.written), name);
    fileio::SetNormalAttributes(path);
    WriteLog(job.logFile, fileio::RemoveFile(path)
                              ? BackupRemovedLine(platform::NowText(), path)
                              : BackupNotRemovedLine(platform::NowText(), path));
}

}  // namespace

void RemoveOlderDatedArchives(const PruneJob& job) {
    std::vector<DatedBackup> others;
    for (auto& [dated, read] : DatedOthers(job)) others.push_back(std::move(dated));
    for (const auto& name : DatedArchivesToRemove(std::move(others), job.keep))
        RemoveLogged(job, name);
}

void RemoveIncompleteBesideArchives(const PruneJob& job) {
    for (const auto& [dated, read] : DatedOthers(job))
        if (read.readable == backup::Completeness::Complete && !dated.complete &&
            backup::HoldsAllOf(job.writtenFlags, read.itemFlags))
            RemoveLogged(job, dated.name);
}

}  // namespace kestrine::schedule
