#include "archive/piece_digests.h"

#include <cstring>

#include "archive/zip_format.h"
#include "base/secret.h"

namespace kestrine::archive {

using namespace format;

namespace {

constexpr uint8_t kPlain = 0, kAes256 = 3;
constexpr char kMagic[4] = {'K', 'P', 'D', '1'};
constexpr size_t kHeadSize = sizeof kMagic + 8 + 4;
constexpr size_t kRowSize = 1 + crypto::kBlake3Size + 4;
constexpr uint8_t kDigested = 0, kStored = 1;

// Encrypts or decrypts the body in place and gives its authentication code.
bool Cipher(const crypto::AesKeys& keys, uint8_t* body, size_t size, bool encrypt,
            uint8_t code[crypto::kAesAuthCodeSize]) {
    crypto::AesCtr ctr;
    crypto::HmacSha1 hmac;
    if (!ctr.Init(keys.encryption, keys.keySize) || !hmac.Init(keys.authentication, keys.keySize))
        return false;
    if (encrypt) ctr.Apply(body, size);
    hmac.Update(body, size);
    if (!encrypt) ctr.Apply(body, size);
    hmac.Final(code);
    return true;
}

}  // namespace

size_t SealedPieceDigestsSize(size_t count, bool protectedByPassword) {
    const size_t around =
        protectedByPassword
            ? crypto::AesSaltSize(kAes256) + crypto::kAesVerifierSize + crypto::kAesAuthCodeSize
            : 0;
    return 1 + around + kHeadSize + count * kRowSize;
}

std::vector<uint8_t> SealPieceDigests(const std::vector<PieceDigest>& digests, uint64_t pieceSize,
                                      const crypto::PasswordKey* key) {
    std::string body(kMagic, sizeof kMagic);
    Put64(body, pieceSize);
    Put32(body, static_cast<uint32_t>(digests.size()));
    for (const PieceDigest& d : digests) {
        body.push_back(static_cast<char>(d.stored ? kStored : kDigested));
        body.append(reinterpret_cast<const char*>(d.digest), sizeof d.digest);
        Put32(body, d.storedCrc);
    }
    std::vector<uint8_t> sealed;
    if (!key) {
        sealed.push_back(kPlain);
        sealed.insert(sealed.end(), body.begin(), body.end());
        return sealed;
    }
    const size_t saltSize = crypto::AesSaltSize(kAes256);
    sealed.resize(1 + saltSize + crypto::kAesVerifierSize + body.size() + crypto::kAesAuthCodeSize);
    sealed[0] = kAes256;
    uint8_t* salt = sealed.data() + 1;
    uint8_t* data = salt + saltSize + crypto::kAesVerifierSize;
    crypto::RandomBytes(salt, saltSize);
    crypto::AesKeys keys;
    const size_t size = body.size();
    std::memcpy(data, body.data(), size);
    base::Wipe(body);
    const bool made = crypto::DeriveAesKeys(*key, salt, kAes256, keys) &&
                      Cipher(keys, data, size, true, data + size);
    std::memcpy(salt + saltSize, keys.verifier, crypto::kAesVerifierSize);
    base::WipeBytes(&keys, sizeof keys);
    if (!made) return {};
    return sealed;
}

bool OpenPieceDigests(std::vector<uint8_t> sealed, const std::string& password, uint64_t pieceSize,
                      size_t count, std::vector<PieceDigest>& digests) {
    if (sealed.empty() || (sealed[0] == kAes256) == password.empty()) return false;
    const uint8_t* body = sealed.data() + 1;
    size_t size = sealed.size() - 1;
    if (sealed[0] == kAes256) {
        const size_t saltSize = crypto::AesSaltSize(kAes256);
        const size_t around = saltSize + crypto::kAesVerifierSize + crypto::kAesAuthCodeSize;
        if (size < around) return false;
        uint8_t* data = sealed.data() + 1 + saltSize + crypto::kAesVerifierSize;
        size -= around;
        crypto::AesKeys keys;
        uint8_t code[crypto::kAesAuthCodeSize];
        const bool opened = crypto::DeriveAesKeys(password, sealed.data() + 1, kAes256, keys) &&
                            crypto::SameBytes(keys.verifier, sealed.data() + 1 + saltSize,
                                              crypto::kAesVerifierSize) &&
                            Cipher(keys, data, size, false, code) &&
                            crypto::SameBytes(code, data + size, sizeof code);
        base::WipeBytes(&keys, sizeof keys);
        if (!opened) return false;
        body = data;
    } else if (sealed[0] != kPlain) {
        return false;
    }
    if (size != kHeadSize + count * kRowSize || std::memcmp(body, kMagic, sizeof kMagic) != 0 ||
        Get64(body + 4) != pieceSize || Get32(body + 12) != count) {
        return false;
    }
    digests.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* row = body + kHeadSize + i * kRowSize;
        if (row[0] != kDigested && row[0] != kStored) {
            digests.clear();
            return false;
        }
        digests[i].stored = row[0] == kStored;
        std::memcpy(digests[i].digest, row + 1, crypto::kBlake3Size);
        digests[i].storedCrc = Get32(row + 1 + crypto::kBlake3Size);
    }
    return true;
}

}  // namespace kestrine::archive
