#include "archive/zip_crypto.h"

#include <gcrypt.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>

namespace kestrine::archive::crypto {

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
    InitLibrary();
    size_t keySize = AesKeySize(strength);
    if (keySize == 0) return false;
    uint8_t derived[66];
    size_t total = 2 * keySize + kAesVerifierSize;
    if (gcry_kdf_derive(password.data(), password.size(), GCRY_KDF_PBKDF2, GCRY_MD_SHA1, salt,
                        AesSaltSize(strength), 1000, total, derived) != 0) {
        return false;
    }
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
    counterLow_ = 0;
    counterHigh_ = 0;
    used_ = kStreamBytes;
    return true;
}

// Key stream for many blocks at once: the counters, little-endian, encrypted in one ECB call.
void AesCtr::Refill() {
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

void AesCtr::Apply(uint8_t* data, size_t size) {
    while (size > 0) {
        if (used_ == kStreamBytes) Refill();
        size_t n = std::min(size, kStreamBytes - used_);
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t a, b;
            std::memcpy(&a, data + i, 8);
            std::memcpy(&b, stream_ + used_ + i, 8);
            a ^= b;
            std::memcpy(data + i, &a, 8);
        }
        for (; i < n; ++i) data[i] ^= stream_[used_ + i];
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
