#pragma once
// The native build's registry lives in memory (registry_access_memory.cpp): its predefined roots,
// and what can be done to the store itself beyond the registry's calls. What it answers instead of
// an operation, and who hears of a flush, platform/posix_hooks.h says. Not part of the Windows
// build.
#include <cstdint>

namespace kestrine::platform::memory_registry {

// Predefined roots the memory registry knows; others (and 0) are invalid handles.
inline constexpr uint32_t kClassesRoot = 0x80000000u;
inline constexpr uint32_t kCurrentUser = 0x80000001u;
inline constexpr uint32_t kLocalMachine = 0x80000002u;
inline constexpr uint32_t kUsers = 0x80000003u;
inline constexpr uint32_t kCurrentConfig = 0x80000005u;

// Empties the registry back to the keys every Windows has ("Software" under the current user and
// the local machine, the machine's 32-bit view "Software\WOW6432Node"). Keys that are open stay
// usable but no longer belong to the registry.
void Empty();

// Open keys not yet closed (a key left open is a leak on Windows).
int OpenKeyCount();

}  // namespace kestrine::platform::memory_registry
