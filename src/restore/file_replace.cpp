#include "restore/file_replace.h"

#include "base/text.h"

namespace fs = std::filesystem;

namespace kestrine::restore {

fs::path PathFromUtf8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const fs::path& path) {
    auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

static bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(PathFromUtf8(path), ec);
}

static bool Rename(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(PathFromUtf8(from), PathFromUtf8(to), ec);
    return !ec;
}

static void Remove(const std::string& path) {
    std::error_code ec;
    if (fs::remove(PathFromUtf8(path), ec) || !ec) return;
    // A read-only file (an old data file can be one) is made writable first.
    fs::permissions(PathFromUtf8(path), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove(PathFromUtf8(path), ec);
}

static bool IsFolderOrOther(const std::string& path) {
    std::error_code ec;
    const auto status = fs::symlink_status(PathFromUtf8(path), ec);
    return fs::exists(status) && !fs::is_regular_file(status);
}

std::string UnusedSibling(const std::string& target, const std::string& tag) {
    for (unsigned n = 0;; ++n) {
        std::string candidate = target + "." + tag + std::to_string(n) + ".tmp";
        if (!Exists(candidate)) return candidate;
    }
}

void DiscardStaged(const std::vector<StagedFile>& files) {
    for (const auto& f : files) Remove(f.temporary);
}

bool ReplaceFilesTogether(const std::vector<StagedFile>& files) {
    // The last staging of a target wins; earlier ones are dropped.
    std::vector<StagedFile> moves;
    for (size_t i = 0; i < files.size(); ++i) {
        bool later = false;
        for (size_t j = i + 1; j < files.size(); ++j)
            later = later || base::EqualsNoCase(files[i].target, files[j].target);
        if (later)
            Remove(files[i].temporary);
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
        if (!Exists(moves[i].target)) continue;
        std::string old = UnusedSibling(moves[i].target, "old");
        if (!Rename(moves[i].target, old)) {
            for (size_t k = 0; k < i; ++k) {
                if (!aside[k].empty()) Rename(aside[k], moves[k].target);
            }
            DiscardStaged(moves);
            return false;
        }
        aside[i] = old;
    }

    for (size_t i = 0; i < moves.size(); ++i) {
        if (Rename(moves[i].temporary, moves[i].target)) continue;
        for (size_t k = 0; k < moves.size(); ++k) {
            if (k < i) Remove(moves[k].target);
            if (!aside[k].empty()) Rename(aside[k], moves[k].target);
        }
        DiscardStaged(moves);
        return false;
    }

    for (const auto& old : aside) {
        if (!old.empty()) Remove(old);
    }
    return true;
}

}  // namespace kestrine::restore
