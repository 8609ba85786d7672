#include "base/own_files.h"

#include <array>

#include "base/text.h"

namespace kestrine::base {

namespace {

constexpr std::array<std::string_view, 7> kMarks = {kUndoMark,      kUndoingMark,  kKeptMark,
                                                    kRestoringMark, kReplacedMark, kExtractingMark,
                                                    kWritingMark};

}  // namespace

std::string OwnFilePrefix(std::string_view fileName, std::string_view mark) {
    std::string prefix = "~";
    prefix.append(fileName).append(".").append(mark).append("-");
    return prefix;
}

std::string OwnFileName(std::string_view fileName, std::string_view mark, std::string_view digits) {
    return OwnFilePrefix(fileName, mark).append(digits).append(".tmp");
}

std::optional<std::string> OwnFileMadeFor(std::string_view name, std::string_view mark) {
    constexpr std::string_view kEnd = ".tmp";
    if (!name.starts_with('~') || !name.ends_with(kEnd)) return std::nullopt;
    name.remove_suffix(kEnd.size());
    // Neither the mark nor the numbers hold a dot: the last one begins the mark.
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < 2) return std::nullopt;
    const std::string_view tail = name.substr(dot + 1);
    if (tail.size() <= mark.size() + 1 || !tail.starts_with(mark) || tail[mark.size()] != '-' ||
        !IsNumberPair(tail.substr(mark.size() + 1)))
        return std::nullopt;
    return std::string(name.substr(1, dot - 1));
}

bool IsOwnFileName(std::string_view name) {
    for (std::string_view mark : kMarks)
        if (OwnFileMadeFor(name, mark)) return true;
    return false;
}

}  // namespace kestrine::base
