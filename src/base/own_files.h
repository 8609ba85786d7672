#pragma once
// The names of the files Kestrine makes beside a user's own files while it works:
// "~<name>.<mark>-<digits>-<digits>.tmp", where the mark says whose it is: "undo", "undoing" and
// "kept" an undo set's (the user's old file set aside, restored content moved out of the way, a
// file that was in the way), "restoring", "replaced" and "extracting" a restore's, "writing" an
// archive's being written. They are never the user's data: backups leave them out wherever they
// are.
#include <optional>
#include <string>
#include <string_view>

namespace kestrine::base {

inline constexpr std::string_view kUndoMark = "undo";
inline constexpr std::string_view kUndoingMark = "undoing";
inline constexpr std::string_view kKeptMark = "kept";
inline constexpr std::string_view kRestoringMark = "restoring";
inline constexpr std::string_view kReplacedMark = "replaced";
inline constexpr std::string_view kExtractingMark = "extracting";
inline constexpr std::string_view kWritingMark = "writing";

// "~<fileName>.<mark>-<digits>.tmp" (`digits` as "<digits>-<digits>").
std::string OwnFileName(std::string_view fileName, std::string_view mark, std::string_view digits);

// "~<fileName>.<mark>-": what an own file's name begins with, before its digits.
std::string OwnFilePrefix(std::string_view fileName, std::string_view mark);

// The bare file name an own file `name` of `mark` was made beside, when it is one.
std::optional<std::string> OwnFileMadeFor(std::string_view name, std::string_view mark);

// True when the bare file name `name` is one of Kestrine's own files beside a user's file.
bool IsOwnFileName(std::string_view name);

}  // namespace kestrine::base
