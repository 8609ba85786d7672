#include "recovery/undo_set.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <string_view>

#include "archive/deflate_codec.h"
#include "base/own_files.h"
#include "base/path.h"
#include "base/text.h"

namespace fileio = kestrine::platform::fileio;

namespace kestrine::recovery {

namespace {

constexpr std::string_view kSetPrefix = "set-";
constexpr const char* kJournalName = "journal.dat";

using Mover = std::function<bool(const std::string&, const std::string&)>;

// Journal fields are separated by tabs; a field never holds a tab or a line end of its own.
std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '%':
                out += "%25";
                break;
            case '\t':
                out += "%09";
                break;
            case '\r':
                out += "%0D";
                break;
            case '\n':
                out += "%0A";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const std::string_view code = text.substr(i + 1, 2);
            const char c = code == "25"   ? '%'
                           : code == "09" ? '\t'
                           : code == "0D" ? '\r'
                           : code == "0A" ? '\n'
                                          : '\0';
            if (c != '\0') {
                out += c;
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::vector<std::string> Fields(std::string_view line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab - start)));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return fields;
}

// A name beside `target` that nothing has: "~<name>.<mark>-<digits>-<digits>.tmp". It is recorded
// before anything is moved to it, so it is not made beforehand: an empty file there would look
// like kept content after a crash.
std::string FreeSibling(const std::string& target, std::string_view mark) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%u-%u", static_cast<unsigned>(rd() % 100000000u),
                      counter++);
        const std::string name = base::OwnFileName(base::BaseName(target), mark, digits);
        std::string path = base::JoinPath(base::FolderPart(target), name);
        if (!fileio::Exists(path)) return path;
    }
    return {};
}

// What a placed file held, cheaply: its size, its modification time and a checksum of its first
// and last bytes (all of a small file). A data file that Outlook has written to since differs in
// at least one. Empty when the file cannot be read.
std::string ContentMark(const std::string& path) {
    constexpr uint64_t kSample = 64 * 1024;
    const auto file = fileio::OpenForRead(path);
    if (!file) return {};
    const int64_t size = file->Size();
    if (size < 0) return {};
    const uint64_t total = static_cast<uint64_t>(size);
    std::vector<uint8_t> buffer(kSample);
    uint32_t crc = 0;
    auto sample = [&](uint64_t offset, uint64_t length) {
        if (!file->Seek(offset)) return false;
        while (length > 0) {
            const int64_t n =
                file->Read(buffer.data(), static_cast<size_t>(std::min(length, kSample)));
            if (n <= 0) return false;
            crc = archive::deflate::Crc32(crc, buffer.data(), static_cast<size_t>(n));
            length -= static_cast<uint64_t>(n);
        }
        return true;
    };
    const bool read = total <= 2 * kSample ? sample(0, total)
                                           : sample(0, kSample) && sample(total - kSample, kSample);
    if (!read) return {};
    char mark[64];
    std::snprintf(mark, sizeof mark, "%llu-%llu-%08x", static_cast<unsigned long long>(total),
                  static_cast<unsigned long long>(fileio::FileWriteTicks(path)), crc);
    return mark;
}

std::string KeyFileName(unsigned n) {
    return "key" + std::to_string(n) + ".reg";
}

// What a journal says, in the order it was done.
struct FileStep {
    std::string target;
    std::string aside;  // where the old file went; empty when there was none
    bool placed = false;
    std::string mark;  // the placed content's ContentMark; empty when unknown
};
struct KeyStep {
    std::string key;
    std::string file;  // the saved tree; empty when the key was not there
};
// A name a take-back freed: a stranger or changed content kept, or restored content removed.
struct Freed {
    std::string target, movedTo;
    bool kept = false;
    bool changed = false;
};
struct Journal {
    std::vector<FileStep> files;
    std::vector<KeyStep> keys;
    std::vector<std::string> removed;  // restored content set aside by a later row
    // The names the take-back at work freed (since its last refusal), in order.
    std::vector<Freed> freed;
    bool done = false;
    bool undoing = false;
    bool abandoned = false;
    // The journal is there but could not be read (another program holds it): nothing is known of
    // the set, so nothing of it may go.
    bool unreadable = false;
};

FileStep* FindStep(Journal& journal, const std::string& target) {
    for (auto& step : journal.files)
        if (base::EqualsNoCase(step.target, target)) return &step;
    return nullptr;
}

FileStep& StepFor(Journal& journal, const std::string& target) {
    if (FileStep* step = FindStep(journal, target)) return *step;
    journal.files.push_back({target, {}, false, {}});
    return journal.files.back();
}

Journal ReadJournal(const std::string& setFolder) {
    Journal journal;
    const std::string path = base::JoinPath(setFolder, kJournalName);
    const auto read = fileio::ReadWholeFile(path);
    if (!read) {
        journal.unreadable = fileio::Exists(path);
        return journal;
    }
    const std::string& bytes = *read;
    // A line cut short by a power loss has no line end: its step was never begun. The next record
    // begins after a bare line feed (no field holds one), so that what was cut is read as nothing.
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string_view line = std::string_view(bytes).substr(start, end - start);
        if (const size_t cut = line.rfind('\n'); cut != std::string_view::npos)
            line.remove_prefix(cut + 1);
        const auto f = Fields(line);
        if (f[0] == "key" && f.size() == 3)
            journal.keys.push_back({f[1], f[2].empty() ? f[2] : base::JoinPath(setFolder, f[2])});
        else if (f[0] == "aside" && f.size() == 3 && !FindStep(journal, f[1]))
            StepFor(journal, f[1]).aside = f[2];
        // A name that an earlier row of the restore had written already: what is set aside now is
        // restored content, not the user's old file.
        else if (f[0] == "aside" && f.size() == 3)
            journal.removed.push_back(f[2]);
        else if (f[0] == "place" && (f.size() == 2 || f.size() == 3)) {
            FileStep& step = StepFor(journal, f[1]);
            step.placed = true;
            step.mark = f.size() == 3 ? f[2] : std::string();
        } else if (f[0] == "remove" && f.size() == 3)
            journal.freed.push_back({f[1], f[2], false, false});
        else if (f[0] == "keep" && (f.size() == 3 || f.size() == 4))
            journal.freed.push_back({f[1], f[2], true, f.size() == 4 && f[3] == "changed"});
        else if (f[0] == "back" && f.size() == 2)  // a refused take-back put a freed name back
            std::erase_if(journal.freed, [&](const Freed& freed) {
                return base::EqualsNoCase(freed.movedTo, f[1]);
            });
        else if (f[0] == "done")
            journal.done = true;
        else if (f[0] == "undo")
            journal.undoing = true;
        else if (f[0] == "abandoned")
            journal.abandoned = true;
    }
    return journal;
}

bool RemoveSetFolder(const std::string& setFolder) {
    bool ok = true;
    for (const auto& name : fileio::ListFileNames(setFolder))
        ok = fileio::RemoveFile(base::JoinPath(setFolder, name)) && ok;
    return fileio::RemoveEmptyFolder(setFolder) && ok;
}

// A freed name gets what was moved out of it back (unless it went back already), and the journal
// says so. False when something else took the name meanwhile, or the move or the record failed.
bool MoveBack(const Freed& f, const std::function<bool(const std::string&)>& record) {
    if (fileio::Exists(f.movedTo) &&
        (fileio::Exists(f.target) || !fileio::MoveOver(f.movedTo, f.target)))
        return false;
    return record("back\t" + Escape(f.movedTo));
}

// An undo of a finished restore that was ended before it had freed every name: the names it freed
// get their restored content back, and the restore stays finished. False when a name could not.
bool PutBackFreedNames(const Journal& journal, TakeBackOutcome& outcome,
                       const std::function<bool(const std::string&)>& record) {
    bool ok = true;
    for (auto f = journal.freed.rbegin(); f != journal.freed.rend(); ++f)
        if (!MoveBack(*f, record)) {
            outcome.notPutBack.push_back({f->target, f->movedTo});
            ok = false;
        }
    return ok;
}

// Puts back what the journal of the set records, in three phases so that a file held open by
// another program refuses the whole before anything has changed: first every name that must be
// freed is freed (restored content, or a stranger, moved aside), then the old files go back, then
// the registry trees. Every move is recorded first, so a run ended midway here is taken up again.
// An undo of a finished restore is recorded only once every name is free; a refusal before that
// records each name put back, so the restore stays finished and nothing goes back unasked later.
TakeBackOutcome TakeBackSet(const std::string& setFolder, const KeyKeeper& keys,
                            const std::function<bool(const std::string&)>& record) {
    TakeBackOutcome outcome;
    const Journal journal = ReadJournal(setFolder);
    if (journal.unreadable || journal.abandoned) return outcome;
    const bool undoOfFinished = journal.done && !journal.undoing;

    std::vector<Freed> freed;
    // Refused: each name freed so far gets its content back, and the journal says so.
    auto refuse = [&] {
        bool back = true;
        for (auto f = freed.rbegin(); f != freed.rend(); ++f)
            if (!MoveBack(*f, record)) {
                outcome.notPutBack.push_back({f->target, f->movedTo});
                back = false;
            }
        outcome.refused = back;
        return outcome;
    };
    for (auto step = journal.files.rbegin(); step != journal.files.rend(); ++step) {
        const bool asideLeft = !step->aside.empty() && fileio::Exists(step->aside);
        // With the old file gone back already (or never moved), the name holds the old file.
        const bool mustFree =
            fileio::Exists(step->target) && (step->aside.empty() ? step->placed : asideLeft);
        if (!mustFree) continue;
        const bool stranger = !step->placed;
        // Restored content goes only while it is as the restore left it: a data file that has
        // received mail since, or one whose placing was never confirmed, is the user's now.
        const bool changed =
            !stranger && (step->mark.empty() || ContentMark(step->target) != step->mark);
        const bool keep = stranger || changed;
        const std::string to =
            FreeSibling(step->target, keep ? base::kKeptMark : base::kUndoingMark);
        const std::string line = keep ? "keep\t" + Escape(step->target) + "\t" + Escape(to) + "\t" +
                                            (changed ? "changed" : "stranger")
                                      : "remove\t" + Escape(step->target) + "\t" + Escape(to);
        if (to.empty() || !record(line)) return refuse();
        freed.push_back({step->target, to, keep, changed});  // recorded: it goes back on refusal
        if (!fileio::MoveToFreePatiently(step->target, to)) return refuse();
    }
    if (undoOfFinished && !record("undo")) return refuse();

    bool ok = true;
    for (auto step = journal.files.rbegin(); step != journal.files.rend(); ++step) {
        if (step->aside.empty() || !fileio::Exists(step->aside)) continue;
        bool back = fileio::MoveToFreePatiently(step->aside, step->target);
        if (!back && fileio::Exists(step->target)) {
            // Made since its name was freed (a starting Outlook creates an empty data file): the
            // stranger is kept, never replaced.
            const std::string to = FreeSibling(step->target, base::kKeptMark);
            if (!to.empty() &&
                record("keep\t" + Escape(step->target) + "\t" + Escape(to) + "\tstranger") &&
                fileio::MoveToFreePatiently(step->target, to)) {
                freed.push_back({step->target, to, true, false});
                back = fileio::MoveToFreePatiently(step->aside, step->target);
            }
        }
        if (!back) {
            outcome.notPutBack.push_back({step->target, step->aside});
            ok = false;
        }
    }
    for (auto key = journal.keys.rbegin(); key != journal.keys.rend(); ++key) {
        const bool back = !key->file.empty() ? keys.putBack(key->key, key->file)
                                             : !keys.exists(key->key) || keys.remove(key->key);
        if (!back) {
            outcome.notPutBack.push_back({key->key, key->file});
            ok = false;
        }
    }
    // What an earlier take-back of the set freed before it was ended counts as this one's.
    std::vector<Freed> all = journal.freed;
    all.insert(all.end(), freed.begin(), freed.end());
    for (const auto& f : all)
        if (f.kept) outcome.kept.push_back({f.target, f.movedTo, f.changed});
    // The keys put back reach the disk before the set that could put them back again goes.
    if (!ok || (keys.flush && !keys.flush())) return outcome;

    // The restored content is in the archive still; the set has done its work.
    for (const auto& r : journal.removed) fileio::RemoveFile(r);
    for (const auto& f : all)
        if (!f.kept) fileio::RemoveFile(f.movedTo);
    RemoveSetFolder(setFolder);
    outcome.ok = true;
    return outcome;
}

// Appends records to the journal of a closed set.
std::function<bool(const std::string&)> AppenderFor(const std::string& setFolder) {
    return [setFolder](const std::string& line) {
        auto file = fileio::OpenForWrite(base::JoinPath(setFolder, kJournalName));
        if (!file) return false;
        const int64_t size = file->Size();
        if (size < 0) return false;
        // A last line cut short (a power loss, a full disk) is ended with a bare line feed first.
        char end[2] = {'\r', '\n'};
        if (size >= 2 &&
            (!file->Seek(static_cast<uint64_t>(size) - 2) || fileio::ReadFull(*file, end, 2) != 2))
            return false;
        const bool cut = size == 1 || (size >= 2 && (end[0] != '\r' || end[1] != '\n'));
        const std::string bytes = std::string(cut ? "\n" : "") + line + "\r\n";
        return file->Seek(static_cast<uint64_t>(size)) && file->Write(bytes.data(), bytes.size()) &&
               file->Flush();
    };
}

unsigned SetNumber(std::string_view name) {
    if (!name.starts_with(kSetPrefix) || name.size() != kSetPrefix.size() + 8) return 0;
    unsigned n = 0;
    for (char c : name.substr(kSetPrefix.size())) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

}  // namespace

UndoJournal::UndoJournal(std::string folder, KeyKeeper keys,
                         std::unique_ptr<fileio::FileStream> file)
    : folder_(std::move(folder)), keys_(std::move(keys)), file_(std::move(file)) {}

UndoJournal::~UndoJournal() = default;

std::unique_ptr<UndoJournal> UndoJournal::Begin(const std::string& undoFolder, KeyKeeper keys) {
    if (!fileio::MakeFolder(undoFolder)) return nullptr;
    unsigned next = 1;
    for (const auto& set : ListUndoSets(undoFolder))
        next = std::max(next, SetNumber(base::BaseName(set.folder)) + 1);
    for (int attempt = 0; attempt < 100; ++attempt, ++next) {
        char name[16];
        std::snprintf(name, sizeof name, "set-%08u", next);
        const std::string folder = base::JoinPath(undoFolder, name);
        if (fileio::Exists(folder) || !fileio::MakeFolder(folder)) continue;
        auto file = fileio::CreateNew(base::JoinPath(folder, kJournalName));
        if (!file || !file->Flush()) {
            file.reset();
            RemoveSetFolder(folder);
            return nullptr;
        }
        return std::unique_ptr<UndoJournal>(
            new UndoJournal(folder, std::move(keys), std::move(file)));
    }
    return nullptr;
}

bool UndoJournal::Record(const std::string& line) {
    const std::string bytes = line + "\r\n";
    return file_ && file_->Write(bytes.data(), bytes.size()) && file_->Flush();
}

bool UndoJournal::SaveKey(const std::string& key) {
    if (!keys_.exists(key)) return Record("key\t" + Escape(key) + "\t");
    const std::string name = KeyFileName(++savedKeys_);
    return keys_.save(key, base::JoinPath(folder_, name)) &&
           Record("key\t" + Escape(key) + "\t" + name);
}

std::string UndoJournal::SetAside(const std::string& target, const Mover& mover) {
    const Mover move = mover ? mover : Mover(fileio::MoveToFreePatiently);
    const std::string aside = FreeSibling(target, base::kUndoMark);
    if (aside.empty() || !Record("aside\t" + Escape(target) + "\t" + Escape(aside)) ||
        !move(target, aside))
        return {};
    return aside;
}

bool UndoJournal::NotePlacing(const std::string& target, const std::string& staged) {
    const std::string mark = ContentMark(staged);
    return !mark.empty() && Record("place\t" + Escape(target) + "\t" + mark);
}

bool UndoJournal::Finish() {
    // The restore's keys reach the disk before "done" does: a set that is done is never taken
    // back at a start, so a power loss must not find it done and the keys as they were.
    return (!keys_.flush || keys_.flush()) && Record("done");
}

base::SystemError UndoJournal::WriteError() const {
    return file_ ? file_->Error() : base::SystemError{};
}

TakeBackOutcome UndoJournal::TakeBack() {
    // The journal is read back whole first; it is open without sharing while the restore works.
    file_.reset();
    return TakeBackSet(folder_, keys_, AppenderFor(folder_));
}

std::vector<UndoSetInfo> ListUndoSets(const std::string& undoFolder) {
    std::vector<std::string> names;
    for (auto& name : fileio::ListFolderNames(undoFolder))
        if (SetNumber(name) != 0) names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    std::vector<UndoSetInfo> sets;
    for (const auto& name : names) {
        const std::string folder = base::JoinPath(undoFolder, name);
        const Journal journal = ReadJournal(folder);
        sets.push_back(
            {folder,
             journal.done && !journal.undoing && journal.freed.empty() && !journal.abandoned,
             journal.abandoned});
    }
    return sets;
}

RecoveryOutcome RecoverUnfinishedRestores(const std::string& undoFolder, const KeyKeeper& keys) {
    RecoveryOutcome outcome;
    auto sets = ListUndoSets(undoFolder);
    for (auto set = sets.rbegin(); set != sets.rend(); ++set) {
        if (set->finished || set->abandoned) continue;
        const Journal journal = ReadJournal(set->folder);
        TakeBackOutcome back;
        if (journal.done && !journal.undoing && !journal.unreadable) {
            // An undo ended before it counted: the restore stays, as it was before the undo.
            if (PutBackFreedNames(journal, back, AppenderFor(set->folder))) continue;
        } else {
            back = TakeBackSet(set->folder, keys, AppenderFor(set->folder));
        }
        ++outcome.sets;
        outcome.ok = outcome.ok && back.ok;
        outcome.kept.insert(outcome.kept.end(), back.kept.begin(), back.kept.end());
        outcome.notPutBack.insert(outcome.notPutBack.end(), back.notPutBack.begin(),
                                  back.notPutBack.end());
    }
    return outcome;
}

bool AbandonUnfinishedRestores(const std::string& undoFolder) {
    bool ok = true;
    for (const auto& set : ListUndoSets(undoFolder))
        if (!set.finished && !set.abandoned) ok = AppenderFor(set.folder)("abandoned") && ok;
    return ok;
}

bool CanUndoLastRestore(const std::string& undoFolder) {
    const auto sets = ListUndoSets(undoFolder);
    return !sets.empty() && sets.back().finished;
}

TakeBackOutcome UndoLastRestore(const std::string& undoFolder, const KeyKeeper& keys) {
    const auto sets = ListUndoSets(undoFolder);
    if (sets.empty() || !sets.back().finished) return {};
    return TakeBackSet(sets.back().folder, keys, AppenderFor(sets.back().folder));
}

void RemoveOldUndoSets(const std::string& undoFolder, size_t keep) {
    const auto sets = ListUndoSets(undoFolder);
    size_t finished = 0;
    for (auto set = sets.rbegin(); set != sets.rend(); ++set) {
        if (!set->finished || ++finished <= keep) continue;
        const Journal journal = ReadJournal(set->folder);
        for (const auto& step : journal.files)
            if (!step.aside.empty()) fileio::RemoveFile(step.aside);
        for (const auto& removed : journal.removed) fileio::RemoveFile(removed);
        RemoveSetFolder(set->folder);
    }
}

}  // namespace kestrine::recovery
