#include "archive/blake3.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "archive/processor_features.h"

namespace kestrine::archive::crypto {

namespace {

constexpr uint32_t kIv[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                             0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
constexpr uint32_t kChunkStart = 1, kChunkEnd = 2, kParent = 4, kRoot = 8;
constexpr size_t kChunkSize = 1024, kBlockSize = 64;

// The message words each of the seven rounds takes, in order: the words are permuted once more
// after every round.
struct Schedule {
    uint8_t word[7][16];
};
constexpr Schedule MakeSchedule() {
    constexpr uint8_t permutation[16] = {2, 6, 3, 10, 7, 0, 4, 13, 1, 11, 12, 5, 9, 14, 15, 8};
    Schedule s{};
    for (uint8_t i = 0; i < 16; ++i) s.word[0][i] = i;
    for (int r = 1; r < 7; ++r) {
        for (int i = 0; i < 16; ++i) s.word[r][i] = s.word[r - 1][permutation[i]];
    }
    return s;
}
constexpr Schedule kSchedule = MakeSchedule();

inline uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Lanes of words side by side.
typedef uint32_t Lanes4 __attribute__((vector_size(16)));
typedef uint32_t Lanes8 __attribute__((vector_size(32)));
typedef uint32_t Lanes16 __attribute__((vector_size(64)));

// x rotated right by n bits in place, for one word or for lanes of them. Whole bytes move by a byte
// shuffle on the 256-bit registers (AVX2 has no rotation, and its byte shuffle is one step); the
// 512-bit ones have a rotation, which the compiler finds in the shifts. Vectors go by reference
// throughout: by value, to a function of no particular target, they would change how they pass.
typedef uint8_t Bytes32 __attribute__((vector_size(32)));
template <size_t Bytes, size_t... I>
[[gnu::always_inline]] inline void RotateBytes(Lanes8& x, std::index_sequence<I...>) {
    const Bytes32 b = (Bytes32)x;
    x = (Lanes8)__builtin_shufflevector(b, b, ((I & ~size_t{3}) | ((I + Bytes) & 3))...);
}
template <int N, typename W>
[[gnu::always_inline]] inline void RotateRight(W& x) {
    if constexpr (std::is_same_v<W, Lanes8> && N % 8 == 0) {
        RotateBytes<N / 8>(x, std::make_index_sequence<32>{});
    } else {
        x = (x >> N) | (x << (32 - N));
    }
}

// The rounds, for one state (W a word) or for several side by side (W a vector of words).
#define KESTRINE_G(a, b, c, d, x, y) \
    v[a] = v[a] + v[b] + (x);        \
    v[d] ^= v[a];                    \
    RotateRight<16>(v[d]);           \
    v[c] = v[c] + v[d];              \
    v[b] ^= v[c];                    \
    RotateRight<12>(v[b]);           \
    v[a] = v[a] + v[b] + (y);        \
    v[d] ^= v[a];                    \
    RotateRight<8>(v[d]);            \
    v[c] = v[c] + v[d];              \
    v[b] ^= v[c];                    \
    RotateRight<7>(v[b])

template <typename W>
[[gnu::always_inline]] inline void Rounds(W* v, const W* m) {
    for (const auto& s : kSchedule.word) {
        KESTRINE_G(0, 4, 8, 12, m[s[0]], m[s[1]]);
        KESTRINE_G(1, 5, 9, 13, m[s[2]], m[s[3]]);
        KESTRINE_G(2, 6, 10, 14, m[s[4]], m[s[5]]);
        KESTRINE_G(3, 7, 11, 15, m[s[6]], m[s[7]]);
        KESTRINE_G(0, 5, 10, 15, m[s[8]], m[s[9]]);
        KESTRINE_G(1, 6, 11, 12, m[s[10]], m[s[11]]);
        KESTRINE_G(2, 7, 8, 13, m[s[12]], m[s[13]]);
        KESTRINE_G(3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
}
#undef KESTRINE_G

// One compression: the next chaining value (8 words) out.
void Compress(const uint32_t cv[8], const uint32_t m[16], uint64_t counter, uint32_t blockLen,
              uint32_t flags, uint32_t out[8]) {
    uint32_t v[16] = {cv[0],
                      cv[1],
                      cv[2],
                      cv[3],
                      cv[4],
                      cv[5],
                      cv[6],
                      cv[7],
                      kIv[0],
                      kIv[1],
                      kIv[2],
                      kIv[3],
                      static_cast<uint32_t>(counter),
                      static_cast<uint32_t>(counter >> 32),
                      blockLen,
                      flags};
    Rounds(v, m);
    for (int i = 0; i < 8; ++i) out[i] = v[i] ^ v[i + 8];
}

void LoadBlock(const uint8_t* p, size_t size, uint32_t m[16]) {
    uint8_t block[kBlockSize] = {};
    for (size_t i = 0; i < size; ++i) block[i] = p[i];
    for (int w = 0; w < 16; ++w) m[w] = Load32(block + 4 * w);
}

// A node's last compression, kept back until it is known whether the node is the root.
struct Output {
    uint32_t cv[8];
    uint32_t block[16];
    uint64_t counter = 0;
    uint32_t blockLen = 0;
    uint32_t flags = 0;

    void ChainingValue(uint32_t out[8]) const {
        Compress(cv, block, counter, blockLen, flags, out);
    }
    void Root(uint8_t out[kBlake3Size]) const {
        uint32_t words[8];
        Compress(cv, block, 0, blockLen, flags | kRoot, words);
        for (int i = 0; i < 8; ++i) {
            for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<uint8_t>(words[i] >> (8 * b));
        }
    }
};

// A chunk of 0 to 1,024 bytes, the `index`th of the input.
Output ChunkOutput(const uint8_t* p, size_t size, uint64_t index) {
    Output o;
    for (int i = 0; i < 8; ++i) o.cv[i] = kIv[i];
    const size_t blocks = size == 0 ? 1 : (size + kBlockSize - 1) / kBlockSize;
    uint32_t m[16];
    for (size_t b = 0; b + 1 < blocks; ++b) {
        LoadBlock(p + b * kBlockSize, kBlockSize, m);
        Compress(o.cv, m, index, kBlockSize, b == 0 ? kChunkStart : 0, o.cv);
    }
    const size_t last = size - (blocks - 1) * kBlockSize;
    LoadBlock(p + (blocks - 1) * kBlockSize, last, o.block);
    o.counter = index;
    o.blockLen = static_cast<uint32_t>(last);
    o.flags = (blocks == 1 ? kChunkStart : 0) | kChunkEnd;
    return o;
}

Output ParentOutput(const uint32_t left[8], const uint32_t right[8]) {
    Output o;
    for (int i = 0; i < 8; ++i) {
        o.cv[i] = kIv[i];
        o.block[i] = left[i];
        o.block[i + 8] = right[i];
    }
    o.blockLen = kBlockSize;
    o.flags = kParent;
    return o;
}

// One step of turning rows of n words into columns: the off-diagonal blocks of `B` words of each
// pair of rows B apart change places.
template <typename V, size_t B, size_t... I>
[[gnu::always_inline]] inline void SwapBlocks(V* rows, std::index_sequence<I...>) {
    constexpr size_t n = sizeof...(I);
    for (size_t i = 0; i < n; ++i) {
        if (i & B) continue;
        const V a = rows[i], b = rows[i + B];
        rows[i] = __builtin_shufflevector(a, b, ((I & B) ? n + I - B : I)...);
        rows[i + B] = __builtin_shufflevector(a, b, ((I & B) ? n + I : I + B)...);
    }
}
template <typename V, size_t B>
[[gnu::always_inline]] inline void SwapBlocks(V* rows) {
    SwapBlocks<V, B>(rows, std::make_index_sequence<sizeof(V) / sizeof(uint32_t)>{});
}

// Word w of the block at p + l * kChunkSize into m[w][l], for every lane l: n words of each lane's
// block at a time, turned from rows into columns.
template <typename V>
[[gnu::always_inline]] inline void LoadWords(const uint8_t* p, V* m) {
    static_assert(std::endian::native == std::endian::little, "the words are loaded as they lie");
    constexpr size_t n = sizeof(V) / sizeof(uint32_t);
    for (size_t g = 0; g < 16; g += n) {
        V* rows = m + g;
        for (size_t l = 0; l < n; ++l) std::memcpy(&rows[l], p + l * kChunkSize + 4 * g, sizeof(V));
        SwapBlocks<V, 1>(rows);
        SwapBlocks<V, 2>(rows);
        if constexpr (n >= 8) SwapBlocks<V, 4>(rows);
        if constexpr (n >= 16) SwapBlocks<V, 8>(rows);
    }
}

// The chaining values of full chunks index, index + 1, ... (one to a lane) into cvs.
template <typename V>
[[gnu::always_inline]] inline void ChunksSideBySide(const uint8_t* p, uint64_t index,
                                                    uint32_t* cvs) {
    constexpr int kLanes = sizeof(V) / sizeof(uint32_t);
    V h[8], low, high;
    for (int i = 0; i < 8; ++i) h[i] = V{} + kIv[i];
    for (int l = 0; l < kLanes; ++l) {
        low[l] = static_cast<uint32_t>(index + l);
        high[l] = static_cast<uint32_t>((index + l) >> 32);
    }
    for (size_t b = 0; b < kChunkSize / kBlockSize; ++b) {
        V m[16];
        LoadWords(p + b * kBlockSize, m);
        const uint32_t flags = (b == 0 ? kChunkStart : 0) | (b == 15 ? kChunkEnd : 0);
        V v[16] = {h[0],         h[1],         h[2], h[3],         h[4],
                   h[5],         h[6],         h[7], V{} + kIv[0], V{} + kIv[1],
                   V{} + kIv[2], V{} + kIv[3], low,  high,         V{} + uint32_t{kBlockSize},
                   V{} + flags};
        Rounds(v, m);
        for (int i = 0; i < 8; ++i) h[i] = v[i] ^ v[i + 8];
    }
    for (int l = 0; l < kLanes; ++l) {
        for (int i = 0; i < 8; ++i) cvs[8 * l + i] = h[i][l];
    }
}

// The parents of pairs of chaining values, pairs[16 * l ..] to out[8 * l ..], one to a lane.
template <typename V>
[[gnu::always_inline]] inline void ParentsSideBySide(const uint32_t* pairs, uint32_t* out) {
    constexpr int kLanes = sizeof(V) / sizeof(uint32_t);
    V m[16];
    for (int w = 0; w < 16; ++w) {
        for (int l = 0; l < kLanes; ++l) m[w][l] = pairs[16 * l + w];
    }
    V v[16] = {V{} + kIv[0], V{} + kIv[1], V{} + kIv[2], V{} + kIv[3], V{} + kIv[4],
               V{} + kIv[5], V{} + kIv[6], V{} + kIv[7], V{} + kIv[0], V{} + kIv[1],
               V{} + kIv[2], V{} + kIv[3], V{},          V{},          V{} + uint32_t{kBlockSize},
               V{} + kParent};
    Rounds(v, m);
    for (int l = 0; l < kLanes; ++l) {
        for (int i = 0; i < 8; ++i) out[8 * l + i] = v[i][l] ^ v[i + 8][l];
    }
}

void Chunks4(const uint8_t* p, uint64_t index, uint32_t* cvs) {
    ChunksSideBySide<Lanes4>(p, index, cvs);
}
void Parents4(const uint32_t* pairs, uint32_t* out) {
    ParentsSideBySide<Lanes4>(pairs, out);
}
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void Chunks8(const uint8_t* p, uint64_t index, uint32_t* cvs) {
    ChunksSideBySide<Lanes8>(p, index, cvs);
}
__attribute__((target("avx2"))) void Parents8(const uint32_t* pairs, uint32_t* out) {
    ParentsSideBySide<Lanes8>(pairs, out);
}
__attribute__((target("avx512f"))) void Chunks16(const uint8_t* p, uint64_t index, uint32_t* cvs) {
    ChunksSideBySide<Lanes16>(p, index, cvs);
}
__attribute__((target("avx512f"))) void Parents16(const uint32_t* pairs, uint32_t* out) {
    ParentsSideBySide<Lanes16>(pairs, out);
}
#endif

}  // namespace

size_t Blake3WidestLanes() {
#if defined(__x86_64__) || defined(__i386__)
    if (Processor().avx512) return 16;
    if (Processor().avx2) return 8;
#endif
    return 4;
}

namespace {

void ChunksOf(size_t lanes, const uint8_t* p, uint64_t index, uint32_t* cvs) {
#if defined(__x86_64__) || defined(__i386__)
    if (lanes == 16) return Chunks16(p, index, cvs);
    if (lanes == 8) return Chunks8(p, index, cvs);
#endif
    Chunks4(p, index, cvs);
}
void ParentsOf(size_t lanes, const uint32_t* pairs, uint32_t* out) {
#if defined(__x86_64__) || defined(__i386__)
    if (lanes == 16) return Parents16(pairs, out);
    if (lanes == 8) return Parents8(pairs, out);
#endif
    Parents4(pairs, out);
}

}  // namespace

void Blake3(const uint8_t* data, size_t size, uint8_t out[kBlake3Size], size_t lanes) {
    if (size <= kChunkSize) return ChunkOutput(data, size, 0).Root(out);
    const size_t chunks = (size + kChunkSize - 1) / kChunkSize;
    // Every chunk's chaining value, then each level's parents in place of their children: the
    // tree BLAKE3 defines pairs neighbours level by level and carries an odd last node up.
    std::vector<uint32_t> cvs(8 * chunks);
    const size_t widest = lanes ? std::min(lanes, Blake3WidestLanes()) : Blake3WidestLanes();
    size_t done = 0;
    for (size_t side = widest; side >= 4; side /= 2) {
        for (; (done + side) * kChunkSize <= size; done += side) {
            ChunksOf(side, data + done * kChunkSize, done, &cvs[8 * done]);
        }
    }
    for (; done < chunks; ++done) {
        const size_t part = std::min(kChunkSize, size - done * kChunkSize);
        ChunkOutput(data + done * kChunkSize, part, done).ChainingValue(&cvs[8 * done]);
    }
    for (size_t count = chunks; count > 2; count = (count + 1) / 2) {
        const size_t pairs = count / 2;
        size_t made = 0;
        for (size_t side = widest; side >= 4; side /= 2) {
            for (; made + side <= pairs; made += side) {
                ParentsOf(side, &cvs[16 * made], &cvs[8 * made]);
            }
        }
        for (; made < pairs; ++made) {
            ParentOutput(&cvs[16 * made], &cvs[16 * made + 8]).ChainingValue(&cvs[8 * made]);
        }
        if (count % 2) {
            for (int i = 0; i < 8; ++i) cvs[8 * pairs + i] = cvs[8 * (count - 1) + i];
        }
    }
    ParentOutput(&cvs[0], &cvs[8]).Root(out);
}

}  // namespace kestrine::archive::crypto
