#pragma once
// The native build's registry lives in memory (registry_access_memory.cpp). Tests empty it and
// make single operations fail, so that what callers do when the registry refuses is seen without
// Windows. Not part of the Windows build.
#include <cstdint>
#include <functional>
#include <string>

namespace kestrine::platform::memory_registry {

// Predefined roots the memory registry knows; others (and 0) are invalid handles.
inline constexpr uint32_t kClassesRoot = 0x80000000u;
inline constexpr uint32_t kCurrentUser = 0x80000001u;
inline constexpr uint32_t kLocalMachine = 0x80000002u;
inline constexpr uint32_t kUsers = 0x80000003u;
inline constexpr uint32_t kCurrentConfig = 0x80000005u;

// Empties the registry back to the keys every Windows has ("Software" under the current user and
// the local machine, the machine's 32-bit view "Software\WOW6432Node") and forgets planted
// failures. Keys that are open stay usable but no longer belong to the registry.
void Reset();

enum class Operation {
    Open,         // opening (also creating) the key itself
    Create,       // creating the key when it does not exist yet
    QueryValue,   // reading a named value of the key
    EnumValues,   // listing the key's values
    EnumSubKeys,  // listing the key's subkeys
    SetValue,     // writing a value of the key
    DeleteValue,  // deleting a value of the key
    DeleteKey,    // deleting the key itself
    Flush,        // writing the root's hive to the disk (the key: "")
};

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

// Open keys not yet closed (a key left open is a leak on Windows).
int OpenKeyCount();

}  // namespace kestrine::platform::memory_registry
