#pragma once
// How a backup or restore run tells whoever started it what it is doing, and learns that it should
// stop. The run calls these from the thread it runs on; every member may be left empty.
#include <cstdint>
#include <functional>
#include <string>

#include "backup_format/items.h"

namespace kestrine::archive {

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
    std::function<void(Item)> stepStarted;
    // After each step in the run's order, also for a step that was not chosen.
    std::function<void(Item, StepOutcome)> stepFinished;
    std::function<void(const Progress&)> progress;
    // When a backup begins to read its finished archive back to check it.
    std::function<void()> checking;
    // Asked between files and between items, and by a backup also between the chunks of a large
    // file: true stops the run there. A backup then abandons its archive; a restore stops before
    // the next item, never inside one.
    std::function<bool()> cancelRequested;

    bool Cancelled() const { return cancelRequested && cancelRequested(); }
};

}  // namespace kestrine::archive
