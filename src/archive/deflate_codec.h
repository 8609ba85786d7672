#pragma once
// Deflate for whole buffers (libdeflate): the writer's chunks and small entries, the reader's
// indexed chunks and small entries, and the CRC-32 of both. Streams that arrive piece by piece
// (large entries without a chunk index) are inflated with zlib in the reader.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/byte_buffer.h"

namespace kestrine::archive::deflate {

// An empty final block with fixed codes: ends a stream of pieces.
inline constexpr uint8_t kFinalBlock[2] = {0x03, 0x00};

// Compresses in[0..size) into `out` (resized to fit) as a piece of a raw deflate stream that needs
// nothing before it and ends byte-aligned with no final block, so pieces concatenate into one
// stream that kFinalBlock ends; each piece can also be inflated on its own. Runs of 64 KiB blocks
// that look incompressible go into stored blocks without being searched for matches. False only
// when memory runs out. Safe on several threads at once.
bool CompressPiece(const uint8_t* in, size_t size, std::vector<uint8_t>& out);
// The same into a buffer that keeps its room between pieces without clearing it.
bool CompressPiece(const uint8_t* in, size_t size, base::ByteBuffer& out);

// Inflates one whole piece into out[0..outSize) and checks it produced exactly outSize bytes
// from all of its input. A piece that is not `last` must end at a block boundary without a final
// block; the caller leaves two bytes of room after in[size] (they are overwritten). The last
// piece must end the stream (bytes after its end are ignored, as in a stream read).
bool InflatePiece(uint8_t* in, size_t size, bool last, uint8_t* out, size_t outSize);

// Whether a piece that is not the last inflates to exactly expected[0..expectedSize), byte for
// byte, as InflatePiece would produce it (with the same two bytes of room after in[size]). A piece
// of stored blocks alone, as incompressible data is written, is compared where it lies, without
// being copied out; any other goes through `scratch`.
bool PieceInflatesTo(uint8_t* in, size_t size, const uint8_t* expected, size_t expectedSize,
                     std::vector<uint8_t>& scratch);
// Whether a piece is made of stored blocks alone (and so is compared where it lies).
bool IsStoredOnly(const uint8_t* piece, size_t size);

// The CRC-32 of zip (crc continues an earlier value; 0 to start).
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size);

}  // namespace kestrine::archive::deflate
