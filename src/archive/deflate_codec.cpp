#include "archive/deflate_codec.h"

#include <libdeflate.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "archive/zip_types.h"

#ifndef LIBDEFLATE_HAVE_COMPRESS_PIECE
#error "libdeflate without libdeflate_deflate_compress_piece: build it with tools/libdeflate"
#endif

namespace kestrine::archive::deflate {

namespace {

// libdeflate's level 1: measured on the bench's data against levels 2 and 3, it is the fastest
// (a quarter less processor time than level 2) and its archives are still a little smaller than
// those of 7-Zip's fastest zip (0.99 times; levels 2 and 3 reach 0.98).
constexpr int kLevel = 1;
constexpr size_t kProbeBlock = 64 * 1024;
constexpr size_t kMaxStoredBlock = 0xffff;
// A stored block's head on a byte boundary: 0x00 (not final, stored), its length, the length's
// complement.
constexpr size_t kStoredHead = 5;

// Coders kept between pieces, so a piece does not pay for setting one up (a compressor holds
// several hundred KiB of tables). Not thread-local: the MinGW runtime may free a thread's storage
// before that thread's destructors run.
template <class Coder, Coder* (*Make)(), void (*Free)(Coder*)>
class CoderPool {
  public:
    ~CoderPool() {
        for (Coder* c : idle_) Free(c);
    }
    Coder* Take() {
        {
            std::lock_guard lock(mutex_);
            if (!idle_.empty()) {
                Coder* c = idle_.back();
                idle_.pop_back();
                return c;
            }
        }
        return Make();
    }
    void Give(Coder* c) {
        std::lock_guard lock(mutex_);
        idle_.push_back(c);
    }

  private:
    std::mutex mutex_;
    std::vector<Coder*> idle_;
};

libdeflate_compressor* MakeCompressor() {
    return libdeflate_alloc_compressor(kLevel);
}
libdeflate_decompressor* MakeDecompressor() {
    return libdeflate_alloc_decompressor();
}
using Compressors = CoderPool<libdeflate_compressor, MakeCompressor, libdeflate_free_compressor>;
using Decompressors =
    CoderPool<libdeflate_decompressor, MakeDecompressor, libdeflate_free_decompressor>;

// One coder of the pool for one piece, given back when the piece is done.
template <class Pool, class Coder>
class Pooled {
  public:
    explicit Pooled(Pool& pool) : pool_(pool), coder_(pool.Take()) {}
    ~Pooled() {
        if (coder_) pool_.Give(coder_);
    }
    Pooled(const Pooled&) = delete;
    Pooled& operator=(const Pooled&) = delete;
    Coder* get() const { return coder_; }

  private:
    Pool& pool_;
    Coder* coder_;
};

Compressors& CompressorPool() {
    static Compressors pool;
    return pool;
}
Decompressors& DecompressorPool() {
    static Decompressors pool;
    return pool;
}

// True when a block looks like random or already-compressed bytes: its byte entropy is close
// to 8 bits, so deflate could save almost nothing and would only spend time searching.
bool LooksIncompressible(const uint8_t* data, size_t size) {
    if (size < 4096) return false;
    // A whole probe block is judged by a sixteenth of it, 512 bytes of every 8 KiB spread over it
    // (4 KiB: enough for random bytes to show above 7.9 bits); anything shorter by all of it.
    constexpr size_t kSlice = 512;
    const size_t stride = size >= kProbeBlock ? 16 * kSlice : kSlice;
    // Four tables, so that neighbouring equal bytes do not wait on each other's count.
    uint32_t counts[4][256] = {};
    size_t total = 0;
    for (size_t at = 0; at < size; at += stride) {
        const uint8_t* p = data + at;
        const size_t n = std::min(kSlice, size - at);
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            ++counts[0][p[i]];
            ++counts[1][p[i + 1]];
            ++counts[2][p[i + 2]];
            ++counts[3][p[i + 3]];
        }
        for (; i < n; ++i) ++counts[0][p[i]];
        total += n;
    }
    double entropy = 0;
    for (size_t b = 0; b < 256; ++b) {
        const uint32_t c = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
        if (c == 0) continue;
        double p = static_cast<double>(c) / static_cast<double>(total);
        entropy -= p * std::log2(p);
    }
    return entropy > 7.9;
}

bool Grow(std::vector<uint8_t>& out, size_t size) {
    out.resize(size);
    return true;
}
bool Grow(base::ByteBuffer& out, size_t size) {
    return out.Resize(size);
}

// Non-final stored blocks; the stream is byte-aligned before and after them.
void PutStored(const uint8_t* in, size_t size, uint8_t* out, size_t& used) {
    while (size > 0) {
        const size_t n = std::min(size, kMaxStoredBlock);
        const uint8_t head[kStoredHead] = {0x00, static_cast<uint8_t>(n),
                                           static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
                                           static_cast<uint8_t>(~n >> 8)};
        std::memcpy(out + used, head, sizeof head);
        std::memcpy(out + used + sizeof head, in, n);
        used += sizeof head + n;
        in += n;
        size -= n;
    }
}

template <class Buffer>
bool Compress(const uint8_t* in, size_t size, Buffer& out) {
    Pooled<Compressors, libdeflate_compressor> compressor(CompressorPool());
    if (!compressor.get()) return false;
    size_t used = 0;
    // An empty piece is an empty stored block, which also ends byte-aligned.
    if (size == 0) {
        static constexpr uint8_t kEmpty[5] = {0x00, 0x00, 0x00, 0xff, 0xff};
        if (!Grow(out, sizeof kEmpty)) return false;
        std::memcpy(out.data(), kEmpty, sizeof kEmpty);
        return true;
    }
    size_t pos = 0;
    while (pos < size) {
        // A run of probe blocks of one kind.
        const bool stored = LooksIncompressible(in + pos, std::min(kProbeBlock, size - pos));
        size_t end = std::min(size, pos + kProbeBlock);
        while (end < size &&
               LooksIncompressible(in + end, std::min(kProbeBlock, size - end)) == stored) {
            end = std::min(size, end + kProbeBlock);
        }
        const size_t run = end - pos;
        if (stored) {
            if (!Grow(out, used + run + 5 * (run / kMaxStoredBlock + 1))) return false;
            PutStored(in + pos, run, out.data(), used);
        } else {
            const size_t bound = libdeflate_deflate_compress_bound(compressor.get(), run);
            if (!Grow(out, used + bound)) return false;
            const size_t n = libdeflate_deflate_compress_piece(compressor.get(), in + pos, run,
                                                               out.data() + used, bound);
            if (n == 0) return false;  // cannot happen with the bound's room
            used += n;
        }
        pos = end;
    }
    return Grow(out, used);
}

}  // namespace

bool CompressPiece(const uint8_t* in, size_t size, std::vector<uint8_t>& out) {
    return Compress(in, size, out);
}

bool CompressPiece(const uint8_t* in, size_t size, base::ByteBuffer& out) {
    return Compress(in, size, out);
}

bool InflatePiece(uint8_t* in, size_t size, bool last, uint8_t* out, size_t outSize) {
    Pooled<Decompressors, libdeflate_decompressor> decompressor(DecompressorPool());
    if (!decompressor.get()) return false;
    // A piece that is not the last becomes a whole stream with a final block after it; it must
    // then end exactly there.
    size_t total = size;
    if (!last) {
        std::memcpy(in + size, kFinalBlock, sizeof kFinalBlock);
        total += sizeof kFinalBlock;
    }
    size_t consumed = 0, produced = 0;
    const libdeflate_result rc = libdeflate_deflate_decompress_ex(
        decompressor.get(), in, total, out, outSize, &consumed, &produced);
    return rc == LIBDEFLATE_SUCCESS && produced == outSize && (last || consumed == total);
}

namespace {

// A piece made only of non-final stored blocks, each on a byte boundary with no padding bits set:
// its payloads, laid end to end, are what it inflates to. `equal` says whether they are `expected`
// (when given); false when the piece is anything else.
bool StoredOnly(const uint8_t* in, size_t size, const uint8_t* expected, size_t expectedSize,
                bool& equal) {
    size_t at = 0, out = 0;
    equal = true;
    while (at < size) {
        if (size - at < kStoredHead || in[at] != 0x00) return false;
        const size_t n = in[at + 1] | static_cast<size_t>(in[at + 2]) << 8;
        const size_t check = in[at + 3] | static_cast<size_t>(in[at + 4]) << 8;
        if ((n ^ check) != 0xffff || size - at - kStoredHead < n) return false;
        if (equal && (!expected || expectedSize - out < n ||
                      std::memcmp(in + at + kStoredHead, expected + out, n))) {
            equal = false;
        }
        at += kStoredHead + n;
        out += n;
    }
    equal = equal && out == expectedSize;
    return true;
}

}  // namespace

bool IsStoredOnly(const uint8_t* piece, size_t size) {
    bool equal = false;
    return StoredOnly(piece, size, nullptr, 0, equal);
}

bool PieceInflatesTo(uint8_t* in, size_t size, const uint8_t* expected, size_t expectedSize,
                     std::vector<uint8_t>& scratch) {
    bool equal = false;
    if (StoredOnly(in, size, expected, expectedSize, equal)) return equal;
    scratch.resize(expectedSize);
    return InflatePiece(in, size, false, scratch.data(), expectedSize) &&
           std::memcmp(scratch.data(), expected, expectedSize) == 0;
}

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
    return libdeflate_crc32(crc, data, size);
}

}  // namespace kestrine::archive::deflate

namespace kestrine::archive {

StagedContent StagedContentOf(std::string_view bytes) {
    return {bytes.size(),
            deflate::Crc32(0, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())};
}

}  // namespace kestrine::archive
