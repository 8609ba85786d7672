#include "app/last_backup.h"

#include <string_view>

#include "app/log_lines.h"

namespace kestrine {

namespace {

// What follows the time in a line of the given shape (the shape built with an empty time).
bool Follows(std::string_view line, const std::string& shapeStart, size_t& at) {
    at = line.find(shapeStart);
    return at != std::string_view::npos;
}

std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

}  // namespace

LastBackup FindLastCompletedBackup(const std::vector<std::string>& logEntries) {
    // The fixed words of each line: the builders' own text without a time and a value.
    const std::string start =
        BackupStartLine("", "").substr(0, BackupStartLine("", "").find(" Data"));
    const std::string autoStart =
        AutoBackupStartLine("", "").substr(0, AutoBackupStartLine("", "").find(" Data"));
    const std::string fileIs = std::string(Trimmed(BackupFileLine("", "")));
    const std::string verified = std::string(Trimmed(BackupVerifiedLine("")));
    const std::string endHead =
        BackupEndLine("", "").substr(0, BackupEndLine("", "").find(" Data"));
    const std::string endTail = std::string(Trimmed(BackupEndLine("", "").substr(endHead.size())));

    LastBackup last, run;
    bool inRun = false;
    for (const auto& entry : logEntries) {
        const std::string_view line = Trimmed(entry);
        size_t at = 0;
        if (line == Trimmed(LogSeparatorLine())) {
            inRun = false;
        } else if (Follows(line, autoStart, at) || Follows(line, start, at)) {
            run = {};
            run.scheduled = line.find(autoStart) != std::string_view::npos;
            inRun = true;
        } else if (!inRun) {
            continue;
        } else if (run.file.empty() && Follows(line, fileIs, at)) {
            run.file = std::string(line.substr(at + fileIs.size()));
        } else if (line.ends_with(verified)) {
            run.checked = true;
        } else if (line.ends_with(endTail) && Follows(line, endHead, at)) {
            run.when = std::string(line.substr(0, at));
            run.found = true;
            last = run;
            inRun = false;
        }
    }
    return last;
}

}  // namespace kestrine
