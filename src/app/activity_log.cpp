#include "app/activity_log.h"

#include "app/app_state.h"
#include "app/log_lines.h"
#include "base/path.h"
#include "platform/files.h"
#include "platform/text.h"

namespace kestrine {

bool WriteLog(const std::string& path, const std::string& line) {
    return platform::AppendBytes(path, platform::Utf8ToAnsi(line) + "\r\n");
}

std::string LogPath() {
    return base::JoinPath(State().AppFolder, "brlog.dat");
}

bool Log(const std::string& line) {
    return WriteLog(LogPath(), line);
}

std::vector<std::string> ReadLogEntries() {
    std::string bytes;
    if (!platform::ReadWholeFile(LogPath(), bytes)) return {};
    return SplitLogLines(platform::AnsiToUtf8(bytes));
}

}  // namespace kestrine
