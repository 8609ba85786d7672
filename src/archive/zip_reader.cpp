#include "archive/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/deflate_codec.h"
#include "archive/zip_crypto.h"
#include "archive/zip_format.h"
#include "archive/zip_workers.h"
#include "base/utf.h"
#include "platform/text.h"

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

// Takes the chunk index as it stands; whether it fits the entry is checked when the entry is read.
void ReadChunkIndex(const uint8_t* data, size_t size, ZipEntryRecord& rec) {
    size_t pos = 1;
    uint64_t input = 0, count = 0;
    if (!GetVarint(data, size, pos, input) || !GetVarint(data, size, pos, count)) return;
    if (input == 0 || count < 2 || count > size - pos) return;  // each size takes a byte at least
    std::vector<uint64_t> chunks(static_cast<size_t>(count));
    for (auto& chunk : chunks) {
        if (!GetVarint(data, size, pos, chunk)) return;
    }
    rec.chunkInput = input;
    rec.chunks = std::move(chunks);
}

}  // namespace

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() = default;
ZipReader::ZipReader(ZipReader&&) noexcept = default;
ZipReader& ZipReader::operator=(ZipReader&&) noexcept = default;

bool ZipReader::Fail(ZipError kind, const std::string& message) {
    errorKind_ = kind;
    error_ = message;
    return false;
}

void ZipReader::Close() {
    entries_.clear();
    stream_.reset();
    error_.clear();
    errorKind_ = ZipError::None;
}

bool ZipReader::Open(std::unique_ptr<platform::fileio::FileStream> stream) {
    Close();
    if (!stream) return Fail(ZipError::Damaged, "the archive cannot be opened");
    int64_t signedSize = stream->Size();
    if (signedSize < 0) return Fail(ZipError::Damaged, "the archive cannot be read");
    auto fileSize = static_cast<uint64_t>(signedSize);
    if (fileSize < kEndSize) return Fail(ZipError::Damaged, "not a zip archive (too short)");

    // The end record sits in the last 22 bytes plus at most a 65535-byte comment.
    size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, kEndSize + 0xffff));
    std::vector<uint8_t> tail(tailSize);
    uint64_t tailStart = fileSize - tailSize;
    if (!stream->ReadAt(tailStart, tail.data(), tailSize))
        return Fail(ZipError::Damaged, "the archive cannot be read");
    size_t endPos = SIZE_MAX;
    for (size_t pos = tailSize - kEndSize + 1; pos-- > 0;) {
        if (Get32(&tail[pos]) == kEndSig && pos + kEndSize + Get16(&tail[pos + 20]) <= tailSize) {
            endPos = pos;
            break;
        }
    }
    if (endPos == SIZE_MAX)
        return Fail(ZipError::Damaged, "not a zip archive (no end of central directory)");
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
            return Fail(ZipError::Damaged, "the archive cannot be read");
        }
        if (Get32(locator) == kZip64LocatorSig) {
            uint64_t z64Offset = Get64(locator + 8);
            if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) {
                return Fail(ZipError::Unsupported, "multi-part archives are not supported");
            }
            if (z64Offset > endOffset - kZip64LocatorSize ||
                endOffset - kZip64LocatorSize - z64Offset < kZip64EndSize) {
                return Fail(ZipError::Damaged, "damaged archive (ZIP64 end record out of place)");
            }
            uint8_t z64[kZip64EndSize];
            if (!stream->ReadAt(z64Offset, z64, sizeof z64))
                return Fail(ZipError::Damaged, "the archive cannot be read");
            if (Get32(z64) != kZip64EndSig)
                return Fail(ZipError::Damaged, "damaged archive (bad ZIP64 end record)");
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
        return Fail(ZipError::Damaged, "damaged archive (ZIP64 end record missing)");
    }
    if (disk != 0 || cdDisk != 0)
        return Fail(ZipError::Unsupported, "multi-part archives are not supported");
    if (cdOffset > limit || cdSize > limit - cdOffset) {
        return Fail(ZipError::Damaged, "damaged archive (central directory out of bounds)");
    }
    // Far beyond any backup (millions of entries); refused so a lying archive cannot make the
    // reader allocate without bound.
    if (cdSize > kMaxCentralDirectory)
        return Fail(ZipError::Damaged, "the central directory is too large");
    if (count > cdSize / kCentralHeaderSize) {
        return Fail(ZipError::Damaged,
                    "damaged archive (more entries than the central directory holds)");
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
        return Fail(ZipError::Damaged, "the archive cannot be read (central directory)");
    }
    entries_.reserve(static_cast<size_t>(count));
    size_t p = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (cd.size() - p < kCentralHeaderSize || Get32(&cd[p]) != kCentralHeaderSig) {
            return Fail(ZipError::Damaged, "damaged archive (bad central directory record)");
        }
        const uint8_t* h = &cd[p];
        size_t nameLen = Get16(h + 28), extraLen = Get16(h + 30), commentLen = Get16(h + 32);
        if (cd.size() - p - kCentralHeaderSize < nameLen + extraLen + commentLen) {
            return Fail(ZipError::Damaged,
                        "damaged archive (central directory record runs past its end)");
        }
        ZipEntryRecord rec;
        // Names from MS-DOS, OS/2, NTFS and VFAT systems without the UTF-8 flag are text in the
        // system's OEM code page.
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
                    return Fail(ZipError::Damaged, "damaged archive (bad ZIP64 field)");
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
                if (crc == nameCrc && base::IsWellFormedUtf8(candidate)) unicodeName = candidate;
            } else if (id == kChunkIndexExtraId && len >= 1 && data[0] == kChunkIndexVersion) {
                ReadChunkIndex(data, len, rec);
            }
            q += 4 + len;
        }
        if (diskStart != 0 && diskStart != 0xffff) {
            return Fail(ZipError::Unsupported, "multi-part archives are not supported");
        }
        if (rec.method == kMethodAes && rec.aesStrength == 0) {
            rec.realMethod = kMethodAes;  // left unsupported: AES without its description
        }
        if ((rec.flags & kFlagUtf8) != 0 && base::IsWellFormedUtf8(rawName)) {
            rec.name = rawName;
        } else if (!unicodeName.empty()) {
            rec.name = unicodeName;
        } else if (IsAscii(rawName)) {
            rec.name = rawName;
        } else if (!dosHost && base::IsWellFormedUtf8(rawName)) {
            // Unix tools store the system's (UTF-8) names without the flag.
            rec.name = rawName;
        } else {
            rec.name = platform::OemToUtf8(rawName);
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
            return Fail(ZipError::Damaged,
                        "damaged archive (entries overlap or run past their space)");
        }
        rec.dataLimit = next;
    }
    return true;
}

// One entry being decoded: where its data is, its keys, and what came out so far.
struct ZipReader::Decoding {
    Decoding(const ZipEntryRecord& record, const Sink& output, const Hooks& callbacks)
        : rec(record), what("entry \"" + record.name + "\""), sink(output), hooks(callbacks) {}
    const ZipEntryRecord& rec;
    const std::string what;
    const Sink& sink;
    const Hooks& hooks;
    uint64_t dataStart = 0;  // the entry's data, after its local header
    uint64_t position = 0;   // the compressed stream, after any encryption header
    uint64_t payload = 0;    // bytes of the compressed stream
    bool deflated = false;
    bool isAes = false;
    bool checkCrc = true;
    crypto::AesKeys keys;
    crypto::AesCtr ctr;
    crypto::HmacSha1 hmac;
    std::unique_ptr<crypto::ZipCryptoDecoder> zipCrypto;
    uLong crc = 0;
    uint64_t produced = 0;
    uint64_t reported = 0;
};

namespace {

constexpr uint64_t kProgressStep = 1u << 20;
// Pieces of a chunked entry in flight: enough to keep the cores busy, little memory.
constexpr uint64_t kMaxBytesInFlight = 32u << 20;
// Deflated entries up to this size (the writer's chunk size) are inflated in one piece.
constexpr uint64_t kMaxWholeEntry = 1u << 20;

// Reads exactly `size` bytes; false when the file ends early or fails.
bool ReadExactly(platform::fileio::FileStream& stream, uint8_t* buffer, size_t size) {
    return platform::fileio::ReadFull(stream, buffer, size) == static_cast<int64_t>(size);
}

// One chunk of a chunked entry, decrypted and inflated on a worker.
struct Piece {
    std::vector<uint8_t> input;  // capacity reused; `inputSize` bytes used, and two spare
    std::vector<uint8_t> output;
    size_t inputSize = 0;
    size_t outputSize = 0;  // what the index promises
    size_t produced = 0;
    uint64_t offset = 0;  // of the input in the compressed stream (for the AES counter)
    bool last = false;
    bool ok = false;
    uint32_t crc = 0;

    void Decode(const crypto::AesKeys* keys, bool wantCrc) {
        ok = false;
        if (keys) {
            crypto::AesCtr ctr;
            if (!ctr.Init(keys->encryption, keys->keySize)) return;
            ctr.Seek(offset);
            ctr.Apply(input.data(), inputSize);
        }
        if (output.size() < outputSize) output.resize(outputSize);
        // Every chunk but the last ends at a block boundary with all its input used; the last one
        // ends the stream.
        ok = deflate::InflatePiece(input.data(), inputSize, last, output.data(), outputSize);
        produced = ok ? outputSize : 0;
        if (ok && wantCrc) crc = deflate::Crc32(0, output.data(), produced);
    }
};

}  // namespace

bool ZipReader::ReadEntry(size_t index, const std::string& password, const Sink& sink,
                          const Hooks& hooks) {
    error_.clear();
    errorKind_ = ZipError::None;
    if (!stream_) return Fail(ZipError::NotReady, "no archive is open");
    if (index >= entries_.size()) return Fail(ZipError::NotReady, "no such entry");
    const ZipEntryRecord& rec = entries_[index];
    Decoding d(rec, sink, hooks);
    const std::string& what = d.what;

    uint8_t local[kLocalHeaderSize];
    if (!stream_->ReadAt(rec.localOffset, local, sizeof local) || Get32(local) != kLocalHeaderSig) {
        return Fail(ZipError::Damaged, what + ": damaged archive (bad local header)");
    }
    d.dataStart = rec.localOffset + kLocalHeaderSize + Get16(local + 26) + Get16(local + 28);
    if (d.dataStart > rec.dataLimit || rec.dataLimit - d.dataStart < rec.compressedSize) {
        return Fail(ZipError::Damaged, what + ": damaged archive (data runs past its space)");
    }
    if ((rec.flags & kFlagStrongEncryption) != 0) {
        return Fail(ZipError::Unsupported, what + ": unsupported encryption");
    }
    if (rec.realMethod != kMethodStored && rec.realMethod != kMethodDeflated) {
        return Fail(ZipError::Unsupported,
                    what + ": unsupported compression method " + std::to_string(rec.realMethod));
    }

    d.position = d.dataStart;
    d.payload = rec.compressedSize;
    d.isAes = rec.encrypted() && rec.aesStrength != 0;
    d.deflated = rec.realMethod == kMethodDeflated;
    // AE-2 leaves the CRC out; its authentication code covers the data instead.
    d.checkCrc = !d.isAes || rec.aesVersion == 1;
    if (rec.encrypted()) {
        if (password.empty()) return Fail(ZipError::WrongPassword, what + ": a password is needed");
        if (d.isAes) {
            size_t saltSize = crypto::AesSaltSize(rec.aesStrength);
            if (saltSize == 0)
                return Fail(ZipError::Unsupported, what + ": unsupported AES key size");
            size_t overhead = saltSize + crypto::kAesVerifierSize + crypto::kAesAuthCodeSize;
            if (d.payload < overhead) {
                return Fail(ZipError::Damaged,
                            what + ": damaged archive (encrypted data too short)");
            }
            uint8_t head[16 + crypto::kAesVerifierSize];
            if (!stream_->ReadAt(d.position, head, saltSize + crypto::kAesVerifierSize)) {
                return Fail(ZipError::Damaged, what + ": the archive cannot be read");
            }
            if (!crypto::DeriveAesKeys(password, head, rec.aesStrength, d.keys)) {
                return Fail(ZipError::Unsupported, what + ": the key cannot be derived");
            }
            // The verifier turns away all but one wrong password in 65536 before any data is read.
            if (!crypto::SameBytes(d.keys.verifier, head + saltSize, crypto::kAesVerifierSize)) {
                return Fail(ZipError::WrongPassword, what + ": wrong password");
            }
            if (!d.ctr.Init(d.keys.encryption, d.keys.keySize) ||
                !d.hmac.Init(d.keys.authentication, d.keys.keySize)) {
                return Fail(ZipError::Unsupported, what + ": the cipher cannot be set up");
            }
            d.position += saltSize + crypto::kAesVerifierSize;
            d.payload -= overhead;
        } else {
            if (d.payload < 12) {
                return Fail(ZipError::Damaged,
                            what + ": damaged archive (encrypted data too short)");
            }
            uint8_t head[12];
            if (!stream_->ReadAt(d.position, head, sizeof head)) {
                return Fail(ZipError::Damaged, what + ": the archive cannot be read");
            }
            d.zipCrypto = std::make_unique<crypto::ZipCryptoDecoder>(password);
            d.zipCrypto->Decrypt(head, sizeof head);
            uint8_t check = (rec.flags & kFlagDataDescriptor) != 0
                                ? static_cast<uint8_t>((rec.dosTime >> 8) & 0xff)
                                : static_cast<uint8_t>(rec.crc32 >> 24);
            if (head[11] != check) return Fail(ZipError::WrongPassword, what + ": wrong password");
            d.position += 12;
            d.payload -= 12;
        }
    }

    if (!stream_->Seek(d.position))
        return Fail(ZipError::Damaged, what + ": the archive cannot be read");
    const bool read = ChunkIndexFits(rec, d) ? ReadChunks(d)
                      : FitsWhole(d)         ? ReadWhole(d)
                                             : ReadSequential(d);
    if (!read) return false;

    if (d.isAes) {
        uint8_t stored[crypto::kAesAuthCodeSize], computed[crypto::kAesAuthCodeSize];
        if (!stream_->ReadAt(d.dataStart + rec.compressedSize - crypto::kAesAuthCodeSize, stored,
                             sizeof stored)) {
            return Fail(ZipError::Damaged, what + ": the archive cannot be read");
        }
        d.hmac.Final(computed);
        if (!crypto::SameBytes(stored, computed, sizeof stored)) {
            return Fail(ZipError::Damaged,
                        what + ": authentication failed (damaged data or wrong password)");
        }
    }
    if (d.produced != rec.uncompressedSize) {
        return Fail(ZipError::Damaged, what + ": damaged archive (size lies)");
    }
    if (d.checkCrc && static_cast<uint32_t>(d.crc) != rec.crc32) {
        return Fail(ZipError::Damaged, what + ": damaged data (CRC mismatch)");
    }
    return true;
}

bool ZipReader::ChunkIndexFits(const ZipEntryRecord& rec, const Decoding& d) {
    if (!d.deflated || rec.chunks.size() < 2 || d.zipCrypto) return false;
    if (rec.chunkInput == 0 || rec.chunkInput > kMaxChunkInput) return false;
    // Every chunk but the last holds chunkInput bytes, the last one the rest.
    const uint64_t count = rec.chunks.size();
    if (count - 1 > rec.uncompressedSize / rec.chunkInput) return false;
    const uint64_t rest = rec.uncompressedSize - (count - 1) * rec.chunkInput;
    if (rest == 0 || rest > rec.chunkInput) return false;
    uint64_t sum = 0;
    for (uint64_t chunk : rec.chunks) {
        if (chunk == 0 || chunk > kMaxChunkInput + kMaxChunkInput / 8) return false;
        sum += chunk;
    }
    return sum == d.payload;
}

bool ZipReader::Account(Decoding& d, const uint8_t* data, size_t n, const uint32_t* pieceCrc) {
    if (n > d.rec.uncompressedSize - d.produced) {
        return Fail(ZipError::Damaged, d.what + ": damaged archive (size lies)");
    }
    if (d.checkCrc) {
        d.crc = pieceCrc ? crc32_combine(d.crc, *pieceCrc, static_cast<z_off_t>(n))
                         : deflate::Crc32(static_cast<uint32_t>(d.crc), data, n);
    }
    d.produced += n;
    return true;
}

bool ZipReader::Progress(Decoding& d, uint64_t done) {
    if (d.hooks.progress &&
        (done - d.reported >= kProgressStep || done == d.rec.uncompressedSize)) {
        d.reported = done;
        d.hooks.progress(done, d.rec.uncompressedSize);
    }
    return !(d.hooks.cancel && d.hooks.cancel()) || Fail(ZipError::Cancelled, "cancelled");
}

bool ZipReader::Deliver(Decoding& d, const uint8_t* data, size_t n) {
    if (!Account(d, data, n, nullptr)) return false;
    if (d.sink && !d.sink(data, n)) {
        return Fail(ZipError::TargetUnwritable, d.what + ": the data cannot be written");
    }
    return Progress(d, d.produced);
}

bool ZipReader::FitsWhole(const Decoding& d) {
    return d.deflated && d.rec.uncompressedSize <= kMaxWholeEntry &&
           d.payload <= kMaxWholeEntry + kMaxWholeEntry / 8;
}

// A small deflated entry is read, decrypted and inflated in one piece.
bool ZipReader::ReadWhole(Decoding& d) {
    const auto payload = static_cast<size_t>(d.payload);
    const auto size = static_cast<size_t>(d.rec.uncompressedSize);
    if (whole_.input.size() < payload + 2) whole_.input.resize(payload + 2);
    if (whole_.output.size() < size + 1) whole_.output.resize(size + 1);
    uint8_t* in = whole_.input.data();
    if (!ReadExactly(*stream_, in, payload)) {
        return Fail(ZipError::Damaged, d.what + ": the archive cannot be read (truncated)");
    }
    if (d.isAes) {
        d.hmac.Update(in, payload);
        d.ctr.Apply(in, payload);
    } else if (d.zipCrypto) {
        d.zipCrypto->Decrypt(in, payload);
    }
    if (!deflate::InflatePiece(in, payload, true, whole_.output.data(), size)) {
        return Fail(
            ZipError::Damaged,
            d.what + (d.rec.encrypted() ? ": wrong password or damaged data"
                                        : ": damaged data (bad compressed stream or size)"));
    }
    return size == 0 ? Progress(d, 0) : Deliver(d, whole_.output.data(), size);
}

bool ZipReader::ReadSequential(Decoding& d) {
    const std::string& what = d.what;
    Inflater inflater;
    if (d.deflated && !inflater.Init()) return Fail(ZipError::Damaged, what + ": out of memory");
    // Buffers fit small entries, so many small entries cost no large allocations.
    std::vector<uint8_t> in(
        static_cast<size_t>(std::min<uint64_t>(kReadBuffer, std::max<uint64_t>(d.payload, 1))));
    std::vector<uint8_t> out(d.deflated
                                 ? static_cast<size_t>(std::min<uint64_t>(
                                       kReadBuffer, std::max<uint64_t>(d.rec.uncompressedSize, 64)))
                                 : 0);
    bool streamEnded = !d.deflated;
    uint64_t payload = d.payload;
    while (payload > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(payload, in.size()));
        int64_t got = stream_->Read(in.data(), n);
        if (got <= 0)
            return Fail(ZipError::Damaged, what + ": the archive cannot be read (truncated)");
        n = static_cast<size_t>(got);
        payload -= n;
        if (d.isAes) {
            d.hmac.Update(in.data(), n);
            d.ctr.Apply(in.data(), n);
        } else if (d.zipCrypto) {
            d.zipCrypto->Decrypt(in.data(), n);
        }
        if (!d.deflated) {
            if (!Deliver(d, in.data(), n)) return false;
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
                return Fail(ZipError::Damaged,
                            what + (d.rec.encrypted() ? ": wrong password or damaged data"
                                                      : ": damaged data (bad compressed stream)"));
            }
            size_t made = out.size() - inflater.zs.avail_out;
            if (made > 0 && !Deliver(d, out.data(), made)) return false;
            if (rc == Z_STREAM_END) streamEnded = true;
            if (rc == Z_BUF_ERROR && made == 0) break;
        }
    }
    // The inflater may still hold output after its input is spent.
    while (d.deflated && !streamEnded) {
        inflater.zs.next_in = in.data();
        inflater.zs.avail_in = 0;
        inflater.zs.next_out = out.data();
        inflater.zs.avail_out = static_cast<uInt>(out.size());
        int rc = inflate(&inflater.zs, Z_NO_FLUSH);
        size_t made = out.size() - inflater.zs.avail_out;
        if (made > 0 && !Deliver(d, out.data(), made)) return false;
        if (rc == Z_STREAM_END) {
            streamEnded = true;
        } else if (made == 0) {
            return Fail(ZipError::Damaged, what + ": damaged data (compressed stream ends early)");
        }
    }
    return true;
}

// The chunks of an entry with a sound index: the calling thread reads them in order (and feeds the
// authentication code, which must see the bytes in order), the workers decrypt and inflate them,
// and a thread of its own hands the output to the sink in order, so that writing the output
// overlaps reading and inflating.
bool ZipReader::ReadChunks(Decoding& d) {
    if (!pool_) pool_ = std::make_unique<WorkerPool>(WorkerCount());
    if (!writer_) writer_ = std::make_unique<WorkerPool>(1);
    const ZipEntryRecord& rec = d.rec;
    const size_t maxPieces = pool_->Size() * 2 + 2;
    OrderedWork<Piece> decoding(*pool_), writing(*writer_);
    std::vector<std::shared_ptr<Piece>> spare;
    uint64_t bytesInFlight = 0, written = 0;
    const crypto::AesKeys* keys = d.isAes ? &d.keys : nullptr;
    const bool wantCrc = d.checkCrc;

    // A piece is done when the sink has it (or at once without a sink).
    auto done = [&](std::shared_ptr<Piece> piece) {
        bytesInFlight -= piece->inputSize + piece->outputSize;
        written += piece->produced;
        spare.push_back(std::move(piece));
        return Progress(d, written);
    };
    auto takeWritten = [&] {
        std::shared_ptr<Piece> piece = writing.TakeFront();
        if (!piece->ok) {
            return Fail(ZipError::TargetUnwritable, d.what + ": the data cannot be written");
        }
        return done(std::move(piece));
    };
    auto takeDecoded = [&] {
        std::shared_ptr<Piece> piece = decoding.TakeFront();
        if (!piece->ok) {
            return Fail(ZipError::Damaged,
                        d.what + (rec.encrypted() ? ": wrong password or damaged data"
                                                  : ": damaged data (bad compressed stream)"));
        }
        if (!Account(d, piece->output.data(), piece->produced, wantCrc ? &piece->crc : nullptr)) {
            return false;
        }
        if (!d.sink) return done(std::move(piece));
        writing.Submit(std::move(piece),
                       [&sink = d.sink](Piece& p) { p.ok = sink(p.output.data(), p.produced); });
        return true;
    };
    auto takeOne = [&] {
        bool writeFirst = !writing.Empty() && (writing.FrontDone() || decoding.Empty());
        return writeFirst ? takeWritten() : takeDecoded();
    };

    uint64_t offset = 0;
    const size_t count = rec.chunks.size();
    for (size_t i = 0; i < count; ++i) {
        std::shared_ptr<Piece> piece = ReuseOrMake(spare);
        piece->inputSize = static_cast<size_t>(rec.chunks[i]);
        piece->last = i + 1 == count;
        piece->outputSize = static_cast<size_t>(
            piece->last ? rec.uncompressedSize - rec.chunkInput * (count - 1) : rec.chunkInput);
        piece->offset = offset;
        offset += piece->inputSize;
        while (decoding.Size() + writing.Size() > 0 &&
               (decoding.Size() + writing.Size() >= maxPieces ||
                bytesInFlight + piece->inputSize + piece->outputSize > kMaxBytesInFlight)) {
            if (!takeOne()) return false;
        }
        if (piece->input.size() < piece->inputSize + 2) piece->input.resize(piece->inputSize + 2);
        if (!ReadExactly(*stream_, piece->input.data(), piece->inputSize)) {
            return Fail(ZipError::Damaged, d.what + ": the archive cannot be read (truncated)");
        }
        if (d.isAes) d.hmac.Update(piece->input.data(), piece->inputSize);
        bytesInFlight += piece->inputSize + piece->outputSize;
        decoding.Submit(std::move(piece), [keys, wantCrc](Piece& p) { p.Decode(keys, wantCrc); });
    }
    while (!decoding.Empty() || !writing.Empty()) {
        if (!takeOne()) return false;
    }
    return true;
}

}  // namespace kestrine::archive
