#pragma once
// Putting several restored files in place together: each is first written complete to a temporary
// file beside its target, and only when all are ready are the targets replaced, all or none, so a
// failed restore never leaves a half-written file or a mix of old and new files behind.
//
// The temporaries carry names no user file has: "~<name>.restoring-<digits>-<digits>.tmp" for new
// content, "~<name>.replaced-<digits>-<digits>.tmp" for an old file set aside while the targets are
// replaced. What a restore that was ended midway left is recovered from those names.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_stream.h"

namespace kestrine::recovery {

// A new, empty temporary file beside `target` for its new content; empty when none can be made.
std::string NewStagingFile(const std::string& target);

struct StagedFile {
    std::string temporary;  // complete, checked content
    std::string target;
};

// An old file that a failed replacement could not put back, and where its content is now.
struct KeptOldFile {
    std::string target;
    std::string oldCopy;
};

struct ReplaceOutcome {
    bool replaced = false;
    // After a failure: which target stopped it and what the system said, as a sentence.
    std::string failure;
    // After a failure only: the old files that could not be put back where they were.
    std::vector<KeptOldFile> keptAside;
    // Files that took a target's name while the targets were being replaced (an empty data file
    // that Outlook made on starting, say), kept as "~<name>.kept-<digits>-<digits>.tmp".
    std::vector<KeptOldFile> strangers;
};

using MoveFile = std::function<bool(const std::string& from, const std::string& to)>;

class UndoJournal;

// Moves every temporary to its target (with `move`; by default the system's moves, which wait
// out a hold by another program, and which put a file only where nothing has its name). With a
// `journal`, the old files are set aside for the restore's undo set and kept there after success;
// without one they are removed. A file that takes a target's name after the old one was set aside
// is never replaced: it is kept as a stranger and named in the outcome, and the new content takes
// the name. When any target cannot be replaced (a file another program holds open, or a folder of
// that name), every target is put back as it was; an old file that cannot be put back is kept
// under "<target>.old" (or "<target>.old<n>") and named in the outcome. The temporaries are gone
// afterwards in every case. A target named twice gets the content staged last.
// The default moves wait out a hold as `wait` says (its cancel ends the wait, and the replacing
// fails).
ReplaceOutcome ReplaceFilesTogether(
    const std::vector<StagedFile>& files, const MoveFile& move = {}, UndoJournal* journal = nullptr,
    const platform::fileio::MoveWait& wait = platform::fileio::PatientWait());

// Whether the drive of `folder` has room for `bytes` of new files, with a margin for the file
// system and the files' growth (an old file stays beside its new one until the restore is done):
// nothing when it has, or when the system cannot say; otherwise the reason, in words for the
// user and the log.
std::optional<std::string> NoRoomFor(const std::string& folder, uint64_t bytes);

// Removes the temporaries of files that will not be put in place.
void DiscardStaged(const std::vector<StagedFile>& files);

// What restores ended midway left in `folder`: new content and the zip component's extraction
// temporaries are removed; an old file set aside goes back to its name when that is free, and is
// kept as "<name>.old" when something else took the name meanwhile (it may be the only copy of the
// user's data). Files of undo sets are not touched. Returns how many were recovered or removed.
size_t RecoverInterruptedRestore(const std::string& folder);

}  // namespace kestrine::recovery
