#pragma once
// Secrets (passwords, keys derived from them) are overwritten before their memory is let go, so
// that they do not linger in the process for a later reader of its memory or of a crash dump.
#include <cstddef>
#include <string>

namespace kestrine::base {

// Overwrites `size` bytes at `data` with zeros, in a way the optimiser cannot leave out.
void WipeBytes(void* data, size_t size);
// Overwrites the text's characters (its whole capacity) and empties it.
void Wipe(std::string& secret);

}  // namespace kestrine::base
