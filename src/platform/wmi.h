#pragma once
// Windows Management Instrumentation queries of the local computer.
#include <optional>
#include <string>

namespace kestrine::platform {

// The `Version` property of Win32_OperatingSystem (for example "6.1.7601"); when the query
// returns several objects the last one wins. Nothing when WMI cannot be reached or has no answer.
std::optional<std::string> QueryOperatingSystemVersion();

}  // namespace kestrine::platform
