#pragma once
// The native tests' hold on the memory registry (platform/registry_memory.h): they empty it and
// make single operations fail, so that what callers do when the registry refuses is seen without
// Windows, and hear when a root is flushed.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/posix_hooks.h"
#include "platform/registry_memory.h"

namespace kestrine::platform::memory_registry {

using Operation = RegistryOperation;

// Empties the registry (Empty) and forgets planted failures and who hears of flushes.
void Reset();

// From now on `operation` on the key `subkey` of `root` (names compared without regard to case)
// answers `status` instead of doing its work, once `succeedFirst` such calls have done theirs.
// A key opened through the machine's 32-bit view is named as stored ("Software\WOW6432Node\...").
void PlantFailure(Operation operation, uint32_t root, const std::string& subkey, long status,
                  int succeedFirst = 0);

// Forgets planted failures; the keys stay as they are.
void ClearFailures();

// `heard` is told of every flush that succeeds, with its root, until Reset (nothing: no one is).
// The memory registry keeps nothing on a disk: a flush only says when it would have happened.
void WhenFlushed(std::function<void(uint32_t root)> heard);

}  // namespace kestrine::platform::memory_registry
