#include "archive/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/zip_crypto.h"
#include "archive/zip_format.h"

namespace kestrine::archive {

using namespace format;

namespace {

constexpr size_t kReadBuffer = 256 * 1024;
constexpr uint64_t kMax32 = 0xffffffffu;
constexpr uint64_t kMaxCentralDirectory = 256u << 20;

struct Inflater {
    z_stream zs{};
    bool ready = false;
    bool Init() {
        ready = inflateInit2(&zs, -MAX_WBITS) == Z_OK;
        return ready;
    }
    ~Inflater() {
        if (ready) inflateEnd(&zs);
    }
};

}  // namespace

bool ZipReader::Fail(const std::string& message) {
    error_ = message;
    return false;
}

bool ZipReader::Open(std::unique_ptr<platform::fileio::FileStream> stream) {
    entries_.clear();
    stream_.reset();
    error_.clear();
    if (!stream) return Fail("the archive cannot be opened");
    int64_t signedSize = stream->Size();
    if (signedSize < 0) return Fail("the archive cannot be read");
    auto fileSize = static_cast<uint64_t>(signedSize);
    if (fileSize < kEndSize) return Fail("not a zip archive (too short)");

    // The end record sits in the last 22 bytes plus at most a 65535-byte comment.
    size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, kEndSize + 0xffff));
    std::vector<uint8_t> tail(tailSize);
    uint64_t tailStart = fileSize - tailSize;
    if (!stream->ReadAt(tailStart, tail.data(), tailSize))
        return Fail("the archive cannot be read");
    size_t endPos = SIZE_MAX;
    for (size_t pos = tailSize - kEndSize + 1; pos-- > 0;) {
        if (Get32(&tail[pos]) == kEndSig && pos + kEndSize + Get16(&tail[pos + 20]) <= tailSize) {
            endPos = pos;
            break;
        }
    }
    if (endPos == SIZE_MAX) return Fail("not a zip archive (no end of central directory)");
    const uint8_t* end = &tail[endPos];
    uint64_t endOffset = tailStart + endPos;
    uint64_t disk = Get16(end + 4), cdDisk = Get16(end + 6);
    uint64_t count = Get16(end + 10);
    uint64_t cdSize = Get32(end + 12);
    uint64_t cdOffset = Get32(end + 16);
    uint64_t limit = endOffset;

    bool haveZip64 = false;
    if (endOffset >= kZip64LocatorSize) {
        uint8_t locator[kZip64LocatorSize];
        if (!stream->ReadAt(endOffset - kZip64LocatorSize, locator, sizeof locator)) {
            return Fail("the archive cannot be read");
        }
        if (Get32(locator) == kZip64LocatorSig) {
            uint64_t z64Offset = Get64(locator + 8);
            if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) {
                return Fail("multi-part archives are not supported");
            }
            if (z64Offset > endOffset - kZip64LocatorSize ||
                endOffset - kZip64LocatorSize - z64Offset < kZip64EndSize) {
                return Fail("damaged archive (ZIP64 end record out of place)");
            }
            uint8_t z64[kZip64EndSize];
            if (!stream->ReadAt(z64Offset, z64, sizeof z64))
                return Fail("the archive cannot be read");
            if (Get32(z64) != kZip64EndSig) return Fail("damaged archive (bad ZIP64 end record)");
            disk = Get32(z64 + 16);
            cdDisk = Get32(z64 + 20);
            count = Get64(z64 + 32);
            cdSize = Get64(z64 + 40);
            cdOffset = Get64(z64 + 48);
            limit = z64Offset;
            haveZip64 = true;
        }
    }
    if (!haveZip64 && (cdSize == kMax32 || cdOffset == kMax32)) {
        return Fail("damaged archive (ZIP64 end record missing)");
    }
    if (disk != 0 || cdDisk != 0) return Fail("multi-part archives are not supported");
    if (cdOffset > limit || cdSize > limit - cdOffset) {
        return Fail("damaged archive (central directory out of bounds)");
    }
    // Far beyond any backup (millions of entries); refused so a lying archive cannot make the
    // reader allocate without bound.
    if (cdSize > kMaxCentralDirectory) return Fail("the central directory is too large");
    if (count > cdSize / kCentralHeaderSize) {
        return Fail("damaged archive (more entries than the central directory holds)");
    }
    stream_ = std::move(stream);
    if (!ReadCentralDirectory(cdOffset, cdSize, count)) {
        stream_.reset();
        entries_.clear();
        return false;
    }
    return true;
}

bool ZipReader::ReadCentralDirectory(uint64_t offset, uint64_t size, uint64_t count) {
    std::vector<uint8_t> cd(static_cast<size_t>(size));
    if (size > 0 && !stream_->ReadAt(offset, cd.data(), cd.size())) {
        return Fail("the archive cannot be read (central directory)");
    }
    entries_.reserve(static_cast<size_t>(count));
    size_t p = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (cd.size() - p < kCentralHeaderSize || Get32(&cd[p]) != kCentralHeaderSig) {
            return Fail("damaged archive (bad central directory record)");
        }
        const uint8_t* h = &cd[p];
        size_t nameLen = Get16(h + 28), extraLen = Get16(h + 30), commentLen = Get16(h + 32);
        if (cd.size() - p - kCentralHeaderSize < nameLen + extraLen + commentLen) {
            return Fail("damaged archive (central directory record runs past its end)");
        }
        ZipEntryRecord rec;
        // Names from MS-DOS, OS/2, NTFS and VFAT systems without the UTF-8 flag are OEM text.
        const int host = h[5];
        const bool dosHost = host == 0 || host == 6 || host == 10 || host == 14;
        rec.flags = Get16(h + 8);
        rec.method = Get16(h + 10);
        rec.realMethod = rec.method;
        rec.dosTime = static_cast<uint32_t>(Get16(h + 14)) << 16 | Get16(h + 12);
        rec.crc32 = Get32(h + 16);
        rec.compressedSize = Get32(h + 20);
        rec.uncompressedSize = Get32(h + 24);
        uint32_t diskStart = Get16(h + 34);
        rec.localOffset = Get32(h + 42);
        std::string rawName(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLen);
        std::string unicodeName;

        const uint8_t* extra = h + kCentralHeaderSize + nameLen;
        size_t q = 0;
        while (extraLen - q >= 4) {
            uint16_t id = Get16(extra + q);
            size_t len = Get16(extra + q + 2);
            if (extraLen - q - 4 < len) break;  // padding or junk at the end of the field
            const uint8_t* data = extra + q + 4;
            if (id == kZip64ExtraId) {
                size_t used = 0;
                auto take64 = [&](uint64_t& field) {
                    if (field != kMax32) return true;
                    if (len - used < 8) return false;
                    field = Get64(data + used);
                    used += 8;
                    return true;
                };
                if (!take64(rec.uncompressedSize) || !take64(rec.compressedSize) ||
                    !take64(rec.localOffset)) {
                    return Fail("damaged archive (bad ZIP64 field)");
                }
                if (diskStart == 0xffff && len - used >= 4) diskStart = Get32(data + used);
            } else if (id == kAesExtraId && len >= 7 && data[2] == 'A' && data[3] == 'E') {
                rec.aesVersion = Get16(data);
                rec.aesStrength = data[4];
                if (rec.method == kMethodAes) rec.realMethod = Get16(data + 5);
            } else if (id == kUnicodePathExtraId && len >= 5 && data[0] == 1) {
                uint32_t nameCrc = Get32(data + 1);
                std::string candidate(reinterpret_cast<const char*>(data + 5), len - 5);
                uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(rawName.data()),
                                  static_cast<uInt>(rawName.size()));
                if (crc == nameCrc && IsValidUtf8(candidate)) unicodeName = candidate;
            }
            q += 4 + len;
        }
        if (diskStart != 0 && diskStart != 0xffff) {
            return Fail("multi-part archives are not supported");
        }
        if (rec.method == kMethodAes && rec.aesStrength == 0) {
            rec.realMethod = kMethodAes;  // left unsupported: AES without its description
        }
        if ((rec.flags & kFlagUtf8) != 0 && IsValidUtf8(rawName)) {
            rec.name = rawName;
        } else if (!unicodeName.empty()) {
            rec.name = unicodeName;
        } else if (IsAscii(rawName)) {
            rec.name = rawName;
        } else if (!dosHost && IsValidUtf8(rawName)) {
            // Unix tools store the system's (UTF-8) names without the flag.
            rec.name = rawName;
        } else {
            rec.name = Cp437ToUtf8(rawName);
        }
        entries_.push_back(std::move(rec));
        p += kCentralHeaderSize + nameLen + extraLen + commentLen;
    }

    // Every entry's space runs from its local header to the next entry's header (or the central
    // directory, at `offset`); entries that share or overlap space are refused.
    std::vector<size_t> order(entries_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [this](size_t a, size_t b) {
        return entries_[a].localOffset < entries_[b].localOffset;
    });
    for (size_t k = 0; k < order.size(); ++k) {
        ZipEntryRecord& rec = entries_[order[k]];
        uint64_t next = k + 1 < order.size() ? entries_[order[k + 1]].localOffset : offset;
        if (rec.localOffset >= next || next - rec.localOffset < kLocalHeaderSize ||
            next - rec.localOffset - kLocalHeaderSize < rec.compressedSize) {
            return Fail("damaged archive (entries overlap or run past their space)");
        }
        rec.dataLimit = next;
    }
    return true;
}

bool ZipReader::ReadEntry(size_t index, const std::string& password, const Sink& sink) {
    error_.clear();
    if (!stream_) return Fail("no archive is open");
    if (index >= entries_.size()) return Fail("no such entry");
    const ZipEntryRecord& rec = entries_[index];
    const std::string what = "entry \"" + rec.name + "\"";

    uint8_t local[kLocalHeaderSize];
    if (!stream_->ReadAt(rec.localOffset, local, sizeof local) || Get32(local) != kLocalHeaderSig) {
        return Fail(what + ": damaged archive (bad local header)");
    }
    uint64_t dataStart = rec.localOffset + kLocalHeaderSize + Get16(local + 26) + Get16(local + 28);
    if (dataStart > rec.dataLimit || rec.dataLimit - dataStart < rec.compressedSize) {
        return Fail(what + ": damaged archive (data runs past its space)");
    }
    if ((rec.flags & kFlagStrongEncryption) != 0) {
        return Fail(what + ": unsupported encryption");
    }
    if (rec.realMethod != kMethodStored && rec.realMethod != kMethodDeflated) {
        return Fail(what + ": unsupported compression method " + std::to_string(rec.realMethod));
    }

    uint64_t position = dataStart;
    uint64_t payload = rec.compressedSize;
    bool isAes = rec.encrypted() && rec.aesStrength != 0;
    crypto::AesCtr ctr;
    crypto::HmacSha1 hmac;
    std::unique_ptr<crypto::ZipCryptoDecoder> zipCrypto;
    if (rec.encrypted()) {
        if (password.empty()) return Fail(what + ": a password is needed");
        if (isAes) {
            size_t saltSize = crypto::AesSaltSize(rec.aesStrength);
            if (saltSize == 0) return Fail(what + ": unsupported AES key size");
            size_t overhead = saltSize + crypto::kAesVerifierSize + crypto::kAesAuthCodeSize;
            if (payload < overhead)
                return Fail(what + ": damaged archive (encrypted data too short)");
            uint8_t head[16 + crypto::kAesVerifierSize];
            if (!stream_->ReadAt(position, head, saltSize + crypto::kAesVerifierSize)) {
                return Fail(what + ": the archive cannot be read");
            }
            crypto::AesKeys keys;
            if (!crypto::DeriveAesKeys(password, head, rec.aesStrength, keys)) {
                return Fail(what + ": the key cannot be derived");
            }
            if (!crypto::SameBytes(keys.verifier, head + saltSize, crypto::kAesVerifierSize)) {
                return Fail(what + ": wrong password");
            }
            if (!ctr.Init(keys.encryption, keys.keySize) ||
                !hmac.Init(keys.authentication, keys.keySize)) {
                return Fail(what + ": the cipher cannot be set up");
            }
            position += saltSize + crypto::kAesVerifierSize;
            payload -= overhead;
        } else {
            if (payload < 12) return Fail(what + ": damaged archive (encrypted data too short)");
            uint8_t head[12];
            if (!stream_->ReadAt(position, head, sizeof head)) {
                return Fail(what + ": the archive cannot be read");
            }
            zipCrypto = std::make_unique<crypto::ZipCryptoDecoder>(password);
            zipCrypto->Decrypt(head, sizeof head);
            uint8_t check = (rec.flags & kFlagDataDescriptor) != 0
                                ? static_cast<uint8_t>((rec.dosTime >> 8) & 0xff)
                                : static_cast<uint8_t>(rec.crc32 >> 24);
            if (head[11] != check) return Fail(what + ": wrong password");
            position += 12;
            payload -= 12;
        }
    }

    Inflater inflater;
    bool deflated = rec.realMethod == kMethodDeflated;
    if (deflated && !inflater.Init()) return Fail(what + ": out of memory");
    // Buffers fit small entries, so many small entries cost no large allocations.
    std::vector<uint8_t> in(
        static_cast<size_t>(std::min<uint64_t>(kReadBuffer, std::max<uint64_t>(payload, 1))));
    std::vector<uint8_t> out(deflated
                                 ? static_cast<size_t>(std::min<uint64_t>(
                                       kReadBuffer, std::max<uint64_t>(rec.uncompressedSize, 64)))
                                 : 0);
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t produced = 0;
    bool streamEnded = !deflated;
    auto deliver = [&](const uint8_t* data, size_t n) {
        if (n > rec.uncompressedSize - produced)
            return Fail(what + ": damaged archive (size lies)");
        produced += n;
        crc = crc32_z(crc, data, n);
        if (sink && !sink(data, n)) return Fail(what + ": the data cannot be written");
        return true;
    };
    if (!stream_->Seek(position)) return Fail(what + ": the archive cannot be read");
    while (payload > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(payload, in.size()));
        int64_t got = stream_->Read(in.data(), n);
        if (got <= 0) return Fail(what + ": the archive cannot be read (truncated)");
        n = static_cast<size_t>(got);
        payload -= n;
        if (isAes) {
            hmac.Update(in.data(), n);
            ctr.Apply(in.data(), n);
        } else if (zipCrypto) {
            zipCrypto->Decrypt(in.data(), n);
        }
        if (!deflated) {
            if (!deliver(in.data(), n)) return false;
            continue;
        }
        if (streamEnded) continue;  // bytes after the end of the compressed stream are ignored
        inflater.zs.next_in = in.data();
        inflater.zs.avail_in = static_cast<uInt>(n);
        while (inflater.zs.avail_in > 0 && !streamEnded) {
            inflater.zs.next_out = out.data();
            inflater.zs.avail_out = static_cast<uInt>(out.size());
            int rc = inflate(&inflater.zs, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
                return Fail(what + (rec.encrypted() ? ": wrong password or damaged data"
                                                    : ": damaged data (bad compressed stream)"));
            }
            size_t made = out.size() - inflater.zs.avail_out;
            if (made > 0 && !deliver(out.data(), made)) return false;
            if (rc == Z_STREAM_END) streamEnded = true;
            if (rc == Z_BUF_ERROR && made == 0) break;
        }
    }
    // The inflater may still hold output after its input is spent.
    while (deflated && !streamEnded) {
        inflater.zs.next_in = in.data();
        inflater.zs.avail_in = 0;
        inflater.zs.next_out = out.data();
        inflater.zs.avail_out = static_cast<uInt>(out.size());
        int rc = inflate(&inflater.zs, Z_NO_FLUSH);
        size_t made = out.size() - inflater.zs.avail_out;
        if (made > 0 && !deliver(out.data(), made)) return false;
        if (rc == Z_STREAM_END) {
            streamEnded = true;
        } else if (made == 0) {
            return Fail(what + ": damaged data (compressed stream ends early)");
        }
    }
    if (isAes) {
        uint8_t stored[crypto::kAesAuthCodeSize], computed[crypto::kAesAuthCodeSize];
        if (!stream_->ReadAt(dataStart + rec.compressedSize - crypto::kAesAuthCodeSize, stored,
                             sizeof stored)) {
            return Fail(what + ": the archive cannot be read");
        }
        hmac.Final(computed);
        if (!crypto::SameBytes(stored, computed, sizeof stored)) {
            return Fail(what + ": authentication failed (wrong password or damaged data)");
        }
    }
    if (produced != rec.uncompressedSize) return Fail(what + ": damaged archive (size lies)");
    // AE-2 leaves the CRC out; its authentication code covers the data instead.
    bool checkCrc = !isAes || rec.aesVersion == 1;
    if (checkCrc && static_cast<uint32_t>(crc) != rec.crc32) {
        return Fail(what + ": damaged data (CRC mismatch)");
    }
    return true;
}

}  // namespace kestrine::archive
