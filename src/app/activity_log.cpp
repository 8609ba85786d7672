#include "app/activity_log.h"

#include "app/log_lines.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/text.h"

namespace kestrine {

bool WriteLog(const std::string& path, const std::string& line) {
    return platform::fileio::AppendBytes(path, platform::Utf8ToAnsi(line) + "\r\n");
}

std::vector<std::string> ReadLogEntries(const std::string& logFile) {
    const auto bytes = platform::fileio::ReadWholeFile(logFile);
    if (!bytes) return {};
    return SplitLogLines(platform::AnsiToUtf8(*bytes));
}

}  // namespace kestrine
