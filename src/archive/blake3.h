#pragma once
// BLAKE3 (its plain hash, 32 bytes out) of bytes held whole in memory: the digest that tells that a
// piece of an earlier archive holds the same bytes as a file holds now, without inflating the
// piece. Many chunks are hashed side by side in wide registers where the processor has them.
#include <cstddef>
#include <cstdint>

namespace kestrine::archive::crypto {

inline constexpr size_t kBlake3Size = 32;

// How many chunks the processor hashes side by side at most: 4, 8 or 16.
size_t Blake3WidestLanes();
// `lanes` (4, 8 or 16, at most the widest) chooses how many chunks go side by side; 0 the most.
void Blake3(const uint8_t* data, size_t size, uint8_t out[kBlake3Size], size_t lanes = 0);

}  // namespace kestrine::archive::crypto
