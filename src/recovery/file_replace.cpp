#include "recovery/file_replace.h"

#include <atomic>
#include <optional>
#include <random>
#include <string_view>

#include "base/own_files.h"
#include "base/path.h"
#include "base/system_error.h"
#include "base/text.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/system.h"
#include "recovery/undo_set.h"

namespace fileio = kestrine::platform::fileio;

namespace kestrine::recovery {

namespace {

// A folder, or anything else that is not a plain file, of the target's name.
bool IsFolderOrOther(const std::string& path) {
    return fileio::Exists(path) && !fileio::IsFile(path);
}

// A new, empty file beside `target`, one of Kestrine's own of `mark`.
std::string NewSibling(const std::string& target, std::string_view mark) {
    std::string path;
    const auto file = fileio::CreateTempFile(
        base::FolderPart(target), base::OwnFilePrefix(base::BaseName(target), mark), path);
    return file ? path : std::string();
}

// Keeps an old file that cannot go back to its name where no later run removes it. `into` puts a
// file only where nothing has its name.
std::string KeepAside(const std::string& aside, const std::string& target, const MoveFile& into) {
    for (unsigned n = 0; n < 100; ++n) {
        const std::string kept = target + ".old" + (n == 0 ? "" : std::to_string(n));
        if (!fileio::Exists(kept) && into(aside, kept)) return kept;
    }
    return aside;
}

// Moves a file that took `target`'s name meanwhile to "~<name>.kept-<digits>-<digits>.tmp", a
// name of its own that no run removes (`into` puts it only where nothing has that name); empty
// when it could not be moved.
std::string KeepStranger(const std::string& target, const MoveFile& into) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = base::OwnFileName(
            base::BaseName(target), base::kKeptMark,
            std::to_string(random() % 100000000u) + "-" + std::to_string(counter++));
        const std::string kept = base::JoinPath(base::FolderPart(target), name);
        if (fileio::Exists(kept)) continue;
        if (into(target, kept)) return kept;
        if (!fileio::Exists(kept)) break;  // not a taken name: the stranger cannot be moved
    }
    return {};
}

constexpr uint64_t kRoomMargin = 64u << 20;

uint64_t Megabytes(uint64_t bytes) {
    return bytes / (1u << 20) + (bytes % (1u << 20) != 0);
}

}  // namespace

std::string NewStagingFile(const std::string& target) {
    return NewSibling(target, base::kRestoringMark);
}

std::optional<std::string> NoRoomFor(const std::string& folder, uint64_t bytes) {
    const auto free = fileio::FreeSpace(folder);
    // A fiftieth more, and the margin; a size no drive has needs more than any drive has.
    const uint64_t needed =
        bytes >= (uint64_t{1} << 62) ? UINT64_MAX : bytes + bytes / 50 + kRoomMargin;
    if (!free || *free >= needed) return std::nullopt;
    return "The files for " + folder + " need " + std::to_string(Megabytes(needed)) +
           " MB, and its drive has " + std::to_string(*free >> 20) + " MB free.";
}

void DiscardStaged(const std::vector<StagedFile>& files) {
    for (const auto& f : files) fileio::RemoveFile(f.temporary);
}

namespace {

// The system's moves, waiting out a hold as `wait` says.
MoveFile Waiting(const fileio::MoveWait& wait, fileio::Replace replace) {
    return [&wait, replace](const std::string& from, const std::string& to) {
        return fileio::MoveWaiting(from, to, replace, wait);
    };
}

// `move`, keeping what the system said of the latest move it refused in `refused`, read before
// anything else can call the system.
MoveFile Heard(MoveFile move, base::SystemError& refused) {
    return [&refused, move = std::move(move)](const std::string& from, const std::string& to) {
        if (move(from, to)) return true;
        refused = platform::LastSystemError();
        return false;
    };
}

// The last staging of each target; the temporaries of earlier ones are removed.
std::vector<StagedFile> LastStagingOfEach(const std::vector<StagedFile>& files) {
    std::vector<StagedFile> moves;
    for (size_t i = 0; i < files.size(); ++i) {
        bool later = false;
        for (size_t j = i + 1; j < files.size(); ++j)
            later = later || base::EqualsNoCase(files[i].target, files[j].target);
        if (later)
            fileio::RemoveFile(files[i].temporary);
        else
            moves.push_back(files[i]);
    }
    return moves;
}

}  // namespace

ReplaceOutcome ReplaceFilesTogether(const std::vector<StagedFile>& files, const MoveFile& mover,
                                    UndoJournal* journal, const fileio::MoveWait& wait) {
    // Moves onto a name this call made (`over`), and onto a name that must be free (`into`).
    base::SystemError refused;
    const MoveFile over = Heard(mover ? mover : Waiting(wait, fileio::Replace::Yes), refused);
    const MoveFile into = Heard(mover ? mover : Waiting(wait, fileio::Replace::Never), refused);
    ReplaceOutcome outcome;
    auto failed = [&](const std::string& what) {
        outcome.failure = base::Explained(what, refused);
        if (outcome.failure.back() != '.') outcome.failure += '.';
    };
    // Puts `from` at `target`, whose file was set aside or never there: a file that took the
    // name meanwhile is kept first, never replaced.
    auto place = [&](const std::string& from, const std::string& target) {
        if (into(from, target)) return true;
        if (!fileio::IsFile(target)) return false;
        const std::string kept = KeepStranger(target, into);
        if (kept.empty()) return false;
        outcome.strangers.push_back({target, kept});
        return into(from, target);
    };
    // The last staging of a target wins.
    std::vector<StagedFile> moves = LastStagingOfEach(files);

    // Only files are replaced; a folder or anything else of that name stays.
    for (const auto& m : moves) {
        if (IsFolderOrOther(m.target)) {
            outcome.failure = m.target + " is not a file, so it was not replaced.";
            DiscardStaged(moves);
            return outcome;
        }
    }

    // Puts back the old files set aside so far, after removing the new ones already in place.
    std::vector<std::string> aside(moves.size());
    auto rollBack = [&](size_t placed) {
        for (size_t k = 0; k < moves.size(); ++k) {
            if (k < placed) fileio::RemoveFile(moves[k].target);
            if (aside[k].empty() || place(aside[k], moves[k].target)) continue;
            outcome.keptAside.push_back(
                {moves[k].target, KeepAside(aside[k], moves[k].target, into)});
        }
        DiscardStaged(moves);
        return outcome;
    };

    // Set the old files aside first: a file held open by another program cannot be renamed, and
    // then nothing has been replaced yet.
    for (size_t i = 0; i < moves.size(); ++i) {
        if (!fileio::Exists(moves[i].target)) continue;
        if (journal) {
            aside[i] = journal->SetAside(moves[i].target, into);
            if (aside[i].empty()) {
                failed(moves[i].target + " could not be set aside");
                return rollBack(0);
            }
            continue;
        }
        std::string old = NewSibling(moves[i].target, base::kReplacedMark);
        if (old.empty() || !over(moves[i].target, old)) {
            failed(moves[i].target + " could not be set aside");
            fileio::RemoveFile(old);
            return rollBack(0);
        }
        aside[i] = old;
    }
    for (size_t i = 0; i < moves.size(); ++i) {
        if (journal && !journal->NotePlacing(moves[i].target, moves[i].temporary)) {
            outcome.failure = "The undo set could not record " + moves[i].target + ".";
            return rollBack(i);
        }
        if (!place(moves[i].temporary, moves[i].target)) {
            failed(moves[i].target + " could not be put in place");
            return rollBack(i);
        }
    }

    // The undo set keeps the old files; without one they have served.
    for (const auto& old : aside) {
        if (!old.empty() && !journal) fileio::RemoveFile(old);
    }
    outcome.replaced = true;
    return outcome;
}

size_t RecoverInterruptedRestore(const std::string& folder) {
    if (folder.empty()) return 0;  // an unknown folder, not the current one
    size_t recovered = 0;
    for (const std::string& file : fileio::ListFileNames(folder)) {
        const std::string path = base::JoinPath(folder, file);
        if (auto name = base::OwnFileMadeFor(file, base::kReplacedMark)) {
            // Set aside and not put back: it goes back to its name. Whatever took the name
            // meanwhile may be a fresh, empty file rather than the new content, so the old one is
            // kept beside it then rather than removed.
            const std::string target = base::JoinPath(folder, *name);
            const std::string to = fileio::MoveToFree(path, target) ? target
                                   : fileio::Exists(target)
                                       ? KeepAside(path, target, fileio::MoveToFree)
                                       : path;
            if (to != path) ++recovered;
        } else if ((base::OwnFileMadeFor(file, base::kRestoringMark) ||
                    base::OwnFileMadeFor(file, base::kExtractingMark)) &&
                   fileio::RemoveFile(path)) {
            ++recovered;
        }
    }
    return recovered;
}

}  // namespace kestrine::recovery
