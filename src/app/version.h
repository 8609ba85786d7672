#pragma once

namespace kestrine {
// The application title: every message box of the program carries it.
extern const char* const kProductName;
extern const char* const kProductVersion;
}  // namespace kestrine
