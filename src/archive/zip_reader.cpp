#include "archive/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/deflate_codec.h"
#include "archive/zip_crypto.h"
#include "archive/zip_format.h"
#include "archive/zip_headers.h"
#include "archive/zip_workers.h"
#include "base/byte_buffer.h"
#include "base/utf.h"
#include "platform/text.h"

namespace kestrine::archive {

using namespace format;

namespace {

constexpr size_t kReadBuffer = 256 * 1024;
constexpr uint64_t kMax32 = 0xffffffffu;
constexpr uint64_t kMaxCentralDirectory = 256u << 20;
constexpr uint64_t kProgressStep = 1u << 20;
// Pieces of a chunked entry in flight: enough to keep the cores busy, little memory.
constexpr uint64_t kMaxBytesInFlight = 32u << 20;
// Deflated entries up to this size (the writer's chunk size) are inflated in one piece.
constexpr uint64_t kMaxWholeEntry = 1u << 20;

Status Damaged(const std::string& message) {
    return Status::Fail(Failure::Damaged, message);
}
Status Unsupported(const std::string& message) {
    return Status::Fail(Failure::Unsupported, message);
}

// zlib's inflater over an entry read piece by piece; `deliver` takes each piece of output.
struct Inflater {
    z_stream zs{};
    bool ready = false;
    bool ended = false;  // the compressed stream is complete
    std::vector<uint8_t> out;
    bool Init(size_t outputSize) {
        out.resize(outputSize);
        ready = inflateInit2(&zs, -MAX_WBITS) == Z_OK;
        return ready;
    }
    ~Inflater() {
        if (ready) inflateEnd(&zs);
    }
    Inflater() = default;
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates in[0..n); bytes after the end of the compressed stream are ignored.
    template <class Deliver>
    Status Feed(uint8_t* in, size_t n, const std::string& damaged, const Deliver& deliver) {
        zs.next_in = in;
        zs.avail_in = static_cast<uInt>(n);
        while (zs.avail_in > 0 && !ended) {
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            const int rc = inflate(&zs, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return Damaged(damaged);
            const size_t made = out.size() - zs.avail_out;
            if (made > 0) {
                if (Status delivered = deliver(out.data(), made); !delivered) return delivered;
            }
            if (rc == Z_STREAM_END) ended = true;
            if (rc == Z_BUF_ERROR && made == 0) break;
        }
        return {};
    }
    // The inflater may still hold output after its input is spent.
    template <class Deliver>
    Status Drain(const std::string& endsEarly, const Deliver& deliver) {
        while (!ended) {
            zs.next_in = out.data();
            zs.avail_in = 0;
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            const int rc = inflate(&zs, Z_NO_FLUSH);
            const size_t made = out.size() - zs.avail_out;
            if (made > 0) {
                if (Status delivered = deliver(out.data(), made); !delivered) return delivered;
            }
            if (rc == Z_STREAM_END) {
                ended = true;
            } else if (made == 0) {
                return Damaged(endsEarly);
            }
        }
        return {};
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

// One chunk of a chunked entry, decrypted and inflated on a worker.
struct Piece {
    base::ByteBuffer input;   // room reused; `inputSize` bytes used, and two spare
    base::ByteBuffer output;  // room for `outputSize` bytes
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
        // Every chunk but the last ends at a block boundary with all its input used; the last one
        // ends the stream.
        ok = deflate::InflatePiece(input.data(), inputSize, last, output.data(), outputSize);
        produced = ok ? outputSize : 0;
        if (ok && wantCrc) crc = deflate::Crc32(0, output.data(), produced);
    }
};

// The name as the writer meant it: UTF-8 when flagged or given in a Unicode path field, else the
// OEM code page of the MS-DOS family's systems, else (Unix tools) the system's UTF-8.
std::string EntryName(const std::string& rawName, const std::string& unicodeName, uint16_t flags,
                      bool dosHost) {
    if ((flags & kFlagUtf8) != 0 && base::IsWellFormedUtf8(rawName)) return rawName;
    if (!unicodeName.empty()) return unicodeName;
    if (IsAscii(rawName)) return rawName;
    if (!dosHost && base::IsWellFormedUtf8(rawName)) return rawName;
    return platform::OemToUtf8(rawName);
}

}  // namespace

// Where the central directory is, as the end records say.
struct ZipReader::EndRecord {
    uint64_t offset = 0;  // of the classic end record
    uint64_t limit = 0;   // the central directory ends before this
    uint64_t disk = 0, cdDisk = 0;
    uint64_t count = 0;
    uint64_t cdSize = 0;
    uint64_t cdOffset = 0;
    bool zip64 = false;
};

// One entry being decoded: where its data is, its keys, and what came out so far.
struct ZipReader::Decoding {
    Decoding(const ZipEntryRecord& record, const Sink& output, ZipObserver& watcher)
        : rec(record), what("entry \"" + record.name + "\""), sink(output), observer(watcher) {}
    const ZipEntryRecord& rec;
    const std::string what;
    const Sink& sink;
    ZipObserver& observer;
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

struct ZipReader::SparePieces {
    std::vector<std::shared_ptr<Piece>> pieces;
};

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() = default;
ZipReader::ZipReader(ZipReader&&) noexcept = default;
ZipReader& ZipReader::operator=(ZipReader&&) noexcept = default;

void ZipReader::Close() {
    entries_.clear();
    stream_.reset();
    spare_.reset();
}

Status ZipReader::Open(std::unique_ptr<platform::fileio::FileStream> stream) {
    Close();
    if (!stream) return Damaged("the archive cannot be opened");
    EndRecord end;
    if (Status found = FindEndRecord(*stream, end); !found) return found;
    if (!end.zip64 && (end.cdSize == kMax32 || end.cdOffset == kMax32)) {
        return Damaged("damaged archive (ZIP64 end record missing)");
    }
    if (end.disk != 0 || end.cdDisk != 0)
        return Unsupported("multi-part archives are not supported");
    if (end.cdOffset > end.limit || end.cdSize > end.limit - end.cdOffset) {
        return Damaged("damaged archive (central directory out of bounds)");
    }
    // Far beyond any backup (millions of entries); refused so a lying archive cannot make the
    // reader allocate without bound.
    if (end.cdSize > kMaxCentralDirectory) return Damaged("the central directory is too large");
    if (end.count > end.cdSize / kCentralHeaderSize) {
        return Damaged("damaged archive (more entries than the central directory holds)");
    }
    stream_ = std::move(stream);
    Status read = ReadCentralDirectory(end.cdOffset, end.cdSize, end.count);
    if (!read) {
        stream_.reset();
        entries_.clear();
    }
    return read;
}

// The end record sits in the last 22 bytes plus at most a 65535-byte comment; a ZIP64 end record
// and its locator, when there, just before it.
Status ZipReader::FindEndRecord(platform::fileio::FileStream& stream, EndRecord& found) {
    const int64_t signedSize = stream.Size();
    if (signedSize < 0) return Damaged("the archive cannot be read");
    const auto fileSize = static_cast<uint64_t>(signedSize);
    if (fileSize < kEndSize) return Damaged("not a zip archive (too short)");
    const auto tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, kEndSize + 0xffff));
    std::vector<uint8_t> tail(tailSize);
    const uint64_t tailStart = fileSize - tailSize;
    if (!stream.ReadAt(tailStart, tail.data(), tailSize)) {
        return Damaged("the archive cannot be read");
    }
    size_t endPos = SIZE_MAX;
    for (size_t pos = tailSize - kEndSize + 1; pos-- > 0;) {
        if (Get32(&tail[pos]) == kEndSig && pos + kEndSize + Get16(&tail[pos + 20]) <= tailSize) {
            endPos = pos;
            break;
        }
    }
    if (endPos == SIZE_MAX) return Damaged("not a zip archive (no end of central directory)");
    const uint8_t* end = &tail[endPos];
    found.offset = tailStart + endPos;
    found.disk = Get16(end + 4), found.cdDisk = Get16(end + 6);
    found.count = Get16(end + 10);
    found.cdSize = Get32(end + 12);
    found.cdOffset = Get32(end + 16);
    found.limit = found.offset;
    if (found.offset < kZip64LocatorSize) return {};
    uint8_t locator[kZip64LocatorSize];
    if (!stream.ReadAt(found.offset - kZip64LocatorSize, locator, sizeof locator)) {
        return Damaged("the archive cannot be read");
    }
    if (Get32(locator) != kZip64LocatorSig) return {};
    const uint64_t z64Offset = Get64(locator + 8);
    if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) {
        return Unsupported("multi-part archives are not supported");
    }
    if (z64Offset > found.offset - kZip64LocatorSize ||
        found.offset - kZip64LocatorSize - z64Offset < kZip64EndSize) {
        return Damaged("damaged archive (ZIP64 end record out of place)");
    }
    uint8_t z64[kZip64EndSize];
    if (!stream.ReadAt(z64Offset, z64, sizeof z64)) return Damaged("the archive cannot be read");
    if (Get32(z64) != kZip64EndSig) return Damaged("damaged archive (bad ZIP64 end record)");
    found.disk = Get32(z64 + 16);
    found.cdDisk = Get32(z64 + 20);
    found.count = Get64(z64 + 32);
    found.cdSize = Get64(z64 + 40);
    found.cdOffset = Get64(z64 + 48);
    found.limit = z64Offset;
    found.zip64 = true;
    return {};
}

Status ZipReader::ReadCentralDirectory(uint64_t offset, uint64_t size, uint64_t count) {
    std::vector<uint8_t> cd(static_cast<size_t>(size));
    if (size > 0 && !stream_->ReadAt(offset, cd.data(), cd.size())) {
        return Damaged("the archive cannot be read (central directory)");
    }
    entries_.reserve(static_cast<size_t>(count));
    size_t p = 0;
    for (uint64_t i = 0; i < count; ++i) {
        ZipEntryRecord rec;
        size_t recordSize = 0;
        if (Status parsed = ParseCentralRecord(cd.data() + p, cd.size() - p, rec, recordSize);
            !parsed) {
            return parsed;
        }
        entries_.push_back(std::move(rec));
        p += recordSize;
    }
    return CheckEntrySpaces(offset);
}

// One central directory record at h[0..room): its header, name and extra fields.
Status ZipReader::ParseCentralRecord(const uint8_t* h, size_t room, ZipEntryRecord& rec,
                                     size_t& recordSize) {
    CentralHeader header;
    if (!GetRecord(h, room, header))
        return Damaged("damaged archive (bad central directory record)");
    const size_t nameLen = header.nameLength, extraLen = header.extraLength;
    if (room - kCentralHeaderSize < nameLen + extraLen + header.commentLength) {
        return Damaged("damaged archive (central directory record runs past its end)");
    }
    recordSize = kCentralHeaderSize + nameLen + extraLen + header.commentLength;
    // Names from MS-DOS, OS/2, NTFS and VFAT systems without the UTF-8 flag are text in the
    // system's OEM code page.
    const int host = header.versionMadeBy >> 8;
    const bool dosHost = host == 0 || host == 6 || host == 10 || host == 14;
    rec.flags = header.flags;
    rec.method = header.method;
    rec.realMethod = rec.method;
    rec.dosTime = header.dosTime;
    rec.crc32 = header.crc32;
    rec.compressedSize = header.compressedSize;
    rec.uncompressedSize = header.uncompressedSize;
    uint32_t diskStart = header.diskStart;
    rec.localOffset = header.localOffset;
    const std::string rawName(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLen);

    std::string unicodeName;
    if (Status read = ReadExtraFields(h + kCentralHeaderSize + nameLen, extraLen, rawName, rec,
                                      diskStart, unicodeName);
        !read) {
        return read;
    }
    if (diskStart != 0 && diskStart != 0xffff) {
        return Unsupported("multi-part archives are not supported");
    }
    if (rec.method == kMethodAes && rec.aesStrength == 0) {
        rec.realMethod = kMethodAes;  // left unsupported: AES without its description
    }
    rec.name = EntryName(rawName, unicodeName, rec.flags, dosHost);
    return {};
}

// The extra fields of a central directory record that are read here: ZIP64 sizes, offset and disk,
// the AES description, the Unicode name, our chunk index and where our piece digests lie. Others
// are skipped.
Status ZipReader::ReadExtraFields(const uint8_t* extra, size_t extraLen, const std::string& rawName,
                                  ZipEntryRecord& rec, uint32_t& diskStart,
                                  std::string& unicodeName) {
    size_t q = 0;
    while (extraLen - q >= 4) {
        const uint16_t id = Get16(extra + q);
        const size_t len = Get16(extra + q + 2);
        if (extraLen - q - 4 < len) break;  // padding or junk at the end of the field
        const uint8_t* data = extra + q + 4;
        if (id == kZip64ExtraId) {
            Zip64Extra wanted;
            if (rec.uncompressedSize == kMax32) wanted.uncompressedSize = 0;
            if (rec.compressedSize == kMax32) wanted.compressedSize = 0;
            if (rec.localOffset == kMax32) wanted.localOffset = 0;
            if (!GetExtra(data, len, wanted)) return Damaged("damaged archive (bad ZIP64 field)");
            rec.uncompressedSize = wanted.uncompressedSize.value_or(rec.uncompressedSize);
            rec.compressedSize = wanted.compressedSize.value_or(rec.compressedSize);
            rec.localOffset = wanted.localOffset.value_or(rec.localOffset);
            const size_t used =
                8 * (size_t{wanted.uncompressedSize.has_value()} +
                     wanted.compressedSize.has_value() + wanted.localOffset.has_value());
            if (diskStart == 0xffff && len - used >= 4) diskStart = Get32(data + used);
        } else if (AesExtra aes; id == kAesExtraId && GetExtra(data, len, aes)) {
            rec.aesVersion = aes.version;
            rec.aesStrength = aes.strength;
            if (rec.method == kMethodAes) rec.realMethod = aes.method;
        } else if (id == kUnicodePathExtraId && len >= 5 && data[0] == 1) {
            const uint32_t nameCrc = Get32(data + 1);
            std::string candidate(reinterpret_cast<const char*>(data + 5), len - 5);
            const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(rawName.data()),
                                    static_cast<uInt>(rawName.size()));
            if (crc == nameCrc && base::IsWellFormedUtf8(candidate)) unicodeName = candidate;
        } else if (id == kChunkIndexExtraId && len >= 1 && data[0] == kChunkIndexVersion) {
            ReadChunkIndex(data, len, rec);
        } else if (id == kPieceDigestsExtraId && len == kPieceDigestsFieldSize &&
                   data[0] == kPieceDigestsVersion) {
            rec.digestsOffset = Get64(data + 1);
            rec.digestsSize = Get32(data + 9);
            rec.digestsCrc = Get32(data + 13);
        }
        q += 4 + len;
    }
    return {};
}

// Every entry's space runs from its local header to the next entry's header (or the central
// directory, at `cdOffset`); entries that share or overlap space are refused.
Status ZipReader::CheckEntrySpaces(uint64_t cdOffset) {
    std::vector<size_t> order(entries_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [this](size_t a, size_t b) {
        return entries_[a].localOffset < entries_[b].localOffset;
    });
    for (size_t k = 0; k < order.size(); ++k) {
        ZipEntryRecord& rec = entries_[order[k]];
        const uint64_t next = k + 1 < order.size() ? entries_[order[k + 1]].localOffset : cdOffset;
        if (rec.localOffset >= next || next - rec.localOffset < kLocalHeaderSize ||
            next - rec.localOffset - kLocalHeaderSize < rec.compressedSize) {
            return Damaged("damaged archive (entries overlap or run past their space)");
        }
        rec.dataLimit = next;
    }
    return {};
}

Status ZipReader::ReadEntry(size_t index, const std::string& password, const Sink& sink,
                            ZipObserver& observer) {
    if (!stream_) return Status::Fail(Failure::NotReady, "no archive is open");
    if (index >= entries_.size()) return Status::Fail(Failure::NotReady, "no such entry");
    Decoding d(entries_[index], sink, observer);
    if (Status located = LocateData(d); !located) return located;
    if (Status started = StartDecryption(d, password); !started) return started;
    if (!stream_->Seek(d.position)) return Damaged(d.what + ": the archive cannot be read");
    const Status read = ChunkIndexFits(d.rec, d) ? ReadChunks(d)
                        : FitsWhole(d)           ? ReadWhole(d)
                                                 : ReadSequential(d);
    if (!read) return read;
    return CheckEnd(d);
}

// The entry's data after its local header, within its space, in a method read here.
Status ZipReader::LocateData(Decoding& d) {
    const ZipEntryRecord& rec = d.rec;
    uint8_t bytes[kLocalHeaderSize];
    LocalHeader local;
    if (!stream_->ReadAt(rec.localOffset, bytes, sizeof bytes) ||
        !GetRecord(bytes, sizeof bytes, local)) {
        return Damaged(d.what + ": damaged archive (bad local header)");
    }
    d.dataStart = rec.localOffset + kLocalHeaderSize + local.nameLength + local.extraLength;
    if (d.dataStart > rec.dataLimit || rec.dataLimit - d.dataStart < rec.compressedSize) {
        return Damaged(d.what + ": damaged archive (data runs past its space)");
    }
    if ((rec.flags & kFlagStrongEncryption) != 0) {
        return Unsupported(d.what + ": unsupported encryption");
    }
    if (rec.realMethod != kMethodStored && rec.realMethod != kMethodDeflated) {
        return Unsupported(d.what + ": unsupported compression method " +
                           std::to_string(rec.realMethod));
    }
    d.position = d.dataStart;
    d.payload = rec.compressedSize;
    d.isAes = rec.encrypted() && rec.aesStrength != 0;
    d.deflated = rec.realMethod == kMethodDeflated;
    // AE-2 leaves the CRC out; its authentication code covers the data instead.
    d.checkCrc = !d.isAes || rec.aesVersion == 1;
    return {};
}

// The keys of a protected entry, checked against the entry's password check before any data is
// decoded; the compressed stream starts after the encryption header.
Status ZipReader::StartDecryption(Decoding& d, const std::string& password) {
    const ZipEntryRecord& rec = d.rec;
    const std::string& what = d.what;
    if (!rec.encrypted()) return {};
    if (password.empty())
        return Status::Fail(Failure::WrongPassword, what + ": a password is needed");
    if (d.isAes) {
        const size_t saltSize = crypto::AesSaltSize(rec.aesStrength);
        if (saltSize == 0) return Unsupported(what + ": unsupported AES key size");
        const size_t overhead = saltSize + crypto::kAesVerifierSize + crypto::kAesAuthCodeSize;
        if (d.payload < overhead)
            return Damaged(what + ": damaged archive (encrypted data too short)");
        uint8_t head[16 + crypto::kAesVerifierSize];
        if (!stream_->ReadAt(d.position, head, saltSize + crypto::kAesVerifierSize)) {
            return Damaged(what + ": the archive cannot be read");
        }
        if (!crypto::DeriveAesKeys(password, head, rec.aesStrength, d.keys)) {
            return Unsupported(what + ": the key cannot be derived");
        }
        // The verifier turns away all but one wrong password in 65536 before any data is read.
        if (!crypto::SameBytes(d.keys.verifier, head + saltSize, crypto::kAesVerifierSize)) {
            return Status::Fail(Failure::WrongPassword, what + ": wrong password");
        }
        if (!d.ctr.Init(d.keys.encryption, d.keys.keySize) ||
            !d.hmac.Init(d.keys.authentication, d.keys.keySize)) {
            return Unsupported(what + ": the cipher cannot be set up");
        }
        d.position += saltSize + crypto::kAesVerifierSize;
        d.payload -= overhead;
        return {};
    }
    if (d.payload < 12) return Damaged(what + ": damaged archive (encrypted data too short)");
    uint8_t head[12];
    if (!stream_->ReadAt(d.position, head, sizeof head)) {
        return Damaged(what + ": the archive cannot be read");
    }
    d.zipCrypto = std::make_unique<crypto::ZipCryptoDecoder>(password);
    d.zipCrypto->Decrypt(head, sizeof head);
    const uint8_t check = (rec.flags & kFlagDataDescriptor) != 0
                              ? static_cast<uint8_t>((rec.dosTime >> 8) & 0xff)
                              : static_cast<uint8_t>(rec.crc32 >> 24);
    if (head[11] != check) return Status::Fail(Failure::WrongPassword, what + ": wrong password");
    d.position += 12;
    d.payload -= 12;
    return {};
}

// The checks over the whole entry: the authentication code, the size, the CRC.
Status ZipReader::CheckEnd(Decoding& d) {
    const ZipEntryRecord& rec = d.rec;
    if (d.isAes) {
        uint8_t stored[crypto::kAesAuthCodeSize], computed[crypto::kAesAuthCodeSize];
        if (!stream_->ReadAt(d.dataStart + rec.compressedSize - crypto::kAesAuthCodeSize, stored,
                             sizeof stored)) {
            return Damaged(d.what + ": the archive cannot be read");
        }
        d.hmac.Final(computed);
        if (!crypto::SameBytes(stored, computed, sizeof stored)) {
            return Damaged(d.what + ": authentication failed (damaged data or wrong password)");
        }
    }
    if (d.produced != rec.uncompressedSize)
        return Damaged(d.what + ": damaged archive (size lies)");
    if (d.checkCrc && static_cast<uint32_t>(d.crc) != rec.crc32) {
        return Damaged(d.what + ": damaged data (CRC mismatch)");
    }
    return {};
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

Status ZipReader::Account(Decoding& d, const uint8_t* data, size_t n, const uint32_t* pieceCrc) {
    if (n > d.rec.uncompressedSize - d.produced) {
        return Damaged(d.what + ": damaged archive (size lies)");
    }
    if (d.checkCrc) {
        d.crc = pieceCrc ? crc32_combine(d.crc, *pieceCrc, static_cast<z_off_t>(n))
                         : deflate::Crc32(static_cast<uint32_t>(d.crc), data, n);
    }
    d.produced += n;
    return {};
}

Status ZipReader::Progress(Decoding& d, uint64_t done) {
    if (done - d.reported >= kProgressStep || done == d.rec.uncompressedSize) {
        d.reported = done;
        d.observer.EntryProgress(d.rec.name, done, d.rec.uncompressedSize);
    }
    if (d.observer.CancelRequested()) return Status::Fail(Failure::Cancelled, "cancelled");
    return {};
}

Status ZipReader::Deliver(Decoding& d, const uint8_t* data, size_t n) {
    if (Status counted = Account(d, data, n, nullptr); !counted) return counted;
    if (d.sink && !d.sink(data, n)) {
        return Status::Fail(Failure::WriteFailed, d.what + ": the data cannot be written");
    }
    return Progress(d, d.produced);
}

bool ZipReader::FitsWhole(const Decoding& d) {
    return d.deflated && d.rec.uncompressedSize <= kMaxWholeEntry &&
           d.payload <= kMaxWholeEntry + kMaxWholeEntry / 8;
}

// A small deflated entry is read, decrypted and inflated in one piece.
Status ZipReader::ReadWhole(Decoding& d) {
    const auto payload = static_cast<size_t>(d.payload);
    const auto size = static_cast<size_t>(d.rec.uncompressedSize);
    if (whole_.input.size() < payload + 2) whole_.input.resize(payload + 2);
    if (whole_.output.size() < size + 1) whole_.output.resize(size + 1);
    uint8_t* in = whole_.input.data();
    if (platform::fileio::ReadFull(*stream_, in, payload) != static_cast<int64_t>(payload)) {
        return Damaged(d.what + ": the archive cannot be read (truncated)");
    }
    if (d.isAes) {
        d.hmac.Update(in, payload);
        d.ctr.Apply(in, payload);
    } else if (d.zipCrypto) {
        d.zipCrypto->Decrypt(in, payload);
    }
    if (!deflate::InflatePiece(in, payload, true, whole_.output.data(), size)) {
        return Damaged(d.what + (d.rec.encrypted()
                                     ? ": wrong password or damaged data"
                                     : ": damaged data (bad compressed stream or size)"));
    }
    return size == 0 ? Progress(d, 0) : Deliver(d, whole_.output.data(), size);
}

Status ZipReader::ReadSequential(Decoding& d) {
    const std::string& what = d.what;
    // Buffers fit small entries, so many small entries cost no large allocations.
    std::vector<uint8_t> in(
        static_cast<size_t>(std::min<uint64_t>(kReadBuffer, std::max<uint64_t>(d.payload, 1))));
    Inflater inflater;
    if (d.deflated && !inflater.Init(static_cast<size_t>(std::min<uint64_t>(
                          kReadBuffer, std::max<uint64_t>(d.rec.uncompressedSize, 64))))) {
        return Damaged(what + ": out of memory");
    }
    const auto deliver = [&d](const uint8_t* data, size_t n) { return Deliver(d, data, n); };
    const std::string damaged =
        what + (d.rec.encrypted() ? ": wrong password or damaged data"
                                  : ": damaged data (bad compressed stream)");
    uint64_t payload = d.payload;
    while (payload > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(payload, in.size()));
        const int64_t got = stream_->Read(in.data(), n);
        if (got <= 0) return Damaged(what + ": the archive cannot be read (truncated)");
        n = static_cast<size_t>(got);
        payload -= n;
        if (d.isAes) {
            d.hmac.Update(in.data(), n);
            d.ctr.Apply(in.data(), n);
        } else if (d.zipCrypto) {
            d.zipCrypto->Decrypt(in.data(), n);
        }
        const Status taken =
            d.deflated ? inflater.Feed(in.data(), n, damaged, deliver) : deliver(in.data(), n);
        if (!taken) return taken;
    }
    if (!d.deflated) return {};
    return inflater.Drain(what + ": damaged data (compressed stream ends early)", deliver);
}

// The chunks of an entry with a sound index on their way through: the calling thread reads them in
// order (and feeds the authentication code, which must see the bytes in order), the workers
// decrypt and inflate them, and a thread of its own hands the output to the sink in order, so that
// writing the output overlaps reading and inflating.
class ZipReader::ChunkPipeline {
  public:
    ChunkPipeline(Decoding& d, platform::fileio::FileStream& stream, WorkerPool& decoders,
                  WorkerPool& writer, std::vector<std::shared_ptr<Piece>>& spare)
        : d_(d),
          stream_(stream),
          spare_(spare),
          decoding_(decoders),
          writing_(writer),
          maxPieces_(decoders.Size() * 2 + 2),
          keys_(d.isAes ? &d.keys : nullptr) {}

    Status Run() {
        for (size_t i = 0; i < d_.rec.chunks.size(); ++i) {
            std::shared_ptr<Piece> piece = PieceOfChunk(i);
            if (Status room = MakeRoomFor(*piece); !room) return room;
            if (Status read = Read(*piece); !read) return read;
            Decode(std::move(piece));
        }
        while (InFlight() > 0)
            if (Status taken = TakeOne(); !taken) return taken;
        return {};
    }

  private:
    // Chunk `i` as the index describes it: its compressed size, what it inflates to, and where it
    // lies in the compressed stream (the AES counter starts there).
    std::shared_ptr<Piece> PieceOfChunk(size_t i) {
        const ZipEntryRecord& rec = d_.rec;
        const size_t count = rec.chunks.size();
        std::shared_ptr<Piece> piece = ReuseOrMake(spare_);
        piece->inputSize = static_cast<size_t>(rec.chunks[i]);
        piece->last = i + 1 == count;
        piece->outputSize = static_cast<size_t>(
            piece->last ? rec.uncompressedSize - rec.chunkInput * (count - 1) : rec.chunkInput);
        piece->offset = offset_;
        offset_ += piece->inputSize;
        return piece;
    }

    // Takes finished pieces until `next` fits within the pieces and bytes allowed in flight.
    Status MakeRoomFor(const Piece& next) {
        while (InFlight() > 0 &&
               (InFlight() >= maxPieces_ ||
                bytesInFlight_ + next.inputSize + next.outputSize > kMaxBytesInFlight)) {
            if (Status taken = TakeOne(); !taken) return taken;
        }
        return {};
    }

    Status Read(Piece& piece) {
        if (!piece.input.Resize(piece.inputSize + 2) || !piece.output.Resize(piece.outputSize))
            return Status::Fail(Failure::WriteFailed, d_.what + ": out of memory");
        if (platform::fileio::ReadFull(stream_, piece.input.data(), piece.inputSize) !=
            static_cast<int64_t>(piece.inputSize)) {
            return Damaged(d_.what + ": the archive cannot be read (truncated)");
        }
        if (d_.isAes) d_.hmac.Update(piece.input.data(), piece.inputSize);
        return {};
    }

    void Decode(std::shared_ptr<Piece> piece) {
        bytesInFlight_ += piece->inputSize + piece->outputSize;
        decoding_.Submit(std::move(piece), [keys = keys_, wantCrc = d_.checkCrc](Piece& p) {
            p.Decode(keys, wantCrc);
        });
    }

    size_t InFlight() const { return decoding_.Size() + writing_.Size(); }

    // The sink's oldest piece when it is done (or nothing is left to decode), else the oldest
    // decoded one.
    Status TakeOne() {
        const bool writeFirst = !writing_.Empty() && (writing_.FrontDone() || decoding_.Empty());
        return writeFirst ? TakeWritten() : TakeDecoded();
    }

    // A decoded piece is checked and counted, then goes to the sink's thread.
    Status TakeDecoded() {
        std::shared_ptr<Piece> piece = decoding_.TakeFront();
        if (!piece->ok) {
            return Damaged(d_.what + (d_.rec.encrypted()
                                          ? ": wrong password or damaged data"
                                          : ": damaged data (bad compressed stream)"));
        }
        if (Status counted = Account(d_, piece->output.data(), piece->produced,
                                     d_.checkCrc ? &piece->crc : nullptr);
            !counted) {
            return counted;
        }
        if (!d_.sink) return Done(std::move(piece));
        writing_.Submit(std::move(piece),
                        [&sink = d_.sink](Piece& p) { p.ok = sink(p.output.data(), p.produced); });
        return {};
    }

    Status TakeWritten() {
        std::shared_ptr<Piece> piece = writing_.TakeFront();
        if (!piece->ok) {
            return Status::Fail(Failure::WriteFailed, d_.what + ": the data cannot be written");
        }
        return Done(std::move(piece));
    }

    // A piece is done when the sink has it (or at once without a sink).
    Status Done(std::shared_ptr<Piece> piece) {
        bytesInFlight_ -= piece->inputSize + piece->outputSize;
        written_ += piece->produced;
        spare_.push_back(std::move(piece));
        return Progress(d_, written_);
    }

    Decoding& d_;
    platform::fileio::FileStream& stream_;
    std::vector<std::shared_ptr<Piece>>& spare_;  // the reader's, kept from entry to entry
    OrderedWork<Piece> decoding_, writing_;
    const size_t maxPieces_;
    const crypto::AesKeys* const keys_;
    uint64_t bytesInFlight_ = 0, written_ = 0, offset_ = 0;
};

Status ZipReader::ReadChunks(Decoding& d) {
    if (!pool_) pool_ = std::make_unique<WorkerPool>(WorkerCount());
    if (!writer_) writer_ = std::make_unique<WorkerPool>(1);
    if (!spare_) spare_ = std::make_unique<SparePieces>();
    return ChunkPipeline(d, *stream_, *pool_, *writer_, spare_->pieces).Run();
}

}  // namespace kestrine::archive
