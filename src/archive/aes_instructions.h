#pragma once
// AES on the processor's own instructions, for the counter blocks of WinZip's AES: eight blocks are
// encrypted side by side, which keeps the processor's AES unit busy where libgcrypt's ECB path
// encrypts a block after the one before; where the processor has AES on its 256-bit registers, two
// blocks go in each of them. Only 128- and 256-bit keys (what WinZip and 7-Zip write); the
// caller falls back to libgcrypt for anything else and where the instructions are missing.
#include <cstddef>
#include <cstdint>

namespace kestrine::archive::crypto {

class AesInstructions {
  public:
    AesInstructions() = default;
    ~AesInstructions();  // wipes the round keys
    AesInstructions(const AesInstructions&) = delete;
    AesInstructions& operator=(const AesInstructions&) = delete;

    // The widest registers the key stream is made in.
    enum class Width { Bits128, Bits256 };

    // False (and not usable) where the processor lacks the instructions or the key is not 16 or
    // 32 bytes long. The registers are the widest the processor offers, up to `widest`.
    bool Init(const uint8_t* key, size_t keySize, Width widest = Width::Bits256);
    // Encrypts `blocks` little-endian 128-bit counters, the first (low, high) and each one more
    // than the one before, and adds (XOR) that key stream into data[0..16 * blocks).
    void XorCounterStream(uint64_t low, uint64_t high, uint8_t* data, size_t blocks) const;
    // True after an Init that succeeded.
    bool Ready() const { return rounds_ != 0; }

  private:
    alignas(16) uint8_t roundKeys_[15 * 16] = {};
    int rounds_ = 0;
    Width width_ = Width::Bits128;
};

}  // namespace kestrine::archive::crypto
