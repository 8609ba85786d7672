#pragma once
// The two zip encryption schemes: WinZip AES (AE-1/AE-2, which the archives are written with) and
// the traditional PKWARE cipher ("ZipCrypto"), which archives of earlier versions used and which is
// only ever read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "archive/aes_instructions.h"

namespace kestrine::archive::crypto {

// Makes libgcrypt ready; safe to call from several places and threads.
void InitLibrary();
void RandomBytes(uint8_t* out, size_t size);

// AES strength 1, 2, 3 = 128, 192, 256-bit keys.
size_t AesSaltSize(int strength);
size_t AesKeySize(int strength);
inline constexpr size_t kAesVerifierSize = 2;
inline constexpr size_t kAesAuthCodeSize = 10;

struct AesKeys {
    uint8_t encryption[32] = {};
    uint8_t authentication[32] = {};
    uint8_t verifier[2] = {};
    size_t keySize = 0;
};

// A password made ready for many key derivations: the states of SHA-1 after the HMAC key's inner
// and outer pad blocks are computed once, so each PBKDF2 round costs two SHA-1 compressions. Where
// the processor has the SHA instructions, several output blocks are derived side by side; elsewhere
// the derivation is libgcrypt's. Derive may be called from several threads at once.
class PasswordKey {
  public:
    explicit PasswordKey(std::string password);
    ~PasswordKey();  // wipes the password and the states made from it
    PasswordKey(const PasswordKey&) = delete;
    PasswordKey& operator=(const PasswordKey&) = delete;
    const std::string& Password() const { return password_; }
    // PBKDF2-HMAC-SHA1 of the password with `salt` and `iterations` rounds into out[0..outSize).
    bool Pbkdf2(const uint8_t* salt, size_t saltSize, unsigned iterations, uint8_t* out,
                size_t outSize) const;

  private:
    std::string password_;
    bool fast_ = false;
    uint32_t inner_[5] = {};
    uint32_t outer_[5] = {};
};

// PBKDF2-HMAC-SHA1 with 1000 iterations, as WinZip derives the keys from the password and salt.
bool DeriveAesKeys(const PasswordKey& password, const uint8_t* salt, int strength, AesKeys& keys);
bool DeriveAesKeys(const std::string& password, const uint8_t* salt, int strength, AesKeys& keys);

// AES in counter mode with WinZip's little-endian counter starting at 1; encryption and decryption
// are the same operation.
class AesCtr {
  public:
    AesCtr() = default;
    ~AesCtr();
    AesCtr(const AesCtr&) = delete;
    AesCtr& operator=(const AesCtr&) = delete;
    bool Init(const uint8_t* key, size_t keySize);
    // Moves to `offset` bytes into the key stream, so a piece in the middle of an entry can be
    // decrypted on its own.
    void Seek(uint64_t offset);
    void Apply(uint8_t* data, size_t size);

  private:
    void Refill();
    // The first of the next `blocks` counters (low, high), which are then used up.
    std::pair<uint64_t, uint64_t> TakeCounters(uint64_t blocks);
    AesInstructions instructions_;  // used when Init finds them; libgcrypt's handle_ otherwise
    void* handle_ = nullptr;
    uint64_t counterLow_ = 0;
    uint64_t counterHigh_ = 0;
    static constexpr size_t kStreamBytes = 16 * 1024;
    uint8_t stream_[kStreamBytes];
    size_t used_ = kStreamBytes;
};

class HmacSha1 {
  public:
    HmacSha1() = default;
    ~HmacSha1();
    HmacSha1(const HmacSha1&) = delete;
    HmacSha1& operator=(const HmacSha1&) = delete;
    bool Init(const uint8_t* key, size_t keySize);
    void Update(const uint8_t* data, size_t size);
    // The first 10 bytes of the MAC, the WinZip authentication code.
    void Final(uint8_t out[kAesAuthCodeSize]);

  private:
    void* handle_ = nullptr;
};

// The traditional PKWARE stream cipher (decryption only).
class ZipCryptoDecoder {
  public:
    explicit ZipCryptoDecoder(const std::string& password);
    void Decrypt(uint8_t* data, size_t size);

  private:
    void UpdateKeys(uint8_t plain);
    uint32_t key0_ = 0x12345678u;
    uint32_t key1_ = 0x23456789u;
    uint32_t key2_ = 0x34567890u;
};

// Constant-time comparison of authentication codes.
bool SameBytes(const uint8_t* a, const uint8_t* b, size_t size);

}  // namespace kestrine::archive::crypto
