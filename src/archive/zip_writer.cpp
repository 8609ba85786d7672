#include "archive/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "archive/deflate_codec.h"
#include "archive/zip_crypto.h"
#include "archive/zip_format.h"
#include "archive/zip_workers.h"

namespace kestrine::archive {

using namespace format;
using deflate::kFinalBlock;
namespace fileio = platform::fileio;

namespace {

constexpr uint64_t kMax32 = 0xffffffffu;
constexpr int kAesStrength = 3;
constexpr uint16_t kAesVersion = 2;
// Small entries read ahead of the writer, waiting for or done by the workers.
constexpr uint64_t kMaxPendingBytes = 8u << 20;
constexpr size_t kMaxPendingEntries = 64;
// Room for the chunk index in the central directory (extra fields hold at most 64 KiB).
constexpr size_t kMaxChunkIndexBytes = 32 * 1024;

struct Chunk {
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;
    uint32_t crc = 0;
    bool ok = true;
};

// The AES extra field (11 bytes with its header), the same in the local and the central header;
// it carries the real compression method.
void PutAesExtra(std::string& out, uint16_t method) {
    Put16(out, kAesExtraId);
    Put16(out, 7);
    Put16(out, kAesVersion);
    out += "AE";
    out.push_back(static_cast<char>(kAesStrength));
    Put16(out, method);
}

// Salt, password verifier and the two keys of a new AES entry: a fresh random salt each time.
struct AesStart {
    uint8_t head[16 + crypto::kAesVerifierSize];
    size_t headSize = 0;
    crypto::AesKeys keys;
    bool Make(const crypto::PasswordKey& key) {
        const size_t saltSize = crypto::AesSaltSize(kAesStrength);
        crypto::RandomBytes(head, saltSize);
        if (!crypto::DeriveAesKeys(key, head, kAesStrength, keys)) return false;
        std::memcpy(head + saltSize, keys.verifier, crypto::kAesVerifierSize);
        headSize = saltSize + crypto::kAesVerifierSize;
        return true;
    }
};

}  // namespace

// A whole file read at once, which a worker turns into its entry's data.
struct ZipWriter::SmallEntry {
    Entry entry;  // name, flags and time set; the worker sets method, CRC and sizes
    std::vector<uint8_t> input;
    uint64_t inputSize = 0;
    std::vector<uint8_t> payload;  // everything after the local header
    bool ok = true;

    // On a worker: compress (or store when it does not shrink), then encrypt and authenticate.
    void Prepare(const crypto::PasswordKey* key) {
        std::vector<uint8_t> compressed;
        bool shrinks = !input.empty() &&
                       deflate::CompressPiece(input.data(), input.size(), compressed) &&
                       compressed.size() + sizeof kFinalBlock < input.size();
        entry.crc = deflate::Crc32(0, input.data(), input.size());
        entry.uncompressedSize = input.size();
        entry.method = shrinks ? kMethodDeflated : kMethodStored;
        if (shrinks) compressed.insert(compressed.end(), kFinalBlock, kFinalBlock + 2);
        std::vector<uint8_t>& data = shrinks ? compressed : input;
        if (key) {
            AesStart start;
            crypto::AesCtr ctr;
            crypto::HmacSha1 hmac;
            if (!start.Make(*key) || !ctr.Init(start.keys.encryption, start.keys.keySize) ||
                !hmac.Init(start.keys.authentication, start.keys.keySize)) {
                ok = false;
                return;
            }
            ctr.Apply(data.data(), data.size());
            hmac.Update(data.data(), data.size());
            payload.reserve(start.headSize + data.size() + crypto::kAesAuthCodeSize);
            payload.assign(start.head, start.head + start.headSize);
            payload.insert(payload.end(), data.begin(), data.end());
            payload.resize(payload.size() + crypto::kAesAuthCodeSize);
            hmac.Final(payload.data() + payload.size() - crypto::kAesAuthCodeSize);
        } else {
            payload = std::move(data);
        }
        entry.compressedSize = payload.size();
        input = {};
    }
};

// Where a large entry's bytes go: optional AES encryption with its authentication code, then the
// file.
struct ZipWriter::Sink {
    fileio::FileStream& out;
    bool encrypt = false;
    crypto::AesCtr ctr;
    crypto::HmacSha1 hmac;
    uint64_t written = 0;

    explicit Sink(fileio::FileStream& stream) : out(stream) {}
    // False with `setupFailed` when the keys cannot be made, else when the write failed.
    bool Begin(const crypto::PasswordKey* key, bool& setupFailed) {
        setupFailed = false;
        encrypt = key != nullptr;
        if (!encrypt) return true;
        AesStart start;
        if (!start.Make(*key) || !ctr.Init(start.keys.encryption, start.keys.keySize) ||
            !hmac.Init(start.keys.authentication, start.keys.keySize)) {
            setupFailed = true;
            return false;
        }
        written += start.headSize;
        return out.Write(start.head, start.headSize);
    }
    // Encrypts in place.
    bool Put(uint8_t* data, size_t size) {
        if (encrypt) {
            ctr.Apply(data, size);
            hmac.Update(data, size);
        }
        written += size;
        return out.Write(data, size);
    }
    bool End() {
        if (!encrypt) return true;
        uint8_t code[crypto::kAesAuthCodeSize];
        hmac.Final(code);
        written += sizeof code;
        return out.Write(code, sizeof code);
    }
};

ZipWriter::ZipWriter() = default;

ZipWriter::~ZipWriter() {
    Abandon();
}

std::string ZipWriter::TemporaryPrefix(const std::string& targetPath) {
    const std::string name = fileio::BareFileName(targetPath);
    return "~" + name + ".writing-";
}

bool ZipWriter::Fail(ZipError kind, const std::string& message) {
    errorKind_ = kind;
    error_ = message;
    return false;
}

void ZipWriter::Discard() {
    if (pending_) pending_->Clear();
    pendingBytes_ = 0;
    temp_.reset();  // closed before it is removed
    if (!tempPath_.empty()) fileio::RemoveFile(tempPath_);
    tempPath_.clear();
    entries_.clear();
}

bool ZipWriter::Kill(ZipError kind, const std::string& message) {
    Discard();
    deadKind_ = kind;
    deadError_ = message;
    return Fail(kind, message);
}

bool ZipWriter::WriteFailed() {
    return Kill(ZipError::ArchiveWriteFailed, "cannot write the temporary archive file " +
                                                  tempPath_ +
                                                  " (disk full, device removed or no access?)");
}

WorkerPool& ZipWriter::Pool() {
    if (!pool_) pool_ = std::make_unique<WorkerPool>(WorkerCount());
    return *pool_;
}

bool ZipWriter::Begin(const std::string& targetPath) {
    Abandon();
    error_.clear();
    errorKind_ = ZipError::None;
    if (targetPath.empty()) return Fail(ZipError::NotReady, "no archive path given");
    if (fileio::IsDirectory(targetPath)) {
        return Fail(ZipError::NotReady, "the archive path is a folder: " + targetPath);
    }
    std::string path;
    auto stream =
        fileio::CreateTempFile(fileio::ParentFolder(targetPath), TemporaryPrefix(targetPath), path);
    if (stream) tempPath_ = path;
    stream = Filtered(std::move(stream), path);
    if (!stream) {
        return Kill(ZipError::ArchiveWriteFailed, "cannot create a temporary file beside " +
                                                      targetPath +
                                                      " (no access to the folder, or no space?)");
    }
    temp_ = std::move(stream);
    targetPath_ = targetPath;
    if (!pending_) pending_ = std::make_unique<OrderedWork<SmallEntry>>(Pool());
    return true;
}

bool ZipWriter::LeaveLeadingGap(uint64_t bytes) {
    if (!temp_ || !entries_.empty() || temp_->Tell() != 0 || !pending_->Empty()) {
        return Fail(ZipError::NotReady, "entries were added already");
    }
    if (!temp_->Truncate(bytes)) return WriteFailed();
    return true;
}

void ZipWriter::SetProtection(bool on, const std::string& password) {
    protect_ = on;
    key_ =
        on && !password.empty() ? std::make_shared<const crypto::PasswordKey>(password) : nullptr;
}

void ZipWriter::Abandon() {
    Discard();
    deadKind_ = ZipError::None;
    deadError_.clear();
}

std::string ZipWriter::LocalHeader(const Entry& e) const {
    bool aes = (e.flags & kFlagEncrypted) != 0;
    std::string h;
    Put32(h, kLocalHeaderSig);
    Put16(h, aes ? 51 : e.zip64Local ? 45 : 20);
    Put16(h, e.flags);
    Put16(h, aes ? kMethodAes : e.method);
    Put32(h, e.dosTime);
    Put32(h, aes ? 0 : e.crc);  // AE-2 leaves the CRC out
    Put32(h,
          e.zip64Local ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(e.compressedSize));
    Put32(h,
          e.zip64Local ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(e.uncompressedSize));
    Put16(h, static_cast<uint16_t>(e.name.size()));
    Put16(h, static_cast<uint16_t>((e.zip64Local ? 20 : 0) + (aes ? 11 : 0)));
    h += e.name;
    if (e.zip64Local) {
        Put16(h, kZip64ExtraId);
        Put16(h, 16);
        Put64(h, e.uncompressedSize);
        Put64(h, e.compressedSize);
    }
    if (aes) PutAesExtra(h, e.method);
    return h;
}

// The chunk index of a deflated entry of several chunks; for very large entries neighbouring
// chunks are counted as one so the index keeps within its room. Empty when there is none.
std::string ZipWriter::ChunkIndexExtra(const Entry& e) const {
    if (e.method != kMethodDeflated || e.chunks.size() < 2) return {};
    for (uint64_t merge = 1; e.chunkInput * merge <= kMaxChunkInput; merge *= 2) {
        std::string body;
        body.push_back(static_cast<char>(kChunkIndexVersion));
        PutVarint(body, e.chunkInput * merge);
        const size_t count = (e.chunks.size() + merge - 1) / merge;
        PutVarint(body, count);
        for (size_t i = 0; i < count; ++i) {
            uint64_t size = 0;
            for (size_t k = i * merge; k < std::min(e.chunks.size(), (i + 1) * merge); ++k) {
                size += e.chunks[k];
            }
            if (i + 1 == count) size += sizeof kFinalBlock;
            PutVarint(body, size);
        }
        if (body.size() <= kMaxChunkIndexBytes) {
            std::string field;
            Put16(field, kChunkIndexExtraId);
            Put16(field, static_cast<uint16_t>(body.size()));
            return field + body;
        }
    }
    return {};
}

bool ZipWriter::AddFile(const std::string& filePath, const std::string& entryName,
                        const std::optional<StagedContent>& staged) {
    error_.clear();
    errorKind_ = ZipError::None;
    if (Dead()) return Fail(deadKind_, deadError_);
    if (!temp_) return Fail(ZipError::NotReady, "no archive is being written");
    if (entryName.empty() || entryName.size() > 0xffff) {
        return Fail(ZipError::NotReady, "bad entry name: " + entryName);
    }
    if (protect_ && !key_)
        return Fail(ZipError::NotReady, "protection is on but no password is set");
    if (CancelRequested()) return Kill(ZipError::Cancelled, "cancelled");
    if (!WritePending(false)) return false;

    // Opened so that no one can change the file while it is copied; a file that another program
    // holds open for writing is refused rather than copied torn.
    auto source = Filtered(fileio::OpenForReadDenyWriters(filePath), filePath);
    if (!source) {
        return Fail(ZipError::SourceUnreadable,
                    "cannot open " + filePath + " (missing, locked or in use by another program?)");
    }
    int64_t size = source->Size();
    if (size < 0) return Fail(ZipError::SourceUnreadable, "cannot read " + filePath);
    if (staged && static_cast<uint64_t>(size) != staged->size) return NotAsStaged(filePath);
    if (sourceOpened_) sourceOpened_(static_cast<uint64_t>(size));

    Entry e;
    e.name = entryName;
    e.flags = static_cast<uint16_t>((protect_ ? kFlagEncrypted : 0) |
                                    (IsAscii(entryName) ? 0 : kFlagUtf8));
    e.method = kMethodDeflated;
    e.dosTime = fileio::FileDosTime(filePath);
    // Sizes near 4 GiB get the ZIP64 sizes in the local header; they are filled in afterwards.
    e.zip64Local = static_cast<uint64_t>(size) >= kMax32 - 1024;

    // One more byte than expected shows the end of a small file.
    std::vector<uint8_t> first(
        static_cast<size_t>(std::min<uint64_t>(chunkSize_, static_cast<uint64_t>(size) + 1)));
    int64_t n = fileio::ReadFull(*source, first.data(), first.size());
    if (n < 0) {
        return Fail(ZipError::SourceUnreadable,
                    "cannot read " + filePath + " (locked or damaged?)");
    }
    if (static_cast<size_t>(n) < first.size()) {
        // All of it is read: the workers make the entry while the next files are read.
        source.reset();
        first.resize(static_cast<size_t>(n));
        if (staged && (first.size() != staged->size ||
                       deflate::Crc32(0, first.data(), first.size()) != staged->crc32)) {
            return NotAsStaged(filePath);
        }
        auto small = std::make_shared<SmallEntry>();
        small->entry = std::move(e);
        small->inputSize = first.size();
        small->input = std::move(first);
        pendingBytes_ += small->inputSize;
        if (progress_) progress_(small->inputSize);
        if (entryProgress_) entryProgress_(entryName, small->inputSize, small->inputSize);
        pending_->Submit(small, [key = protect_ ? key_ : nullptr](SmallEntry& entry) {
            entry.Prepare(key.get());
        });
        return WritePending(false);
    }
    if (!WritePending(true)) return false;
    return AddLarge(*source, static_cast<uint64_t>(size), std::move(first), filePath, e, staged);
}

bool ZipWriter::NotAsStaged(const std::string& filePath) {
    return Fail(ZipError::SourceUnreadable,
                filePath + " no longer holds what was written into it (changed or replaced?)");
}

bool ZipWriter::WritePending(bool all) {
    while (!pending_->Empty()) {
        if (CancelRequested()) return Kill(ZipError::Cancelled, "cancelled");
        bool full = pendingBytes_ > kMaxPendingBytes || pending_->Size() > kMaxPendingEntries;
        if (!all && !full && !pending_->FrontDone()) break;
        std::shared_ptr<SmallEntry> small = pending_->TakeFront();
        pendingBytes_ -= small->inputSize;
        if (!WriteSmall(*small)) return false;
    }
    return true;
}

bool ZipWriter::WriteSmall(SmallEntry& small) {
    if (!small.ok) {
        return Kill(ZipError::ArchiveWriteFailed,
                    "cannot encrypt " + small.entry.name + " (the cipher cannot be set up)");
    }
    Entry& e = small.entry;
    e.offset = temp_->Tell();
    std::string header = LocalHeader(e);
    if (!temp_->Write(header.data(), header.size()) ||
        !temp_->Write(small.payload.data(), small.payload.size())) {
        return WriteFailed();
    }
    entries_.push_back(std::move(e));
    return true;
}

bool ZipWriter::AddLarge(fileio::FileStream& source, uint64_t expected,
                         std::vector<uint8_t> firstChunk, const std::string& filePath, Entry& e,
                         const std::optional<StagedContent>& staged) {
    e.offset = temp_->Tell();
    std::string header = LocalHeader(e);
    if (!temp_->Write(header.data(), header.size())) return WriteFailed();
    bool ok =
        WriteChunks(source, expected, std::move(firstChunk), filePath, e, e.offset + header.size());
    if (ok && !e.zip64Local && (e.compressedSize >= kMax32 || e.uncompressedSize >= kMax32)) {
        ok = Fail(ZipError::SourceUnreadable, filePath + " grew while it was being added");
    }
    if (ok && staged && (e.uncompressedSize != staged->size || e.crc != staged->crc32)) {
        ok = NotAsStaged(filePath);
    }
    if (ok) {
        uint64_t end = temp_->Tell();
        header = LocalHeader(e);
        if (!temp_->Seek(e.offset) || !temp_->Write(header.data(), header.size()) ||
            !temp_->Seek(end)) {
            return WriteFailed();
        }
        entries_.push_back(std::move(e));
        return true;
    }
    if (Dead()) return false;
    // The source failed: take the half-written entry back out.
    if (!temp_->Truncate(e.offset)) {
        return Kill(ZipError::ArchiveWriteFailed,
                    error_ + "; the temporary archive file cannot be repaired");
    }
    return false;
}

bool ZipWriter::WriteChunks(fileio::FileStream& source, uint64_t expected,
                            std::vector<uint8_t> firstChunk, const std::string& filePath, Entry& e,
                            uint64_t dataStart) {
    Sink sink(*temp_);
    const crypto::PasswordKey* key = protect_ ? key_.get() : nullptr;
    bool setupFailed = false;
    if (!sink.Begin(key, setupFailed)) {
        if (setupFailed) {
            return Kill(ZipError::ArchiveWriteFailed, "cannot set up the encryption");
        }
        return WriteFailed();
    }

    // Read -> compress on the workers -> encrypt and write in order, with a bounded number of
    // chunks in flight so memory stays small whatever the file size.
    OrderedWork<Chunk> inFlight(Pool());
    const size_t maxInFlight = Pool().Size() * 2 + 1;
    std::vector<std::shared_ptr<Chunk>> spare;  // buffers are reused, not reallocated per chunk
    uint64_t consumed = 0;
    bool eof = false, readFailed = false;
    bool storedFromMemory = false;
    uLong crc = 0;
    uint64_t total = 0, compressed = 0;
    size_t index = 0;
    e.chunks.clear();
    e.chunkInput = firstChunk.size();
    // The index says every chunk but the last has the first one's size; a file that changes
    // size while it is read (where the system allows that) gets no index.
    bool uniformChunks = true;
    size_t previousInput = e.chunkInput;

    auto submit = [&](std::shared_ptr<Chunk> c) {
        inFlight.Submit(std::move(c), [](Chunk& chunk) {
            chunk.ok = deflate::CompressPiece(chunk.input.data(), chunk.input.size(), chunk.output);
            chunk.crc = deflate::Crc32(0, chunk.input.data(), chunk.input.size());
        });
    };
    {
        auto c = std::make_shared<Chunk>();
        consumed = firstChunk.size();
        c->input = std::move(firstChunk);
        submit(std::move(c));
    }
    while (!inFlight.Empty()) {
        while (!eof && !readFailed && inFlight.Size() < maxInFlight) {
            std::shared_ptr<Chunk> c = ReuseOrMake(spare);
            size_t want = static_cast<size_t>(
                std::min<uint64_t>(chunkSize_, expected > consumed ? expected - consumed + 1 : 1));
            c->input.resize(want);
            int64_t n = fileio::ReadFull(source, c->input.data(), want);
            if (n < 0) {
                readFailed = true;
                break;
            }
            if (n == 0) {
                eof = true;
                break;
            }
            c->input.resize(static_cast<size_t>(n));
            consumed += static_cast<uint64_t>(n);
            if (static_cast<size_t>(n) < want) eof = true;
            submit(std::move(c));
        }
        std::shared_ptr<Chunk> c = inFlight.TakeFront();
        if (readFailed) continue;  // drain what is in flight
        if (!c->ok) {
            inFlight.Clear();
            return Kill(ZipError::ArchiveWriteFailed,
                        "cannot compress " + filePath + " (out of memory?)");
        }
        size_t inputSize = c->input.size();
        if (previousInput != e.chunkInput) uniformChunks = false;
        previousInput = inputSize;
        crc = index == 0 ? c->crc : crc32_combine(crc, c->crc, static_cast<z_off_t>(inputSize));
        total += inputSize;
        bool onlyChunk = index == 0 && eof && inFlight.Empty();
        bool written;
        if (onlyChunk && c->output.size() + sizeof kFinalBlock >= inputSize) {
            // A file of one chunk that does not shrink is stored as it is.
            storedFromMemory = true;
            written = sink.Put(c->input.data(), inputSize);
            compressed += inputSize;
        } else {
            written = sink.Put(c->output.data(), c->output.size());
            compressed += c->output.size();
            e.chunks.push_back(static_cast<uint32_t>(c->output.size()));
        }
        if (!written) {
            inFlight.Clear();
            return WriteFailed();
        }
        ++index;
        spare.push_back(std::move(c));
        if (progress_) progress_(inputSize);
        if (entryProgress_) entryProgress_(e.name, total, std::max(expected, total));
        if (CancelRequested()) {
            inFlight.Clear();
            return Kill(ZipError::Cancelled, "cancelled");
        }
    }
    if (readFailed) {
        return Fail(ZipError::SourceUnreadable,
                    "cannot read " + filePath + " (locked or damaged?)");
    }

    if (!uniformChunks) e.chunks.clear();
    e.crc = static_cast<uint32_t>(crc);
    e.uncompressedSize = total;
    e.method = storedFromMemory || total == 0 ? kMethodStored : kMethodDeflated;
    if (e.method == kMethodDeflated) {
        uint8_t final[sizeof kFinalBlock];
        std::memcpy(final, kFinalBlock, sizeof final);
        if (!sink.Put(final, sizeof final)) return WriteFailed();
        compressed += sizeof final;
        if (compressed >= total) {
            // A large file that does not shrink: write it again, stored, with fresh keys.
            e.chunks.clear();
            if (!temp_->Truncate(dataStart)) return WriteFailed();
            auto again = Filtered(fileio::OpenForReadDenyWriters(filePath), filePath);
            if (!again) {
                return Fail(ZipError::SourceUnreadable, "cannot open " + filePath + " again");
            }
            Sink storedSink(*temp_);
            if (!storedSink.Begin(key, setupFailed)) {
                if (setupFailed) {
                    return Kill(ZipError::ArchiveWriteFailed, "cannot set up the encryption");
                }
                return WriteFailed();
            }
            uint32_t firstCrc = e.crc;
            uint64_t firstSize = e.uncompressedSize;
            if (!WriteStored(*again, filePath, e, storedSink)) return false;
            if (e.crc != firstCrc || e.uncompressedSize != firstSize) {
                return Fail(ZipError::SourceUnreadable,
                            filePath + " changed while it was being added");
            }
            if (!storedSink.End()) return WriteFailed();
            e.compressedSize = storedSink.written;
            return true;
        }
    } else {
        e.chunks.clear();
    }
    if (!sink.End()) return WriteFailed();
    e.compressedSize = sink.written;
    return true;
}

bool ZipWriter::WriteStored(fileio::FileStream& source, const std::string& filePath, Entry& e,
                            Sink& sink) {
    std::vector<uint8_t> buffer(chunkSize_);
    uint32_t crc = 0;
    uint64_t total = 0;
    for (;;) {
        int64_t n = fileio::ReadFull(source, buffer.data(), buffer.size());
        if (n < 0) {
            return Fail(ZipError::SourceUnreadable,
                        "cannot read " + filePath + " (locked or damaged?)");
        }
        if (n == 0) break;
        crc = deflate::Crc32(crc, buffer.data(), static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
        if (!sink.Put(buffer.data(), static_cast<size_t>(n))) return WriteFailed();
        if (CancelRequested()) return Kill(ZipError::Cancelled, "cancelled");
    }
    e.method = kMethodStored;
    e.crc = static_cast<uint32_t>(crc);
    e.uncompressedSize = total;
    return true;
}

bool ZipWriter::Finish() {
    error_.clear();
    errorKind_ = ZipError::None;
    if (Dead()) return Fail(deadKind_, deadError_);
    if (!temp_) return Fail(ZipError::NotReady, "no archive is being written");
    if (CancelRequested()) return Kill(ZipError::Cancelled, "cancelled");
    if (!WritePending(true)) return false;
    uint64_t cdStart = temp_->Tell();
    std::string cd;
    auto flushCd = [&] {
        bool ok = temp_->Write(cd.data(), cd.size());
        cd.clear();
        return ok;
    };
    bool ok = true;
    for (const Entry& e : entries_) {
        bool aes = (e.flags & kFlagEncrypted) != 0;
        bool bigSizes = e.zip64Local || e.compressedSize >= kMax32 || e.uncompressedSize >= kMax32;
        bool bigOffset = e.offset >= kMax32;
        std::string z64;
        if (bigSizes) {
            Put64(z64, e.uncompressedSize);
            Put64(z64, e.compressedSize);
        }
        if (bigOffset) Put64(z64, e.offset);
        bool zip64 = !z64.empty();
        std::string index = ChunkIndexExtra(e);
        Put32(cd, kCentralHeaderSig);
        // Made by 6.3 on Unix: Info-ZIP tools then take UTF-8 names as they are (for MS-DOS
        // origin they convert from the OEM code page); the low byte keeps the DOS attributes.
        Put16(cd, 0x033f);
        Put16(cd, aes ? 51 : zip64 ? 45 : 20);
        Put16(cd, e.flags);
        Put16(cd, aes ? kMethodAes : e.method);
        Put32(cd, e.dosTime);
        Put32(cd, aes ? 0 : e.crc);
        Put32(cd,
              bigSizes ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(e.compressedSize));
        Put32(cd,
              bigSizes ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(e.uncompressedSize));
        Put16(cd, static_cast<uint16_t>(e.name.size()));
        Put16(cd,
              static_cast<uint16_t>((zip64 ? 4 + z64.size() : 0) + (aes ? 11 : 0) + index.size()));
        Put16(cd, 0);                      // comment
        Put16(cd, 0);                      // disk
        Put16(cd, 0);                      // internal attributes
        Put32(cd, 0100644u << 16 | 0x20);  // rw-r--r--, archive
        Put32(cd, bigOffset ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(e.offset));
        cd += e.name;
        if (zip64) {
            Put16(cd, kZip64ExtraId);
            Put16(cd, static_cast<uint16_t>(z64.size()));
            cd += z64;
        }
        if (aes) PutAesExtra(cd, e.method);
        cd += index;
        if (cd.size() > 1024 * 1024 && !(ok = flushCd())) break;
    }
    if (ok) ok = flushCd();
    uint64_t cdEnd = temp_->Tell();
    uint64_t cdSize = cdEnd - cdStart;
    uint64_t count = entries_.size();
    bool zip64End = count >= 0xffff || cdSize >= kMax32 || cdStart >= kMax32;
    std::string tail;
    if (zip64End) {
        Put32(tail, kZip64EndSig);
        Put64(tail, kZip64EndSize - 12);
        Put16(tail, 45);
        Put16(tail, 45);
        Put32(tail, 0);
        Put32(tail, 0);
        Put64(tail, count);
        Put64(tail, count);
        Put64(tail, cdSize);
        Put64(tail, cdStart);
        Put32(tail, kZip64LocatorSig);
        Put32(tail, 0);
        Put64(tail, cdEnd);
        Put32(tail, 1);
    }
    Put32(tail, kEndSig);
    Put16(tail, 0);
    Put16(tail, 0);
    Put16(tail, static_cast<uint16_t>(std::min<uint64_t>(count, 0xffff)));
    Put16(tail, static_cast<uint16_t>(std::min<uint64_t>(count, 0xffff)));
    Put32(tail, static_cast<uint32_t>(std::min<uint64_t>(cdSize, kMax32)));
    Put32(tail, static_cast<uint32_t>(std::min<uint64_t>(cdStart, kMax32)));
    Put16(tail, 0);
    if (ok) ok = temp_->Write(tail.data(), tail.size()) && temp_->Flush();
    if (!ok) return WriteFailed();
    temp_.reset();  // closed before it is moved
    if (beforeReplace_ && !beforeReplace_(tempPath_))
        return Kill(ZipError::Damaged, "the finished archive did not pass its check");
    if (!fileio::MoveOverPatiently(tempPath_, targetPath_)) {
        return Kill(ZipError::ArchiveWriteFailed,
                    "cannot replace " + targetPath_ + " (in use or read-only?)");
    }
    tempPath_.clear();
    entries_.clear();
    return true;
}

}  // namespace kestrine::archive
