#include "schedule/dated_backups.h"

#include <algorithm>
#include <utility>

#include "base/path.h"
#include "base/text.h"
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

std::vector<std::string> DatedArchivesToRemove(std::string_view archive,
                                               const std::vector<std::string>& fileNames,
                                               std::string_view written, int keep) {
    if (keep < 1) return {};
    std::vector<std::pair<int64_t, std::string>> others;
    for (const auto& name : fileNames) {
        if (base::EqualsNoCase(name, written)) continue;
        if (auto stamp = DatedNameStamp(archive, name)) others.emplace_back(*stamp, name);
    }
    // Newest first; the run's own archive is one of those kept.
    std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second > b.second;
    });
    std::vector<std::string> removed;
    for (size_t i = static_cast<size_t>(keep - 1); i < others.size(); ++i)
        removed.push_back(others[i].second);
    return removed;
}

}  // namespace kestrine::schedule
