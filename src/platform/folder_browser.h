#pragma once
// The shell's folder browser.
#include <string>

namespace kestrine::platform {

// Do not go below the domain level in the network part of the tree.
inline constexpr unsigned kBrowseDontGoBelowDomain = 0x2;

// Shows the folder browser owned by `owner` (a window handle; null: none) with `prompt` as its
// instruction text, `flags` added to the browser's own, and `start` selected when it names a
// folder. Returns the chosen folder's path, or the empty text when the user cancelled.
std::string BrowseForFolder(const std::string& prompt, void* owner, unsigned flags,
                            const std::string& start = "");

}  // namespace kestrine::platform
