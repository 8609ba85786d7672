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

// Adds (XOR) the encryption of `Blocks` counters into what `data` holds.
template <int Blocks>
KESTRINE_AES_TARGET void XorCounters(const __m128i* k, int rounds, uint64_t& low, uint64_t& high,
                                     uint8_t* data) {
    __m128i b[Blocks];
    for (int n = 0; n < Blocks; ++n) {
        b[n] = _mm_xor_si128(
            _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low)), k[0]);
        if (++low == 0) ++high;
    }
    for (int r = 1; r < rounds; ++r)
        for (int n = 0; n < Blocks; ++n) b[n] = _mm_aesenc_si128(b[n], k[r]);
    for (int n = 0; n < Blocks; ++n) {
        auto* at = reinterpret_cast<__m128i*>(data + 16 * n);
        _mm_storeu_si128(at,
                         _mm_xor_si128(_mm_aesenclast_si128(b[n], k[rounds]), _mm_loadu_si128(at)));
    }
}

}  // namespace

bool AesInstructions::Init(const uint8_t* key, size_t keySize) {
    rounds_ = 0;
    if (!Processor().aes || (keySize != 16 && keySize != 32)) return false;
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
    for (; blocks >= 8; blocks -= 8, data += 8 * 16) XorCounters<8>(k, rounds_, low, high, data);
    for (; blocks > 0; --blocks, data += 16) XorCounters<1>(k, rounds_, low, high, data);
}

#else

bool AesInstructions::Init(const uint8_t*, size_t) {
    return false;
}
void AesInstructions::XorCounterStream(uint64_t, uint64_t, uint8_t*, size_t) const {}

#endif

}  // namespace kestrine::archive::crypto
