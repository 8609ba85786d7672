#pragma once
// A security identifier as text. Internal to the platform layer (Windows).
#include <windows.h>

#include <string>

namespace kestrine::platform {

// `sid` in its string form ("S-1-5-21-..."); empty when there is none or it cannot be converted.
std::string SidText(PSID sid);

}  // namespace kestrine::platform
