#include "archive/aes_instructions.h"

#include "archive/processor_features.h"
#include "base/secret.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KESTRINE_AES_NI 1
#endif

namespace kestrine::archive::crypto {

AesInstructions::~AesInstructions() {
    base::WipeBytes(roundKeys_, sizeof roundKeys_);
}

#ifdef KESTRINE_AES_NI
namespace {

#define KESTRINE_AES_TARGET __attribute__((target("aes,sse2")))

// The next round key's words: each earlier word folded into the ones after it, then the
// key-schedule word `assist` (already spread over all four lanes) added.
KESTRINE_AES_TARGET __m128i Fold(__m128i key, __m128i assist) {
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 8));
    return _mm_xor_si128(key, assist);
}

// The round constant must be an immediate, hence the macros.
#define KESTRINE_NEXT128(rcon) \
    k[i + 1] = Fold(k[i], _mm_shuffle_epi32(_mm_aeskeygenassist_si128(k[i], rcon), 0xff)), ++i
#define KESTRINE_NEXT256(rcon)                                                                 \
    k[i + 2] = Fold(k[i], _mm_shuffle_epi32(_mm_aeskeygenassist_si128(k[i + 1], rcon), 0xff)); \
    if (i + 3 < 15)                                                                            \
        k[i + 3] =                                                                             \
            Fold(k[i + 1], _mm_shuffle_epi32(_mm_aeskeygenassist_si128(k[i + 2], 0), 0xaa));   \
    i += 2

KESTRINE_AES_TARGET void Expand128(const uint8_t* key, __m128i k[15]) {
    int i = 0;
    k[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    KESTRINE_NEXT128(0x01);
    KESTRINE_NEXT128(0x02);
    KESTRINE_NEXT128(0x04);
    KESTRINE_NEXT128(0x08);
    KESTRINE_NEXT128(0x10);
    KESTRINE_NEXT128(0x20);
    KESTRINE_NEXT128(0x40);
    KESTRINE_NEXT128(0x80);
    KESTRINE_NEXT128(0x1b);
    KESTRINE_NEXT128(0x36);
}

KESTRINE_AES_TARGET void Expand256(const uint8_t* key, __m128i k[15]) {
    int i = 0;
    k[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    k[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16));
    KESTRINE_NEXT256(0x01);
    KESTRINE_NEXT256(0x02);
    KESTRINE_NEXT256(0x04);
    KESTRINE_NEXT256(0x08);
    KESTRINE_NEXT256(0x10);
    KESTRINE_NEXT256(0x20);
    KESTRINE_NEXT256(0x40);
}
#undef KESTRINE_NEXT128
#undef KESTRINE_NEXT256

// Adds (XOR) the encryption of `Blocks` counters into what `data` holds. The rounds are a template
// argument so that the loops unroll and the blocks stay in registers.
template <int Blocks, int Rounds>
KESTRINE_AES_TARGET void XorCounters(const __m128i* k, uint64_t& low, uint64_t& high,
                                     uint8_t* data) {
    __m128i b[Blocks];
    for (int n = 0; n < Blocks; ++n) {
        b[n] = _mm_xor_si128(
            _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low)), k[0]);
        if (++low == 0) ++high;
    }
#pragma GCC unroll 14
    for (int r = 1; r < Rounds; ++r) {
        const __m128i key = _mm_load_si128(k + r);
#pragma GCC unroll 8
        for (int n = 0; n < Blocks; ++n) b[n] = _mm_aesenc_si128(b[n], key);
    }
    for (int n = 0; n < Blocks; ++n) {
        auto* at = reinterpret_cast<__m128i*>(data + 16 * n);
        _mm_storeu_si128(at,
                         _mm_xor_si128(_mm_aesenclast_si128(b[n], k[Rounds]), _mm_loadu_si128(at)));
    }
}

template <int Rounds>
KESTRINE_AES_TARGET void XorCounterBlocks(const __m128i* k, uint64_t low, uint64_t high,
                                          uint8_t* data, size_t blocks) {
    for (; blocks >= 8; blocks -= 8, data += 8 * 16) XorCounters<8, Rounds>(k, low, high, data);
    for (; blocks > 0; --blocks, data += 16) XorCounters<1, Rounds>(k, low, high, data);
}

// The 256-bit registers: the same counters, two to a register, eight registers side by side. The
// rounds are a template argument so that the loops unroll. Only the low words count up: the caller
// never hands over a batch in which they would wrap.
#define KESTRINE_VAES256_TARGET __attribute__((target("aes,sse2,avx2,vaes")))

template <int Rounds>
KESTRINE_VAES256_TARGET void XorCounters256(const __m128i* k, uint64_t low, uint64_t high,
                                            uint8_t* data, size_t steps) {
    const auto h = static_cast<long long>(high);
    __m256i counter =
        _mm256_set_epi64x(h, static_cast<long long>(low + 1), h, static_cast<long long>(low));
    const __m256i two = _mm256_set_epi64x(0, 2, 0, 2);
    for (; steps > 0; --steps, data += 8 * 32) {
        __m256i b[8];
#pragma GCC unroll 8
        for (int n = 0; n < 8; ++n) {
            b[n] = _mm256_xor_si256(counter, _mm256_broadcastsi128_si256(_mm_load_si128(k)));
            counter = _mm256_add_epi64(counter, two);
        }
#pragma GCC unroll 14
        for (int r = 1; r < Rounds; ++r) {
            const __m256i key = _mm256_broadcastsi128_si256(_mm_load_si128(k + r));
#pragma GCC unroll 8
            for (int n = 0; n < 8; ++n) b[n] = _mm256_aesenc_epi128(b[n], key);
        }
        const __m256i last = _mm256_broadcastsi128_si256(_mm_load_si128(k + Rounds));
#pragma GCC unroll 8
        for (int n = 0; n < 8; ++n) {
            auto* at = reinterpret_cast<__m256i*>(data + 32 * n);
            _mm256_storeu_si256(
                at, _mm256_xor_si256(_mm256_aesenclast_epi128(b[n], last), _mm256_loadu_si256(at)));
        }
    }
}

// Blocks a step of the 256-bit registers takes, and whether `low` counts through that many without
// wrapping.
constexpr size_t kBlocks256 = 16;

bool CountsThrough(uint64_t low, size_t blocks) {
    return low <= UINT64_MAX - blocks;
}

}  // namespace

bool AesInstructions::Init(const uint8_t* key, size_t keySize, Width widest) {
    rounds_ = 0;
    if (!Processor().aes || (keySize != 16 && keySize != 32)) return false;
    width_ = widest == Width::Bits256 && Processor().vaes256 ? Width::Bits256 : Width::Bits128;
    auto* k = reinterpret_cast<__m128i*>(roundKeys_);
    if (keySize == 16) {
        Expand128(key, k);
        rounds_ = 10;
    } else {
        Expand256(key, k);
        rounds_ = 14;
    }
    return true;
}

void AesInstructions::XorCounterStream(uint64_t low, uint64_t high, uint8_t* data,
                                       size_t blocks) const {
    const auto* k = reinterpret_cast<const __m128i*>(roundKeys_);
    if (width_ == Width::Bits256 && blocks >= kBlocks256) {
        const size_t steps = blocks / kBlocks256;
        if (CountsThrough(low, steps * kBlocks256)) {
            (rounds_ == 10 ? XorCounters256<10> : XorCounters256<14>)(k, low, high, data, steps);
            low += steps * kBlocks256;
            data += steps * kBlocks256 * 16;
            blocks -= steps * kBlocks256;
        }
    }
    (rounds_ == 10 ? XorCounterBlocks<10> : XorCounterBlocks<14>)(k, low, high, data, blocks);
}

#else

bool AesInstructions::Init(const uint8_t*, size_t, Width) {
    return false;
}
void AesInstructions::XorCounterStream(uint64_t, uint64_t, uint8_t*, size_t) const {}

#endif

}  // namespace kestrine::archive::crypto
