#pragma once
// The digests of a large entry's pieces, which an archive keeps after its last entry's data, out of
// every entry's way (zip tools go by the central directory and pass over them): for each compressed
// piece the BLAKE3 digest of its bytes and the CRC-32 of the piece as it was written. A later
// backup takes an unchanged piece over by hashing the file's bytes rather than inflating the piece,
// and the CRC-32 finds a piece damaged since. A piece written as stored blocks (incompressible
// bytes) needs no digest: comparing it where it lies is cheaper than hashing. In a protected
// archive the digests are encrypted and authenticated like an entry's data, for they would tell of
// the bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/blake3.h"
#include "archive/zip_crypto.h"

namespace kestrine::archive {

struct PieceDigest {
    bool stored = false;  // written as stored blocks: no digest
    uint8_t digest[crypto::kBlake3Size] = {};
    uint32_t storedCrc = 0;  // of the compressed piece, before any encryption
};

// The digests as the archive keeps them, under keys made from `key` when it is given; empty when
// the keys cannot be made.
std::vector<uint8_t> SealPieceDigests(const std::vector<PieceDigest>& digests, uint64_t pieceSize,
                                      const crypto::PasswordKey* key);

// How many bytes the sealed digests of `count` pieces take.
size_t SealedPieceDigestsSize(size_t count, bool protectedByPassword);

// The digests back, with `password` when they were protected; false when they are damaged, were
// sealed otherwise (another password, no password) or describe other pieces than the entry's.
bool OpenPieceDigests(std::vector<uint8_t> sealed, const std::string& password, uint64_t pieceSize,
                      size_t count, std::vector<PieceDigest>& digests);

}  // namespace kestrine::archive
