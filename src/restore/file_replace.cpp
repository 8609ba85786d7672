#include "restore/file_replace.h"

#include "base/text.h"
#include "platform/file_stream.h"

namespace fileio = kestrine::platform::fileio;

namespace kestrine::restore {

namespace {

// A folder, or anything else that is not a plain file, of the target's name.
bool IsFolderOrOther(const std::string& path) {
    return fileio::Exists(path) && !fileio::IsFile(path);
}

}  // namespace

std::string UnusedSibling(const std::string& target, const std::string& tag) {
    for (unsigned n = 0;; ++n) {
        std::string candidate = target + "." + tag + std::to_string(n) + ".tmp";
        if (!fileio::Exists(candidate)) return candidate;
    }
}

void DiscardStaged(const std::vector<StagedFile>& files) {
    for (const auto& f : files) fileio::RemoveFile(f.temporary);
}

bool ReplaceFilesTogether(const std::vector<StagedFile>& files) {
    // The last staging of a target wins; earlier ones are dropped.
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

    // Only files are replaced; a folder or anything else of that name stays.
    for (const auto& m : moves) {
        if (IsFolderOrOther(m.target)) {
            DiscardStaged(moves);
            return false;
        }
    }

    // Set the old files aside first: a file held open by another program cannot be renamed, and
    // then nothing has been replaced yet.
    std::vector<std::string> aside(moves.size());
    for (size_t i = 0; i < moves.size(); ++i) {
        if (!fileio::Exists(moves[i].target)) continue;
        std::string old = UnusedSibling(moves[i].target, "old");
        if (!fileio::MoveOver(moves[i].target, old)) {
            for (size_t k = 0; k < i; ++k) {
                if (!aside[k].empty()) fileio::MoveOver(aside[k], moves[k].target);
            }
            DiscardStaged(moves);
            return false;
        }
        aside[i] = old;
    }

    for (size_t i = 0; i < moves.size(); ++i) {
        if (fileio::MoveOver(moves[i].temporary, moves[i].target)) continue;
        for (size_t k = 0; k < moves.size(); ++k) {
            if (k < i) fileio::RemoveFile(moves[k].target);
            if (!aside[k].empty()) fileio::MoveOver(aside[k], moves[k].target);
        }
        DiscardStaged(moves);
        return false;
    }

    for (const auto& old : aside) {
        if (!old.empty()) fileio::RemoveFile(old);
    }
    return true;
}

}  // namespace kestrine::restore
