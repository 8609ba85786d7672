#include "archive/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/deflate_codec.h"
#include "archive/earlier_pieces.h"
#include "archive/flush_behind.h"
#include "archive/piece_digests.h"
#include "archive/write_behind.h"
#include "archive/zip_crypto.h"
#include "archive/zip_format.h"
#include "archive/zip_headers.h"
#include "archive/zip_workers.h"
#include "base/own_files.h"
#include "base/path.h"
#include "base/system_error.h"
#include "platform/system.h"

namespace kestrine::archive {

using namespace format;
using deflate::kFinalBlock;
namespace fileio = platform::fileio;

namespace {

constexpr uint64_t kMax32 = 0xffffffffu;
constexpr uint8_t kAesStrength = 3;
constexpr uint16_t kAesVersion = 2;
// Made by 6.3 on Unix: Info-ZIP tools then take UTF-8 names as they are (for MS-DOS origin they
// convert from the OEM code page); the low byte keeps the DOS attributes.
constexpr uint16_t kMadeBy = 0x033f;
constexpr uint32_t kFileAttributes = 0100644u << 16 | 0x20;  // rw-r--r--, archive
// Small entries read ahead of the writer, waiting for or done by the workers.
constexpr uint64_t kMaxPendingBytes = 8u << 20;
constexpr size_t kMaxPendingEntries = 64;
// Room for the chunk index in the central directory: the 64 KiB that a record's extra fields may
// hold, less the ZIP64 and AES fields and the index's own header.
constexpr size_t kMaxChunkIndexBytes = 0xffff - 64;

uint16_t VersionNeeded(bool aes, bool zip64) {
    return aes ? 51 : zip64 ? 45 : 20;
}

size_t VarintSize(uint64_t v) {
    size_t n = 1;
    for (; v >= 0x80; v >>= 7) ++n;
    return n;
}

uint32_t Field32(uint64_t value, bool inZip64) {
    return inZip64 ? static_cast<uint32_t>(kMax32) : static_cast<uint32_t>(value);
}

Status CannotRead(const std::string& filePath, const fileio::FileStream& source) {
    return Status::Fail(Failure::Unreadable,
                        base::Explained("cannot read " + filePath, source.Error()));
}

// What was read now differs, in size or CRC-32, from what was staged into the file earlier.
Status NotAsStaged(const std::string& filePath) {
    return Status::Fail(Failure::Unreadable,
                        filePath +
                            " no longer holds what was written into it: its size or content "
                            "changed since");
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

// The file the archive is written into until it is complete: closed and removed when it is let
// go, unless it was put in place first. Every path that drops the archive therefore removes it.
class ZipWriter::TemporaryArchive {
  public:
    TemporaryArchive(std::unique_ptr<fileio::FileStream> stream, std::string path,
                     uint64_t flushEvery)
        : stream_(std::move(stream)),
          flushing_(std::make_unique<FlushBehind>(*stream_, flushEvery)),
          path_(std::move(path)) {}
    ~TemporaryArchive() {
        Close();  // closed before it is removed
        if (!path_.empty()) fileio::RemoveFile(path_);
    }
    TemporaryArchive(const TemporaryArchive&) = delete;
    TemporaryArchive& operator=(const TemporaryArchive&) = delete;

    fileio::FileStream& Stream() { return *stream_; }
    // Bulk data written, which is flushed behind the writer now and then.
    void Written(uint64_t bytes) { flushing_->Written(bytes); }
    // Waits for a flush behind the writer; false when one failed.
    bool FlushedBehind() { return flushing_->Wait(); }
    const std::string& Path() const { return path_; }
    void Close() {
        flushing_.reset();
        stream_.reset();
    }
    // Moves the closed file over `target`; afterwards it is the target's and nothing removes it.
    bool PutInPlace(const std::string& target, ZipObserver& observer) {
        fileio::MoveWait wait = fileio::PatientWait();
        wait.cancelled = [&observer] { return observer.CancelRequested(); };
        wait.waiting = [&observer](const std::string&, const std::string& to) {
            observer.WaitingForHold(to);
        };
        if (!fileio::MoveWaiting(path_, target, fileio::Replace::Yes, wait)) return false;
        path_.clear();
        return true;
    }
    // Leaves the closed file where it is: it is no longer this object's to remove.
    void Keep() { path_.clear(); }

  private:
    std::unique_ptr<fileio::FileStream> stream_;
    std::unique_ptr<FlushBehind> flushing_;  // ended before the stream is closed
    std::string path_;
};

// A piece of a large file, compressed on a worker.
struct ZipWriter::Chunk {
    std::vector<uint8_t> input;
    base::ByteBuffer output;
    uint32_t crc = 0;
    bool ok = true;
    // Whether the archive keeps a digest of the piece, and the digest.
    bool digested = false;
    PieceDigest digest;
    bool hashed = false;  // digest.digest is the input's
    // The earlier archive's piece at the same place as stored, if it offered one (with its
    // entry's keys and its place in their key stream when protected, and its digest when that
    // archive kept them), room to inflate it in, and whether it proved to hold exactly the input
    // and so is written instead of the output.
    std::vector<uint8_t> earlier, inflated;
    size_t earlierSize = 0;
    const crypto::AesKeys* earlierKeys = nullptr;
    const PieceDigest* earlierDigest = nullptr;
    uint64_t earlierKeyStreamAt = 0;
    crypto::AesCtr earlierCipher;
    bool reused = false;

    // On a worker: the earlier piece when it proves equal, else compressed anew.
    void Make() {
        reused = false;
        ok = true;
        hashed = false;
        if (earlierSize > 0) {
            reused =
                earlierDigest && !earlierDigest->stored ? ProvenByDigest() : ProvenByComparing();
        }
        if (!reused) ok = deflate::CompressPiece(input.data(), input.size(), output);
        if (digested) Digest();
        crc = deflate::Crc32(0, input.data(), input.size());
    }
    // The digests match, and the earlier piece is still the one its archive wrote.
    bool ProvenByDigest() {
        crypto::Blake3(input.data(), input.size(), digest.digest);
        hashed = true;
        if (std::memcmp(digest.digest, earlierDigest->digest, sizeof digest.digest) != 0 ||
            !Decrypted()) {
            return false;
        }
        digest.storedCrc = deflate::Crc32(0, earlier.data(), earlierSize);
        return digest.storedCrc == earlierDigest->storedCrc;
    }
    // Byte for byte: the earlier piece inflates to the input (a stored one is compared in place).
    bool ProvenByComparing() {
        return Decrypted() && deflate::PieceInflatesTo(earlier.data(), earlierSize, input.data(),
                                                       input.size(), inflated);
    }
    // The archive's record of the piece as written: a digest, unless stored blocks make it cheaper
    // to compare where it lies. (A piece taken by its digest has both already.)
    void Digest() {
        if (reused && hashed) {
            digest.stored = false;
            return;
        }
        digest.stored = deflate::IsStoredOnly(Compressed(), CompressedSize());
        if (digest.stored) {
            std::memset(digest.digest, 0, sizeof digest.digest);
        } else if (!hashed) {
            crypto::Blake3(input.data(), input.size(), digest.digest);
        }
        digest.storedCrc = deflate::Crc32(0, Compressed(), CompressedSize());
    }
    // The earlier piece made plain; false when its cipher cannot be set up (it is then not used).
    bool Decrypted() {
        if (!earlierKeys) return true;
        if (!earlierCipher.Init(earlierKeys->encryption, earlierKeys->keySize)) return false;
        earlierCipher.Seek(earlierKeyStreamAt);
        earlierCipher.Apply(earlier.data(), earlierSize);
        return true;
    }
    // The piece's compressed bytes, as they go into the archive.
    uint8_t* Compressed() { return reused ? earlier.data() : output.data(); }
    size_t CompressedSize() const { return reused ? earlierSize : output.size(); }
};

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

// Where a large entry's bytes go: when protected, AES encryption, then the file and the
// authentication code behind the writer; otherwise straight into the file (a copy for a thread
// behind would cost more than the write it takes over).
struct ZipWriter::Sink {
    TemporaryArchive& archive;
    fileio::FileStream& out;
    const crypto::PasswordKey* key;
    crypto::AesCtr ctr;
    WriteBehind behind;
    uint64_t written = 0;

    Sink* const previous;  // a sink given up for this one, still in scope
    Sink*& inUse;

    Sink(TemporaryArchive& temp, const crypto::PasswordKey* passwordKey, Sink*& sinkInUse)
        : archive(temp),
          out(temp.Stream()),
          key(passwordKey),
          previous(sinkInUse),
          inUse(sinkInUse) {
        inUse = this;
    }
    ~Sink() {
        behind.Stop();
        inUse = previous;
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    bool Write(const uint8_t* data, size_t size) {
        if (!out.Write(data, size)) return false;
        archive.Written(size);
        return true;
    }
    // The entry's bytes (after the AES head, when protected), written behind; authenticated with
    // `keys` when given.
    bool Begin(const crypto::AesKeys* keys) {
        return behind.Start([this](const uint8_t* data, size_t size) { return Write(data, size); },
                            keys ? keys->authentication : nullptr, keys ? keys->keySize : 0);
    }
    // Encrypts in place; false once a write failed.
    bool Put(uint8_t* data, size_t size) {
        written += size;
        if (key) ctr.Apply(data, size);
        return behind.Put(data, size);
    }
    bool End() {
        if (!key) return behind.Finish(nullptr);
        uint8_t code[crypto::kAesAuthCodeSize];
        if (!behind.Finish(code)) return false;
        written += sizeof code;
        return out.Write(code, sizeof code);
    }
    // Before the entry's bytes are cut back out of the file: nothing may be written after that.
    void Abandon() { behind.Stop(); }
};

// A large file on its way in: where its data starts and what its chunks added up to so far.
struct ZipWriter::LargeEntry {
    Entry& e;
    const std::string& filePath;
    uint64_t expected = 0;   // the size when the file was opened
    size_t pieceSize = 0;    // of every piece but the last
    bool offered = false;    // the earlier archive offers its pieces of this size
    uint64_t dataStart = 0;  // after the local header
    uLong crc = 0;
    uint64_t total = 0;       // bytes read
    uint64_t compressed = 0;  // bytes written, before the authentication code
    uint64_t reused = 0;      // input bytes whose piece came from the earlier archive
    size_t chunksTaken = 0;
    bool storedFromMemory = false;
    // The index says every chunk but the last has the first one's size; a file that changes
    // size while it is read (where the system allows that) gets no index.
    bool uniformChunks = true;
    size_t previousInput = 0;
};

// Reads a large file chunk by chunk for the workers.
struct ZipWriter::ChunkFeed {
    fileio::FileStream& source;
    uint64_t expected;  // the size when the file was opened
    size_t chunkSize;
    uint64_t consumed = 0;
    bool eof = false;
    bool failed = false;

    bool More() const { return !eof && !failed; }
    // The next chunk into `c`; false at the end of the file or on a read error. One byte more than
    // the rest is asked for: a short read then shows the end.
    bool Read(Chunk& c) {
        const uint64_t left = expected > consumed ? expected - consumed + 1 : 1;
        const auto want = static_cast<size_t>(std::min<uint64_t>(chunkSize, left));
        c.input.resize(want);
        const int64_t n = fileio::ReadFull(source, c.input.data(), want);
        if (n <= 0) {
            (n < 0 ? failed : eof) = true;
            return false;
        }
        c.input.resize(static_cast<size_t>(n));
        consumed += static_cast<uint64_t>(n);
        if (static_cast<size_t>(n) < want) eof = true;
        return true;
    }
};

void ZipWriter::Meter::Consumed(uint64_t bytes, ZipObserver& observer) {
    done += bytes;
    const uint64_t whole = std::max(expected, known);
    int percent = whole == 0 ? 0 : static_cast<int>(std::min<uint64_t>(done, whole) * 100 / whole);
    percent = std::min(percent, 99);  // 100 only when the archive is in place
    if (percent != lastPercent) {
        lastPercent = percent;
        observer.WriteProgress(percent);
    }
}

ZipWriter::ZipWriter(const EntryProtection& protection)
    : protect_(protection.aes),
      key_(protection.aes && !protection.password.empty()
               ? std::make_shared<const crypto::PasswordKey>(protection.password)
               : nullptr) {}

ZipWriter::~ZipWriter() {
    Abandon();
}

std::string ZipWriter::TemporaryPrefix(const std::string& targetPath) {
    return base::OwnFilePrefix(base::BaseName(targetPath), base::kWritingMark);
}

std::unique_ptr<fileio::FileStream> ZipWriter::Filtered(std::unique_ptr<fileio::FileStream> stream,
                                                        const std::string& path) const {
    return stream && filter_ ? filter_(std::move(stream), path) : std::move(stream);
}

const crypto::PasswordKey* ZipWriter::Key() const {
    return protect_ ? key_.get() : nullptr;
}

Status ZipWriter::Kill(Status cause) {
    // Nothing may write into the temporary file once it is gone.
    for (Sink* sink = sinkInUse_; sink; sink = sink->previous) sink->Abandon();
    if (pending_) pending_->Clear();
    CloseEarlier();
    pendingBytes_ = 0;
    temp_.reset();
    entries_.clear();
    spareChunks_.clear();
    dead_ = cause;
    return cause;
}

Status ZipWriter::WriteFailed() {
    const std::string path = temp_ ? temp_->Path() : std::string();
    const base::SystemError said = temp_ ? temp_->Stream().Error() : base::SystemError();
    return Kill(
        Status::Fail(Failure::WriteFailed,
                     base::Explained("cannot write the temporary archive file " + path, said)));
}

Status ZipWriter::CancelledBy(ZipObserver& observer) {
    return observer.CancelRequested() ? Kill(Status::Fail(Failure::Cancelled, "cancelled"))
                                      : Status::Ok();
}

WorkerPool& ZipWriter::Pool() {
    if (!pool_) pool_ = std::make_unique<WorkerPool>(WorkerCount());
    return *pool_;
}

Status ZipWriter::Begin(const std::string& targetPath) {
    Abandon();
    if (targetPath.empty()) return Status::Fail(Failure::NotReady, "no archive path given");
    if (fileio::IsDirectory(targetPath)) {
        return Status::Fail(Failure::NotReady, "the archive path is a folder: " + targetPath);
    }
    std::string path;
    base::SystemError said;
    auto stream = fileio::CreateTempFile(base::FolderPart(targetPath), TemporaryPrefix(targetPath),
                                         path, &said);
    const bool made = stream != nullptr;
    stream = Filtered(std::move(stream), path);
    if (!stream) {
        if (made) fileio::RemoveFile(path);
        return Kill(Status::Fail(
            Failure::WriteFailed,
            base::Explained("cannot create a temporary file beside " + targetPath, said)));
    }
    temp_ = std::make_unique<TemporaryArchive>(std::move(stream), path, flushEvery_);
    targetPath_ = targetPath;
    if (!pending_) pending_ = std::make_unique<OrderedWork<SmallEntry>>(Pool());
    return {};
}

void ZipWriter::SetEarlierArchive(std::string path, std::string password) {
    CloseEarlier();
    base::Wipe(earlierPassword_);
    earlierPath_ = std::move(path);
    earlierPassword_ = std::move(password);
}

void ZipWriter::CloseEarlier() {
    if (earlier_) earlier_->Close();
    earlier_.reset();
    earlierTried_ = false;
}

// Opens the earlier archive at its first use in an archive, and tells the observer why it does not
// serve when it does not.
size_t ZipWriter::EarlierFor(const std::string& name, ZipObserver& observer) {
    if (earlierPath_.empty()) return 0;
    if (!earlierTried_) {
        earlierTried_ = true;
        earlier_ = std::make_unique<EarlierPieces>();
        if (Status opened = earlier_->Open(earlierPath_, earlierPassword_, filter_); !opened) {
            earlier_.reset();
            observer.EarlierArchiveUnused(opened.message());
        }
    }
    if (!earlier_) return 0;
    if (Status usable = earlier_->UseEntry(name); !usable) {
        observer.EarlierArchiveUnused(usable.message());
        return 0;
    }
    return earlier_->PieceSize();
}

size_t ZipWriter::PieceSizeFor(uint64_t size, size_t chunkSize) {
    size_t piece = ChunkSizeOf(chunkSize);
    for (; piece < kMaxChunkInput; piece *= 2) {
        // Each piece's compressed size is below the reader's bound for it.
        const uint64_t count = size / piece + 1;
        const uint64_t bytes =
            1 + VarintSize(piece) + VarintSize(count) + count * VarintSize(piece + piece / 8);
        if (bytes <= kMaxChunkIndexBytes) break;
    }
    return piece;
}

Status ZipWriter::LeaveLeadingGap(uint64_t bytes) {
    if (!temp_ || !entries_.empty() || temp_->Stream().Tell() != 0 || !pending_->Empty()) {
        return Status::Fail(Failure::NotReady, "entries were added already");
    }
    if (!temp_->Stream().Truncate(bytes)) return WriteFailed();
    return {};
}

void ZipWriter::Abandon() {
    (void)Kill({});
    meter_.Restart();
}

std::string ZipWriter::LocalRecord(const Entry& e) const {
    const bool aes = (e.flags & kFlagEncrypted) != 0;
    std::string extras;
    if (e.zip64Local) PutExtra(extras, Zip64Extra{e.uncompressedSize, e.compressedSize, {}});
    if (aes) PutExtra(extras, AesExtra{kAesVersion, kAesVendor, kAesStrength, e.method});
    LocalHeader h;
    h.versionNeeded = VersionNeeded(aes, e.zip64Local);
    h.flags = e.flags;
    h.method = aes ? kMethodAes : e.method;
    h.dosTime = e.dosTime;
    h.crc32 = aes ? 0 : e.crc;  // AE-2 leaves the CRC out
    h.compressedSize = Field32(e.compressedSize, e.zip64Local);
    h.uncompressedSize = Field32(e.uncompressedSize, e.zip64Local);
    h.nameLength = static_cast<uint16_t>(e.name.size());
    h.extraLength = static_cast<uint16_t>(extras.size());
    std::string record;
    PutRecord(record, h);
    return record + e.name + extras;
}

std::string ZipWriter::CentralRecord(const Entry& e) const {
    const bool aes = (e.flags & kFlagEncrypted) != 0;
    const bool bigSizes =
        e.zip64Local || e.compressedSize >= kMax32 || e.uncompressedSize >= kMax32;
    const bool bigOffset = e.offset >= kMax32;
    Zip64Extra z64;
    if (bigSizes) z64.uncompressedSize = e.uncompressedSize, z64.compressedSize = e.compressedSize;
    if (bigOffset) z64.localOffset = e.offset;
    std::string extras;
    PutExtra(extras, z64);
    if (aes) PutExtra(extras, AesExtra{kAesVersion, kAesVendor, kAesStrength, e.method});
    extras += ChunkIndexExtra(e);
    if (e.digestsSize > 0 && extras.size() + 4 + kPieceDigestsFieldSize <= 0xffff) {
        Put16(extras, kPieceDigestsExtraId);
        Put16(extras, static_cast<uint16_t>(kPieceDigestsFieldSize));
        extras.push_back(static_cast<char>(kPieceDigestsVersion));
        Put64(extras, e.digestsOffset);
        Put32(extras, e.digestsSize);
        Put32(extras, e.digestsCrc);
    }
    CentralHeader h;
    h.versionMadeBy = kMadeBy;
    h.versionNeeded = VersionNeeded(aes, bigSizes || bigOffset);
    h.flags = e.flags;
    h.method = aes ? kMethodAes : e.method;
    h.dosTime = e.dosTime;
    h.crc32 = aes ? 0 : e.crc;
    h.compressedSize = Field32(e.compressedSize, bigSizes);
    h.uncompressedSize = Field32(e.uncompressedSize, bigSizes);
    h.nameLength = static_cast<uint16_t>(e.name.size());
    h.extraLength = static_cast<uint16_t>(extras.size());
    h.externalAttributes = kFileAttributes;
    h.localOffset = Field32(e.offset, bigOffset);
    std::string record;
    PutRecord(record, h);
    return record + e.name + extras;
}

// The chunk index of a deflated entry of several chunks; for very large entries neighbouring
// chunks are counted as one so the index keeps within its room. Empty when there is none.
std::string ZipWriter::ChunkIndexExtra(const Entry& e) const {
    if (const uint64_t merge = ChunkIndexMerge(e); merge > 0) return ChunkIndexWith(e, merge);
    return {};
}

// How many neighbouring chunks the index counts as one (1: none merged), or 0 when there is none.
uint64_t ZipWriter::ChunkIndexMerge(const Entry& e) const {
    if (e.method != kMethodDeflated || e.chunks.size() < 2) return 0;
    for (uint64_t merge = 1; e.chunkInput * merge <= kMaxChunkInput; merge *= 2) {
        if (ChunkIndexWith(e, merge).size() <= 4 + kMaxChunkIndexBytes) return merge;
    }
    return 0;
}

// The index with every `merge` neighbouring chunks counted as one, whether it fits its room or not.
std::string ZipWriter::ChunkIndexWith(const Entry& e, uint64_t merge) const {
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
    std::string field;
    Put16(field, kChunkIndexExtraId);
    Put16(field, static_cast<uint16_t>(std::min<size_t>(body.size(), 0xffff)));
    return field + body;
}

Status ZipWriter::AddFile(const std::string& filePath, const std::string& entryName,
                          const std::optional<StagedContent>& staged, ZipObserver& observer) {
    if (!dead_.ok()) return dead_;
    if (!temp_) return Status::Fail(Failure::NotReady, "no archive is being written");
    if (entryName.empty() || entryName.size() > 0xffff) {
        return Status::Fail(Failure::NotReady, "bad entry name: " + entryName);
    }
    if (protect_ && !key_) {
        return Status::Fail(Failure::NotReady, "protection is on but no password is set");
    }
    if (Status stop = CancelledBy(observer); !stop) return stop;
    if (Status written = WritePending(false, observer); !written) return written;

    // Opened so that no one can change the file while it is copied; a file that another program
    // holds open for writing is refused rather than copied torn.
    base::SystemError said;
    auto source = Filtered(fileio::OpenForReadDenyWriters(filePath, &said), filePath);
    if (!source) {
        return Status::Fail(Failure::Unreadable, base::Explained("cannot open " + filePath, said));
    }
    const int64_t size = source->Size();
    if (size < 0) return CannotRead(filePath, *source);
    if (staged && static_cast<uint64_t>(size) != staged->size) return NotAsStaged(filePath);
    meter_.known += static_cast<uint64_t>(size);

    Entry e;
    e.name = entryName;
    e.flags = static_cast<uint16_t>((protect_ ? kFlagEncrypted : 0) |
                                    (IsAscii(entryName) ? 0 : kFlagUtf8));
    e.method = kMethodDeflated;
    e.dosTime = fileio::FileDosTime(filePath);
    // Sizes near 4 GiB get the ZIP64 sizes in the local header; they are filled in afterwards.
    e.zip64Local = static_cast<uint64_t>(size) >= kMax32 - 1024;

    // A large file is cut as its earlier entry was, so that its pieces can be taken over.
    size_t piece = chunkSize_;
    size_t earlierPiece = 0;
    if (static_cast<uint64_t>(size) >= chunkSize_) {
        earlierPiece = EarlierFor(entryName, observer);
        piece = earlierPiece ? earlierPiece : PieceSizeFor(static_cast<uint64_t>(size), chunkSize_);
    }
    // One more byte than expected shows the end of a small file.
    std::vector<uint8_t> first(
        static_cast<size_t>(std::min<uint64_t>(piece, static_cast<uint64_t>(size) + 1)));
    const int64_t n = fileio::ReadFull(*source, first.data(), first.size());
    if (n < 0) return CannotRead(filePath, *source);
    if (static_cast<size_t>(n) < first.size()) {
        // All of it is read: the workers make the entry while the next files are read.
        source.reset();
        first.resize(static_cast<size_t>(n));
        return AddSmall(std::move(e), std::move(first), filePath, staged, observer);
    }
    if (Status written = WritePending(true, observer); !written) return written;
    return AddLarge(*source, static_cast<uint64_t>(size), piece, earlierPiece != 0,
                    std::move(first), filePath, e, staged, observer);
}

Status ZipWriter::AddSmall(Entry e, std::vector<uint8_t> bytes, const std::string& filePath,
                           const std::optional<StagedContent>& staged, ZipObserver& observer) {
    if (staged && (bytes.size() != staged->size ||
                   deflate::Crc32(0, bytes.data(), bytes.size()) != staged->crc32)) {
        return NotAsStaged(filePath);
    }
    auto small = std::make_shared<SmallEntry>();
    const std::string name = e.name;
    small->entry = std::move(e);
    small->inputSize = bytes.size();
    small->input = std::move(bytes);
    pendingBytes_ += small->inputSize;
    meter_.Consumed(small->inputSize, observer);
    observer.EntryProgress(name, small->inputSize, small->inputSize);
    pending_->Submit(
        small, [key = protect_ ? key_ : nullptr](SmallEntry& entry) { entry.Prepare(key.get()); });
    return WritePending(false, observer);
}

Status ZipWriter::WritePending(bool all, ZipObserver& observer) {
    while (!pending_->Empty()) {
        if (Status stop = CancelledBy(observer); !stop) return stop;
        const bool full = pendingBytes_ > kMaxPendingBytes || pending_->Size() > kMaxPendingEntries;
        if (!all && !full && !pending_->FrontDone()) break;
        std::shared_ptr<SmallEntry> small = pending_->TakeFront();
        pendingBytes_ -= small->inputSize;
        if (Status written = WriteSmall(*small); !written) return written;
    }
    return {};
}

Status ZipWriter::WriteSmall(SmallEntry& small) {
    if (!small.ok) {
        return Kill(Status::Fail(Failure::WriteFailed, "cannot encrypt " + small.entry.name +
                                                           " (the cipher cannot be set up)"));
    }
    Entry& e = small.entry;
    fileio::FileStream& out = temp_->Stream();
    e.offset = out.Tell();
    const std::string header = LocalRecord(e);
    if (!out.Write(header.data(), header.size()) ||
        !out.Write(small.payload.data(), small.payload.size())) {
        return WriteFailed();
    }
    temp_->Written(header.size() + small.payload.size());
    entries_.push_back(std::move(e));
    return {};
}

Status ZipWriter::AddLarge(fileio::FileStream& source, uint64_t expected, size_t pieceSize,
                           bool offered, std::vector<uint8_t> firstChunk,
                           const std::string& filePath, Entry& e,
                           const std::optional<StagedContent>& staged, ZipObserver& observer) {
    fileio::FileStream& out = temp_->Stream();
    e.offset = out.Tell();
    std::string header = LocalRecord(e);
    if (!out.Write(header.data(), header.size())) return WriteFailed();
    LargeEntry large{e, filePath, expected, pieceSize, offered, e.offset + header.size()};
    Sink sink(*temp_, Key(), sinkInUse_);
    Status added = StartSink(sink);
    if (added) added = WriteChunks(source, std::move(firstChunk), large, sink, observer);
    if (added) added = EndChunks(large, sink, observer);
    if (added && !e.zip64Local && (e.compressedSize >= kMax32 || e.uncompressedSize >= kMax32)) {
        added = Status::Fail(Failure::Unreadable, filePath + " grew while it was being added");
    }
    if (added && staged && (e.uncompressedSize != staged->size || e.crc != staged->crc32)) {
        added = NotAsStaged(filePath);
    }
    if (added) {
        // The sizes are known only now: the local header is written again with them.
        const uint64_t end = out.Tell();
        header = LocalRecord(e);
        if (!out.Seek(e.offset) || !out.Write(header.data(), header.size()) || !out.Seek(end)) {
            return WriteFailed();
        }
        entries_.push_back(std::move(e));
        return {};
    }
    sink.Abandon();
    if (!dead_.ok()) return added;
    // The source failed: take the half-written entry back out.
    if (!out.Truncate(e.offset)) {
        return Kill(
            Status::Fail(Failure::WriteFailed,
                         added.message() + "; the temporary archive file cannot be repaired"));
    }
    return added;
}

// The AES salt and password verifier go first, before the data they protect.
Status ZipWriter::StartSink(Sink& sink) {
    if (!sink.key) {
        (void)sink.Begin(nullptr);  // fails only on a key, and there is none
        return {};
    }
    AesStart start;
    if (!start.Make(*sink.key) || !sink.ctr.Init(start.keys.encryption, start.keys.keySize)) {
        return Kill(Status::Fail(Failure::WriteFailed, "cannot set up the encryption"));
    }
    sink.written += start.headSize;
    if (!sink.out.Write(start.head, start.headSize)) return WriteFailed();
    if (!sink.Begin(&start.keys)) {
        return Kill(Status::Fail(Failure::WriteFailed, "cannot set up the encryption"));
    }
    return {};
}

// Read -> compress on the workers -> encrypt and write in order, with a bounded number of chunks in
// flight so memory stays small whatever the file size.
Status ZipWriter::WriteChunks(fileio::FileStream& source, std::vector<uint8_t> firstChunk,
                              LargeEntry& large, Sink& sink, ZipObserver& observer) {
    Entry& e = large.e;
    OrderedWork<Chunk> inFlight(Pool());
    // Four chunks a worker: a text chunk takes many times as long as a random one, and the chunks
    // are taken back in order, so with fewer a worker would stand idle behind a slow one.
    const size_t maxInFlight = Pool().Size() * 4 + 1;
    std::vector<std::shared_ptr<Chunk>>& spare = spareChunks_;  // reused, not made per chunk
    ChunkFeed feed{source, large.expected, large.pieceSize, firstChunk.size()};
    e.chunks.clear();
    e.chunkInput = firstChunk.size();
    large.previousInput = e.chunkInput;

    const bool offered = large.offered;
    size_t index = 0;
    auto submit = [&](std::shared_ptr<Chunk> c) {
        // Only the stored bytes are read here, in order; the worker decrypts and proves them.
        c->digested = pieceDigests_;
        c->earlierSize = 0;
        c->earlierKeys = offered ? earlier_->Keys() : nullptr;
        c->earlierDigest = offered ? earlier_->Digest(index) : nullptr;
        if (offered && c->input.size() == large.pieceSize &&
            !earlier_->ReadPiece(index, c->earlier, c->earlierSize, c->earlierKeyStreamAt)) {
            c->earlierSize = 0;
        }
        ++index;
        inFlight.Submit(std::move(c), [](Chunk& chunk) { chunk.Make(); });
    };
    // Keeps the workers fed: reads chunks until enough are in flight or the file ends.
    auto readAhead = [&] {
        while (feed.More() && inFlight.Size() < maxInFlight) {
            std::shared_ptr<Chunk> c = ReuseOrMake(spare);
            if (!feed.Read(*c)) break;
            submit(std::move(c));
        }
    };

    std::shared_ptr<Chunk> first = ReuseOrMake(spare);
    first->input = std::move(firstChunk);
    submit(std::move(first));
    while (!inFlight.Empty()) {
        readAhead();
        std::shared_ptr<Chunk> c = inFlight.TakeFront();
        if (feed.failed) continue;  // drain what is in flight
        if (!c->ok) {
            inFlight.Clear();
            return Kill(Status::Fail(Failure::WriteFailed, "cannot encrypt " + large.filePath +
                                                               ": its keys could not be set up"));
        }
        const bool onlyChunk = large.chunksTaken == 0 && feed.eof && inFlight.Empty();
        if (!TakeChunk(*c, onlyChunk, large, sink)) {
            inFlight.Clear();
            return WriteFailed();
        }
        const size_t inputSize = c->input.size();
        spare.push_back(std::move(c));
        meter_.Consumed(inputSize, observer);
        observer.EntryProgress(e.name, large.total, std::max(large.expected, large.total));
        if (Status stop = CancelledBy(observer); !stop) {
            inFlight.Clear();
            return stop;
        }
    }
    if (feed.failed) return CannotRead(large.filePath, source);
    if (offered) observer.PiecesReused(e.name, large.reused, large.total);
    return {};
}

// One compressed chunk, in order: its CRC joins the entry's, its bytes go to the sink. False when
// the write failed.
bool ZipWriter::TakeChunk(Chunk& c, bool onlyChunk, LargeEntry& large, Sink& sink) {
    Entry& e = large.e;
    const size_t inputSize = c.input.size();
    if (large.previousInput != e.chunkInput) large.uniformChunks = false;
    large.previousInput = inputSize;
    large.crc = large.chunksTaken == 0
                    ? c.crc
                    : crc32_combine(large.crc, c.crc, static_cast<z_off_t>(inputSize));
    large.total += inputSize;
    if (c.reused) large.reused += inputSize;
    ++large.chunksTaken;
    if (onlyChunk && c.CompressedSize() + sizeof kFinalBlock >= inputSize) {
        // A file of one chunk that does not shrink is stored as it is.
        large.storedFromMemory = true;
        large.compressed += inputSize;
        return sink.Put(c.input.data(), inputSize);
    }
    large.compressed += c.CompressedSize();
    e.chunks.push_back(static_cast<uint32_t>(c.CompressedSize()));
    if (c.digested) e.pieceDigests.push_back(c.digest);
    return sink.Put(c.Compressed(), c.CompressedSize());
}

// After the last chunk: the entry's method, CRC and sizes, the end of the deflate stream and the
// authentication code; a file that did not shrink is written again, stored.
Status ZipWriter::EndChunks(LargeEntry& large, Sink& sink, ZipObserver& observer) {
    Entry& e = large.e;
    if (!large.uniformChunks) e.chunks.clear();
    e.crc = static_cast<uint32_t>(large.crc);
    e.uncompressedSize = large.total;
    e.method = large.storedFromMemory || large.total == 0 ? kMethodStored : kMethodDeflated;
    if (e.method == kMethodDeflated) {
        uint8_t final[sizeof kFinalBlock];
        std::memcpy(final, kFinalBlock, sizeof final);
        if (!sink.Put(final, sizeof final)) return WriteFailed();
        large.compressed += sizeof final;
        if (large.compressed >= large.total) {
            sink.Abandon();
            return RewriteStored(large, observer);
        }
    } else {
        e.chunks.clear();
    }
    if (!sink.End()) return WriteFailed();
    e.compressedSize = sink.written;
    return {};
}

// A large file that does not shrink: written again, stored, with fresh keys.
Status ZipWriter::RewriteStored(LargeEntry& large, ZipObserver& observer) {
    Entry& e = large.e;
    e.chunks.clear();
    fileio::FileStream& out = temp_->Stream();
    if (!out.Truncate(large.dataStart)) return WriteFailed();
    auto again = Filtered(fileio::OpenForReadDenyWriters(large.filePath), large.filePath);
    if (!again)
        return Status::Fail(Failure::Unreadable, "cannot open " + large.filePath + " again");
    Sink sink(*temp_, Key(), sinkInUse_);
    if (Status started = StartSink(sink); !started) return started;
    const uint32_t firstCrc = e.crc;
    const uint64_t firstSize = e.uncompressedSize;
    if (Status stored = WriteStored(*again, large.filePath, e, sink, observer); !stored)
        return stored;
    if (e.crc != firstCrc || e.uncompressedSize != firstSize) {
        return Status::Fail(Failure::Unreadable,
                            large.filePath + " changed while it was being added");
    }
    if (!sink.End()) return WriteFailed();
    e.compressedSize = sink.written;
    return {};
}

Status ZipWriter::WriteStored(fileio::FileStream& source, const std::string& filePath, Entry& e,
                              Sink& sink, ZipObserver& observer) {
    std::vector<uint8_t> buffer(chunkSize_);
    uint32_t crc = 0;
    uint64_t total = 0;
    for (;;) {
        const int64_t n = fileio::ReadFull(source, buffer.data(), buffer.size());
        if (n < 0) return CannotRead(filePath, source);
        if (n == 0) break;
        crc = deflate::Crc32(crc, buffer.data(), static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
        if (!sink.Put(buffer.data(), static_cast<size_t>(n))) return WriteFailed();
        if (Status stop = CancelledBy(observer); !stop) return stop;
    }
    e.method = kMethodStored;
    e.crc = crc;
    e.uncompressedSize = total;
    return {};
}

Status ZipWriter::Finish(ZipObserver& observer) {
    Status finished = [&]() -> Status {
        if (!dead_.ok()) return dead_;
        if (!temp_) return Status::Fail(Failure::NotReady, "no archive is being written");
        if (Status stop = CancelledBy(observer); !stop) return stop;
        if (Status written = WritePending(true, observer); !written) return written;
        CloseEarlier();  // so the archive it may be can be replaced
        if (Status written = WritePieceDigests(); !written) return written;
        uint64_t cdStart = 0;
        if (Status written = WriteCentralDirectory(cdStart); !written) return written;
        if (Status written = WriteEndRecords(cdStart); !written) return written;
        return PutInPlace(observer);
    }();
    meter_.Restart();
    return finished;
}

// After the last entry's data: the digests of each large entry's pieces, where its chunk index
// describes the pieces one by one.
Status ZipWriter::WritePieceDigests() {
    fileio::FileStream& out = temp_->Stream();
    for (Entry& e : entries_) {
        std::vector<PieceDigest> digests = std::move(e.pieceDigests);
        e.pieceDigests = {};
        if (digests.empty() || digests.size() != e.chunks.size() || ChunkIndexMerge(e) != 1) {
            continue;
        }
        const std::vector<uint8_t> sealed = SealPieceDigests(digests, e.chunkInput, Key());
        if (sealed.empty()) continue;  // no keys for them: the archive does without
        e.digestsOffset = out.Tell();
        if (!out.Write(sealed.data(), sealed.size())) return WriteFailed();
        temp_->Written(sealed.size());
        e.digestsSize = static_cast<uint32_t>(sealed.size());
        e.digestsCrc = deflate::Crc32(0, sealed.data(), sealed.size());
    }
    return {};
}

Status ZipWriter::WriteCentralDirectory(uint64_t& start) {
    fileio::FileStream& out = temp_->Stream();
    start = out.Tell();
    std::string cd;
    for (const Entry& e : entries_) {
        cd += CentralRecord(e);
        if (cd.size() > 1024 * 1024) {
            if (!out.Write(cd.data(), cd.size())) return WriteFailed();
            cd.clear();
        }
    }
    if (!out.Write(cd.data(), cd.size())) return WriteFailed();
    return {};
}

// The end of central directory record, after the ZIP64 end record and its locator when the count,
// the size or the offset of the directory does not fit the classic one.
Status ZipWriter::WriteEndRecords(uint64_t cdStart) {
    fileio::FileStream& out = temp_->Stream();
    const uint64_t cdEnd = out.Tell();
    const uint64_t cdSize = cdEnd - cdStart;
    const uint64_t count = entries_.size();
    const bool zip64End = count >= 0xffff || cdSize >= kMax32 || cdStart >= kMax32;
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
    if (!out.Write(tail.data(), tail.size()) || !temp_->FlushedBehind() || !out.Flush()) {
        return WriteFailed();
    }
    return {};
}

Status ZipWriter::PutInPlace(ZipObserver& observer) {
    temp_->Close();  // closed before it is checked and moved
    if (!observer.CheckFinished(temp_->Path())) {
        return Kill(Status::Fail(Failure::Damaged, "the finished archive did not pass its check"));
    }
    if (!temp_->PutInPlace(targetPath_, observer)) {
        const base::SystemError said = platform::LastSystemError();
        // Where a replacement is not one step (FAT, exFAT), a move that failed midway may have
        // removed the older archive already: the finished one is then the only backup, and stays.
        if (!fileio::Exists(targetPath_)) {
            const std::string kept = temp_->Path();
            temp_->Keep();
            return Kill(Status::Fail(
                Failure::WriteFailed,
                "cannot put the archive in place as " + targetPath_ + "; it is kept as " + kept));
        }
        return Kill(Status::Fail(Failure::WriteFailed,
                                 base::Explained("cannot replace " + targetPath_, said)));
    }
    temp_.reset();
    entries_.clear();
    spareChunks_.clear();
    return {};
}

}  // namespace kestrine::archive
