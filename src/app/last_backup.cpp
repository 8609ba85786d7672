#include "app/last_backup.h"

#include <string_view>

#include "app/log_lines.h"
#include "backup_format/items.h"

namespace kestrine {

namespace {

std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

// The fixed words of a line shape: the builder's text without a time, up to `upTo`.
std::string Head(const std::string& shape, std::string_view upTo = {}) {
    const std::string_view trimmed = Trimmed(shape);
    return std::string(upTo.empty() ? trimmed : trimmed.substr(0, trimmed.find(upTo)));
}

// One run as the log tells it.
struct Run {
    LastBackup backup;
    bool ended = false;
    std::string startedAt;
    std::vector<std::string> failedItems;
    std::string why;
    std::string notDone;  // why it wrote nothing, when it did not
};

void AddLine(std::string& lines, std::string_view line) {
    if (!lines.empty()) lines += "\r\n";
    lines.append(line);
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return out;
}

// Every backup run of the log in order, with the scheduled runs that never began among them.
std::vector<Run> BackupRuns(const std::vector<std::string>& logEntries) {
    const std::string start = Head(BackupStartLine("", ""), " Data");
    const std::string autoStart = Head(AutoBackupStartLine("", ""), " Data");
    const std::string fileIs = Head(BackupFileLine("", ""));
    const std::string verified = Head(BackupVerifiedLine(""));
    const std::string endHead = Head(BackupEndLine("", ""), " Data");
    const std::string endTail = Head(BackupEndLine("", "")).substr(endHead.size());
    const std::string notEndTail = Head(BackupNotCompletedLine("", "")).substr(endHead.size());
    const std::string failTail = " Fail!";
    const std::string keptHead = Head(BackupKeptLine("", "", ""), "; this");
    const std::string keptTail = "; this backup was written to ";
    const std::string refused = Head(CommandLineRefusedLine("", ""), " (");
    const std::string autoNotStartedHead = Head(BackupNotStartedLine("", "", true), " Profile");
    const std::string otherRun = " was not started: another backup or restore was still running!";

    std::vector<Run> runs;
    Run* run = nullptr;
    for (const auto& entry : logEntries) {
        const std::string_view line = Trimmed(entry);
        size_t at = std::string_view::npos;
        if (line == Trimmed(LogSeparatorLine())) {
            run = nullptr;
        } else if ((at = line.find(autoStart)) != std::string_view::npos ||
                   (at = line.find(start)) != std::string_view::npos) {
            runs.emplace_back();
            run = &runs.back();
            run->backup.scheduled = line.find(autoStart) != std::string_view::npos;
            run->startedAt = std::string(line.substr(0, at));
        } else if ((at = line.find(refused)) != std::string_view::npos ||
                   ((at = line.find(autoNotStartedHead)) != std::string_view::npos &&
                    line.ends_with(otherRun))) {
            // A scheduled run that did not begin: a run of its own.
            Run refusedRun;
            refusedRun.backup.scheduled = true;
            refusedRun.ended = true;
            refusedRun.startedAt = std::string(line.substr(0, at));
            refusedRun.notDone = std::string(line.substr(at + 1));
            runs.push_back(refusedRun);
            run = nullptr;
        } else if (run == nullptr) {
            continue;
        } else if (run->backup.file.empty() && (at = line.find(fileIs)) != std::string_view::npos) {
            run->backup.file = std::string(line.substr(at + fileIs.size()));
        } else if (line.ends_with(verified)) {
            run->backup.checked = true;
        } else if ((at = line.find(keptHead)) != std::string_view::npos &&
                   line.find(keptTail) != std::string_view::npos) {
            run->backup.file = std::string(line.substr(line.find(keptTail) + keptTail.size()));
        } else if (line.ends_with(failTail) &&
                   (at = line.find(" Backup ")) != std::string_view::npos) {
            const size_t name = at + 8;
            const std::string item(line.substr(name, line.size() - failTail.size() - name));
            // The configuration fails under the accounts' name too: each name once.
            bool listed = false;
            for (const auto& known : run->failedItems) listed = listed || known == item;
            if (!listed) run->failedItems.push_back(item);
        } else if ((at = line.find(" failed because: ")) != std::string_view::npos) {
            for (size_t c = 0; c < backup_format::kChoiceCount; ++c) {
                const std::string name = LogItemName(static_cast<backup_format::Choice>(c));
                const size_t item = line.rfind(" " + name, at);
                if (item != std::string_view::npos && item + 1 + name.size() == at) {
                    AddLine(run->why, line.substr(item + 1));
                    break;
                }
            }
        } else if ((at = line.find(endHead)) != std::string_view::npos &&
                   (line.ends_with(endTail) || line.ends_with(notEndTail))) {
            run->ended = true;
            run->backup.when = std::string(line.substr(0, at));
            run->backup.found = line.ends_with(endTail);
            run->backup.complete = run->backup.found && run->failedItems.empty();
            if (!run->backup.found) run->notDone = "no backup file was written";
            run = nullptr;
        }
    }
    return runs;
}

}  // namespace

LastBackup FindLastCompletedBackup(const std::vector<std::string>& logEntries) {
    LastBackup last;
    for (const Run& run : BackupRuns(logEntries))
        if (run.backup.found) last = run.backup;
    return last;
}

ScheduledRuns FindScheduledRuns(const std::vector<std::string>& logEntries) {
    ScheduledRuns runs;
    for (const Run& run : BackupRuns(logEntries)) {
        if (!run.backup.scheduled) continue;
        runs.found = true;
        runs.when = run.startedAt;
        runs.failed = !run.backup.complete;
        runs.what = !run.notDone.empty() ? run.notDone
                    : !run.failedItems.empty()
                        ? JoinNames(run.failedItems) + " could not be backed up"
                        : (run.ended ? "" : "the run ended before it was done");
        runs.why = run.why;
        if (run.backup.complete) runs.lastComplete = run.backup;
    }
    return runs;
}

}  // namespace kestrine
