#include "archive/zip_crypto.h"

#include <gcrypt.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <vector>

#include "archive/processor_features.h"
#include "base/secret.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KESTRINE_SHA_NI 1
#endif

namespace kestrine::archive::crypto {

#ifdef KESTRINE_SHA_NI
namespace {

#define KESTRINE_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// One SHA-1 compression with the SHA instructions. The state is A..D in lanes 3..0 of `abcd` and E
// in lane 3 of `e` (its other lanes stay zero); m0..m3 are the block's sixteen words, W0 in lane 3.
#define KESTRINE_ROUNDS4(func, w)          \
    next = _mm_sha1nexte_epu32(before, w); \
    before = abcd;                         \
    abcd = _mm_sha1rnds4_epu32(abcd, next, func)
#define KESTRINE_SCHEDULE(a, b, c, d) \
    a = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(a, b), c), d)
KESTRINE_SHA_TARGET inline void Compress(__m128i& abcd, __m128i& e, __m128i m0, __m128i m1,
                                         __m128i m2, __m128i m3) {
    const __m128i abcdStart = abcd, eStart = e;
    __m128i next = _mm_add_epi32(e, m0), before = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, next, 0);
    KESTRINE_ROUNDS4(0, m1);
    KESTRINE_ROUNDS4(0, m2);
    KESTRINE_ROUNDS4(0, m3);
    KESTRINE_SCHEDULE(m0, m1, m2, m3);
    KESTRINE_ROUNDS4(0, m0);
    KESTRINE_SCHEDULE(m1, m2, m3, m0);
    KESTRINE_ROUNDS4(1, m1);
    KESTRINE_SCHEDULE(m2, m3, m0, m1);
    KESTRINE_ROUNDS4(1, m2);
    KESTRINE_SCHEDULE(m3, m0, m1, m2);
    KESTRINE_ROUNDS4(1, m3);
    KESTRINE_SCHEDULE(m0, m1, m2, m3);
    KESTRINE_ROUNDS4(1, m0);
    KESTRINE_SCHEDULE(m1, m2, m3, m0);
    KESTRINE_ROUNDS4(1, m1);
    KESTRINE_SCHEDULE(m2, m3, m0, m1);
    KESTRINE_ROUNDS4(2, m2);
    KESTRINE_SCHEDULE(m3, m0, m1, m2);
    KESTRINE_ROUNDS4(2, m3);
    KESTRINE_SCHEDULE(m0, m1, m2, m3);
    KESTRINE_ROUNDS4(2, m0);
    KESTRINE_SCHEDULE(m1, m2, m3, m0);
    KESTRINE_ROUNDS4(2, m1);
    KESTRINE_SCHEDULE(m2, m3, m0, m1);
    KESTRINE_ROUNDS4(2, m2);
    KESTRINE_SCHEDULE(m3, m0, m1, m2);
    KESTRINE_ROUNDS4(3, m3);
    KESTRINE_SCHEDULE(m0, m1, m2, m3);
    KESTRINE_ROUNDS4(3, m0);
    KESTRINE_SCHEDULE(m1, m2, m3, m0);
    KESTRINE_ROUNDS4(3, m1);
    KESTRINE_SCHEDULE(m2, m3, m0, m1);
    KESTRINE_ROUNDS4(3, m2);
    KESTRINE_SCHEDULE(m3, m0, m1, m2);
    KESTRINE_ROUNDS4(3, m3);
    e = _mm_sha1nexte_epu32(before, eStart);
    abcd = _mm_add_epi32(abcd, abcdStart);
}
#undef KESTRINE_ROUNDS4
#undef KESTRINE_SCHEDULE

KESTRINE_SHA_TARGET __m128i ByteSwapLoad(const uint8_t* p) {
    const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

KESTRINE_SHA_TARGET void CompressBlock(uint32_t h[5], const uint8_t* block) {
    __m128i abcd = _mm_set_epi32(static_cast<int>(h[0]), static_cast<int>(h[1]),
                                 static_cast<int>(h[2]), static_cast<int>(h[3]));
    __m128i e = _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0);
    Compress(abcd, e, ByteSwapLoad(block), ByteSwapLoad(block + 16), ByteSwapLoad(block + 32),
             ByteSwapLoad(block + 48));
    h[0] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 3));
    h[1] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 2));
    h[2] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 1));
    h[3] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 0));
    h[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

constexpr uint32_t kSha1Start[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

// Hashes the last `size` bytes of a message of which `done` bytes (whole blocks) went into `h`.
void Sha1Finish(uint32_t h[5], uint64_t done, const uint8_t* data, size_t size, uint8_t out[20]) {
    const uint64_t bits = (done + size) * 8;
    for (; size >= 64; data += 64, size -= 64) CompressBlock(h, data);
    uint8_t tail[128] = {};
    std::memcpy(tail, data, size);
    tail[size] = 0x80;
    const size_t blocks = size + 9 <= 64 ? 1 : 2;
    for (size_t i = 0; i < 8; ++i)
        tail[blocks * 64 - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    for (size_t b = 0; b < blocks; ++b) CompressBlock(h, tail + 64 * b);
    for (size_t i = 0; i < 20; ++i) out[i] = static_cast<uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
}

// Rounds 2..iterations of N output blocks side by side: U = HMAC(U) as two compressions of a
// one-block message (the 20-byte U, its padding and length), T ^= U.
template <int N>
KESTRINE_SHA_TARGET void Pbkdf2Rounds(const uint32_t inner[5], const uint32_t outer[5], __m128i* u,
                                      __m128i* uE, __m128i* t, __m128i* tE, unsigned iterations) {
    auto state = [](const uint32_t h[5]) {
        return _mm_set_epi32(static_cast<int>(h[0]), static_cast<int>(h[1]), static_cast<int>(h[2]),
                             static_cast<int>(h[3]));
    };
    const __m128i innerAbcd = state(inner), outerAbcd = state(outer);
    const __m128i innerE = _mm_set_epi32(static_cast<int>(inner[4]), 0, 0, 0);
    const __m128i outerE = _mm_set_epi32(static_cast<int>(outer[4]), 0, 0, 0);
    const __m128i padding = _mm_set_epi32(0, static_cast<int>(0x80000000u), 0, 0);
    const __m128i zero = _mm_setzero_si128();
    const __m128i length = _mm_set_epi32(0, 0, 0, (64 + 20) * 8);
    for (unsigned round = 1; round < iterations; ++round) {
        __m128i a[N], e[N];
        for (int n = 0; n < N; ++n) {
            a[n] = innerAbcd;
            e[n] = innerE;
            Compress(a[n], e[n], u[n], _mm_or_si128(uE[n], padding), zero, length);
        }
        for (int n = 0; n < N; ++n) {
            u[n] = outerAbcd;
            uE[n] = outerE;
            Compress(u[n], uE[n], a[n], _mm_or_si128(e[n], padding), zero, length);
            t[n] = _mm_xor_si128(t[n], u[n]);
            tE[n] = _mm_xor_si128(tE[n], uE[n]);
        }
    }
}

// Output blocks first+1 .. first+N of PBKDF2 into out (as much of them as fits).
template <int N>
KESTRINE_SHA_TARGET void Pbkdf2Blocks(const uint32_t inner[5], const uint32_t outer[5],
                                      const uint8_t* salt, size_t saltSize, unsigned iterations,
                                      size_t first, uint8_t* out, size_t outSize) {
    __m128i u[N], uE[N], t[N], tE[N];
    std::vector<uint8_t> message(salt, salt + saltSize);
    message.resize(saltSize + 4);
    for (int n = 0; n < N; ++n) {
        const auto index = static_cast<uint32_t>(first + static_cast<size_t>(n) + 1);
        for (size_t i = 0; i < 4; ++i) {
            message[saltSize + i] = static_cast<uint8_t>(index >> (24 - 8 * i));
        }
        uint32_t h[5];
        uint8_t digest[32] = {};
        std::memcpy(h, inner, sizeof h);
        Sha1Finish(h, 64, message.data(), message.size(), digest);
        std::memcpy(h, outer, sizeof h);
        Sha1Finish(h, 64, digest, 20, digest);
        u[n] = t[n] = ByteSwapLoad(digest);
        uE[n] = tE[n] =
            _mm_set_epi32(static_cast<int>(static_cast<uint32_t>(digest[16]) << 24 |
                                           static_cast<uint32_t>(digest[17]) << 16 |
                                           static_cast<uint32_t>(digest[18]) << 8 | digest[19]),
                          0, 0, 0);
    }
    Pbkdf2Rounds<N>(inner, outer, u, uE, t, tE, iterations);
    for (int n = 0; n < N; ++n) {
        const uint32_t words[5] = {static_cast<uint32_t>(_mm_extract_epi32(t[n], 3)),
                                   static_cast<uint32_t>(_mm_extract_epi32(t[n], 2)),
                                   static_cast<uint32_t>(_mm_extract_epi32(t[n], 1)),
                                   static_cast<uint32_t>(_mm_extract_epi32(t[n], 0)),
                                   static_cast<uint32_t>(_mm_extract_epi32(tE[n], 3))};
        for (size_t i = 0; i < 20; ++i) {
            const size_t at = (first + static_cast<size_t>(n)) * 20 + i;
            if (at < outSize) out[at] = static_cast<uint8_t>(words[i / 4] >> (24 - 8 * (i % 4)));
        }
    }
}

}  // namespace
#endif

PasswordKey::PasswordKey(std::string password) : password_(std::move(password)) {
#ifdef KESTRINE_SHA_NI
    fast_ = Processor().sha;
    if (!fast_) return;
    uint8_t key[64] = {};
    if (password_.size() > sizeof key) {
        uint32_t h[5];
        std::memcpy(h, kSha1Start, sizeof h);
        Sha1Finish(h, 0, reinterpret_cast<const uint8_t*>(password_.data()), password_.size(), key);
    } else {
        std::memcpy(key, password_.data(), password_.size());
    }
    uint8_t pad[64];
    for (size_t i = 0; i < sizeof pad; ++i) pad[i] = key[i] ^ 0x36;
    std::memcpy(inner_, kSha1Start, sizeof inner_);
    CompressBlock(inner_, pad);
    for (size_t i = 0; i < sizeof pad; ++i) pad[i] = key[i] ^ 0x5c;
    std::memcpy(outer_, kSha1Start, sizeof outer_);
    CompressBlock(outer_, pad);
    base::WipeBytes(key, sizeof key);
    base::WipeBytes(pad, sizeof pad);
#endif
}

PasswordKey::~PasswordKey() {
    base::Wipe(password_);
    base::WipeBytes(inner_, sizeof inner_);
    base::WipeBytes(outer_, sizeof outer_);
}

bool PasswordKey::Pbkdf2(const uint8_t* salt, size_t saltSize, unsigned iterations, uint8_t* out,
                         size_t outSize) const {
    if (iterations == 0) return false;
#ifdef KESTRINE_SHA_NI
    if (fast_) {
        const size_t blocks = (outSize + 19) / 20;
        for (size_t first = 0; first < blocks;) {
            const size_t left = blocks - first;
            if (left >= 3) {
                Pbkdf2Blocks<4>(inner_, outer_, salt, saltSize, iterations, first, out, outSize);
                first += 4;
            } else if (left == 2) {
                Pbkdf2Blocks<2>(inner_, outer_, salt, saltSize, iterations, first, out, outSize);
                first += 2;
            } else {
                Pbkdf2Blocks<1>(inner_, outer_, salt, saltSize, iterations, first, out, outSize);
                first += 1;
            }
        }
        return true;
    }
#endif
    InitLibrary();
    return gcry_kdf_derive(password_.data(), password_.size(), GCRY_KDF_PBKDF2, GCRY_MD_SHA1, salt,
                           saltSize, iterations, outSize, out) == 0;
}

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        gcry_check_version(nullptr);
        // Keys live only for one entry; the secure-memory pool would only limit how many readers
        // and writers can run at once.
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    });
}

void RandomBytes(uint8_t* out, size_t size) {
    InitLibrary();
    gcry_randomize(out, size, GCRY_STRONG_RANDOM);
}

size_t AesSaltSize(int strength) {
    switch (strength) {
        case 1:
            return 8;
        case 2:
            return 12;
        case 3:
            return 16;
        default:
            return 0;
    }
}

size_t AesKeySize(int strength) {
    switch (strength) {
        case 1:
            return 16;
        case 2:
            return 24;
        case 3:
            return 32;
        default:
            return 0;
    }
}

bool DeriveAesKeys(const std::string& password, const uint8_t* salt, int strength, AesKeys& keys) {
    return DeriveAesKeys(PasswordKey(password), salt, strength, keys);
}

bool DeriveAesKeys(const PasswordKey& password, const uint8_t* salt, int strength, AesKeys& keys) {
    size_t keySize = AesKeySize(strength);
    if (keySize == 0) return false;
    uint8_t derived[66];
    size_t total = 2 * keySize + kAesVerifierSize;
    if (!password.Pbkdf2(salt, AesSaltSize(strength), 1000, derived, total)) return false;
    keys.keySize = keySize;
    std::memcpy(keys.encryption, derived, keySize);
    std::memcpy(keys.authentication, derived + keySize, keySize);
    std::memcpy(keys.verifier, derived + 2 * keySize, kAesVerifierSize);
    return true;
}

AesCtr::~AesCtr() {
    if (handle_) gcry_cipher_close(static_cast<gcry_cipher_hd_t>(handle_));
}

bool AesCtr::Init(const uint8_t* key, size_t keySize) {
    counterLow_ = 0;
    counterHigh_ = 0;
    used_ = kStreamBytes;
    if (instructions_.Init(key, keySize)) return true;
    InitLibrary();
    int algorithm = keySize == 16   ? GCRY_CIPHER_AES128
                    : keySize == 24 ? GCRY_CIPHER_AES192
                                    : GCRY_CIPHER_AES256;
    gcry_cipher_hd_t h = nullptr;
    if (gcry_cipher_open(&h, algorithm, GCRY_CIPHER_MODE_ECB, 0) != 0) return false;
    if (gcry_cipher_setkey(h, key, keySize) != 0) {
        gcry_cipher_close(h);
        return false;
    }
    if (handle_) gcry_cipher_close(static_cast<gcry_cipher_hd_t>(handle_));
    handle_ = h;
    return true;
}

void AesCtr::Seek(uint64_t offset) {
    // Block b of the entry is encrypted with the counter b + 1; Refill counts up before use.
    counterLow_ = offset / 16;
    counterHigh_ = 0;
    Refill();
    used_ = static_cast<size_t>(offset % 16);
}

// Key stream for many blocks at once: the counters, little-endian, encrypted on the processor's
// instructions or in one ECB call of libgcrypt.
void AesCtr::Refill() {
    if (instructions_.Ready()) {
        const auto [low, high] = TakeCounters(kStreamBytes / 16);
        std::memset(stream_, 0, kStreamBytes);
        instructions_.XorCounterStream(low, high, stream_, kStreamBytes / 16);
        used_ = 0;
        return;
    }
    for (size_t off = 0; off < kStreamBytes; off += 16) {
        if (++counterLow_ == 0) ++counterHigh_;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(stream_ + off, &counterLow_, 8);
            std::memcpy(stream_ + off + 8, &counterHigh_, 8);
        } else {
            for (int i = 0; i < 8; ++i) {
                stream_[off + i] = static_cast<uint8_t>(counterLow_ >> (8 * i));
                stream_[off + 8 + i] = static_cast<uint8_t>(counterHigh_ >> (8 * i));
            }
        }
    }
    gcry_cipher_encrypt(static_cast<gcry_cipher_hd_t>(handle_), stream_, kStreamBytes, nullptr, 0);
    used_ = 0;
}

namespace {

// out ^= key over n bytes; the two never overlap, which lets the compiler use its widest registers.
void XorInto(uint8_t* __restrict out, const uint8_t* __restrict key, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] ^= key[i];
}

}  // namespace

std::pair<uint64_t, uint64_t> AesCtr::TakeCounters(uint64_t blocks) {
    const uint64_t low = counterLow_ + 1, high = counterHigh_ + (low == 0 ? 1 : 0);
    counterLow_ += blocks;
    if (counterLow_ < blocks) ++counterHigh_;
    return {low, high};
}

void AesCtr::Apply(uint8_t* data, size_t size) {
    while (size > 0) {
        if (used_ == kStreamBytes && size >= 16 && instructions_.Ready()) {
            // Whole blocks get their key stream added in place: one pass over the data.
            const size_t blocks = size / 16;
            const auto [low, high] = TakeCounters(blocks);
            instructions_.XorCounterStream(low, high, data, blocks);
            data += 16 * blocks;
            size -= 16 * blocks;
            continue;
        }
        if (used_ == kStreamBytes) Refill();
        const size_t n = std::min(size, kStreamBytes - used_);
        XorInto(data, stream_ + used_, n);
        data += n;
        size -= n;
        used_ += n;
    }
}

HmacSha1::~HmacSha1() {
    if (handle_) gcry_md_close(static_cast<gcry_md_hd_t>(handle_));
}

bool HmacSha1::Init(const uint8_t* key, size_t keySize) {
    InitLibrary();
    gcry_md_hd_t h = nullptr;
    if (gcry_md_open(&h, GCRY_MD_SHA1, GCRY_MD_FLAG_HMAC) != 0) return false;
    if (gcry_md_setkey(h, key, keySize) != 0) {
        gcry_md_close(h);
        return false;
    }
    if (handle_) gcry_md_close(static_cast<gcry_md_hd_t>(handle_));
    handle_ = h;
    return true;
}

void HmacSha1::Update(const uint8_t* data, size_t size) {
    gcry_md_write(static_cast<gcry_md_hd_t>(handle_), data, size);
}

void HmacSha1::Final(uint8_t out[kAesAuthCodeSize]) {
    const unsigned char* mac = gcry_md_read(static_cast<gcry_md_hd_t>(handle_), GCRY_MD_SHA1);
    std::memcpy(out, mac, kAesAuthCodeSize);
}

ZipCryptoDecoder::ZipCryptoDecoder(const std::string& password) {
    for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

void ZipCryptoDecoder::UpdateKeys(uint8_t plain) {
    static const z_crc_t* table = get_crc_table();
    key0_ = (key0_ >> 8) ^ static_cast<uint32_t>(table[(key0_ ^ plain) & 0xff]);
    key1_ = (key1_ + (key0_ & 0xff)) * 134775813u + 1;
    key2_ = (key2_ >> 8) ^
            static_cast<uint32_t>(table[(key2_ ^ static_cast<uint8_t>(key1_ >> 24)) & 0xff]);
}

void ZipCryptoDecoder::Decrypt(uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        uint32_t temp = (key2_ | 2) & 0xffffu;
        uint8_t plain = data[i] ^ static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
        UpdateKeys(plain);
        data[i] = plain;
    }
}

bool SameBytes(const uint8_t* a, const uint8_t* b, size_t size) {
    uint8_t diff = 0;
    for (size_t i = 0; i < size; ++i) diff |= static_cast<uint8_t>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace kestrine::archive::crypto
