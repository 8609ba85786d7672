#pragma once
// How a backup or restore run tells whoever started it what it is doing, and learns that it should
// stop. The run calls these from the thread it runs on. Every callback starts as one that does
// nothing, and the stop token as one that is never stopped: a caller sets only what it follows.
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

#include "archive/zip_observer.h"
#include "backup_format/items.h"

namespace kestrine::backup_format {

// The result of one item's step: not chosen, or run with its handler's result.
enum class StepOutcome { NotRun, Succeeded, Failed };

// Bytes of the run's files moved so far, of all the run will move; a large file's bytes are
// counted as they are moved.
struct Progress {
    Item item;
    std::string file;  // bare name of the file being added or extracted
    uint64_t bytesDone = 0;
    uint64_t bytesExpected = 0;
};

struct RunObserver {
    // Before an item's step runs.
    std::function<void(Item)> stepStarted = [](Item) {};
    // After each step in the run's order, also for a step that was not chosen.
    std::function<void(Item, StepOutcome)> stepFinished = [](Item, StepOutcome) {};
    std::function<void(const Progress&)> progress = [](const Progress&) {};
    // When a backup begins to read its finished archive back to check it.
    std::function<void()> checking = [] {};
    // Looked at between files and between items, and by a backup also between the chunks of a
    // large file and while it waits for another run: a requested stop ends the run there. A
    // backup then abandons its archive; a restore stops before the next item, never inside one.
    std::stop_token stop{};

    bool Cancelled() const { return stop.stop_requested(); }
};

// A run as the zip library hears it: an entry's bytes move the run's progress, `stop` stops the
// library between chunks (a token never stopped, for a run that must not stop inside an entry),
// `check` sees a finished archive before it replaces anything, `held` hears a wait for a file
// another program holds. The callbacks start as ones that do nothing and pass every check.
class RunZipObserver final : public archive::ZipObserver {
  public:
    explicit RunZipObserver(std::stop_token stop) : stop_(std::move(stop)) {}
    std::function<void(uint64_t done)> entryBytes = [](uint64_t) {};
    std::function<bool(const std::string& finishedPath)> check = [](const std::string&) {
        return true;
    };
    std::function<void(const std::string& path)> held = [](const std::string&) {};
    std::function<void(const std::string& why)> earlierUnused = [](const std::string&) {};

  private:
    void EntryProgress(const std::string&, uint64_t done, uint64_t) override { entryBytes(done); }
    bool CancelRequested() override { return stop_.stop_requested(); }
    bool CheckFinished(const std::string& finishedPath) override { return check(finishedPath); }
    void WaitingForHold(const std::string& path) override { held(path); }
    void EarlierArchiveUnused(const std::string& why) override { earlierUnused(why); }
    std::stop_token stop_;
};

}  // namespace kestrine::backup_format
