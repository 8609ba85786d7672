#include "archive/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "archive/zip_crypto.h"
#include "archive/zip_format.h"

namespace kestrine::archive {

using namespace format;
namespace fileio = platform::fileio;

namespace {

constexpr uint64_t kMax32 = 0xffffffffu;
constexpr size_t kWindow = 32 * 1024;
constexpr int kAesStrength = 3;
constexpr uint16_t kAesVersion = 2;
// An empty final block with fixed codes: ends a stream of sync-flushed chunks.
constexpr uint8_t kFinalBlock[2] = {0x03, 0x00};

struct Chunk {
    std::vector<uint8_t> input;
    std::vector<uint8_t> dictionary;  // the last 32 KiB of the chunk before
    std::vector<uint8_t> output;
    uint32_t crc = 0;
    bool ok = true;
    bool done = false;
};

struct Deflater {
    z_stream zs{};
    bool ready = false;
    ~Deflater() {
        if (ready) deflateEnd(&zs);
    }
};

// True when a block looks like random or already-compressed bytes: its byte entropy is close
// to 8 bits, so deflate could save almost nothing and would only spend time searching.
bool LooksIncompressible(const uint8_t* data, size_t size) {
    if (size < 4096) return false;
    uint32_t counts[256] = {};
    for (size_t i = 0; i < size; ++i) ++counts[data[i]];
    double entropy = 0;
    const double total = static_cast<double>(size);
    for (uint32_t c : counts) {
        if (c == 0) continue;
        double p = static_cast<double>(c) / total;
        entropy -= p * std::log2(p);
    }
    return entropy > 7.9;
}

// Feeds input to the deflater, growing the output as needed.
bool Feed(z_stream& zs, std::vector<uint8_t>& output, size_t& used, const uint8_t* data,
          size_t size, int flush) {
    zs.next_in = const_cast<uint8_t*>(data);
    zs.avail_in = static_cast<uInt>(size);
    for (;;) {
        if (output.size() - used < 1024) output.resize(output.size() * 2 + 4096);
        zs.next_out = output.data() + used;
        zs.avail_out = static_cast<uInt>(output.size() - used);
        int rc = deflate(&zs, flush);
        used = output.size() - zs.avail_out;
        if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
        if (zs.avail_in == 0 && zs.avail_out > 0) return true;
    }
}

// Compresses one chunk as a piece of a raw deflate stream: primed with the previous chunk's tail
// and ended with a sync flush, so the pieces concatenate into one valid stream. Blocks that look
// incompressible go into stored blocks at once (level 0) instead of being searched for matches.
void CompressChunk(Chunk& c) {
    constexpr size_t kBlock = 64 * 1024;
    thread_local Deflater d;
    if (!d.ready) {
        d.ready = deflateInit2(&d.zs, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        if (!d.ready) {
            c.ok = false;
            return;
        }
    } else if (deflateReset(&d.zs) != Z_OK || deflateParams(&d.zs, 1, Z_DEFAULT_STRATEGY) != Z_OK) {
        c.ok = false;
        return;
    }
    if (!c.dictionary.empty() &&
        deflateSetDictionary(&d.zs, c.dictionary.data(), static_cast<uInt>(c.dictionary.size())) !=
            Z_OK) {
        c.ok = false;
        return;
    }
    c.output.resize(deflateBound(&d.zs, static_cast<uLong>(c.input.size())) + 64);
    size_t used = 0;
    int level = 1;
    const uint8_t* in = c.input.data();
    size_t left = c.input.size();
    while (left > 0) {
        size_t n = std::min(kBlock, left);
        int want = LooksIncompressible(in, n) ? 0 : 1;
        if (want != level) {
            // deflateParams first flushes what the old level holds; without room for that it
            // changes nothing and asks for more output.
            int rc = Z_BUF_ERROR;
            for (int attempt = 0; attempt < 8 && rc == Z_BUF_ERROR; ++attempt) {
                if (c.output.size() - used < 64 * 1024) c.output.resize(used + 128 * 1024);
                d.zs.next_in = nullptr;
                d.zs.avail_in = 0;
                d.zs.next_out = c.output.data() + used;
                d.zs.avail_out = static_cast<uInt>(c.output.size() - used);
                rc = deflateParams(&d.zs, want, Z_DEFAULT_STRATEGY);
                used = c.output.size() - d.zs.avail_out;
                if (rc == Z_BUF_ERROR) c.output.resize(c.output.size() * 2);
            }
            if (rc != Z_OK) {
                c.ok = false;
                return;
            }
            level = want;
        }
        if (!Feed(d.zs, c.output, used, in, n, Z_NO_FLUSH)) {
            c.ok = false;
            return;
        }
        in += n;
        left -= n;
    }
    if (!Feed(d.zs, c.output, used, nullptr, 0, Z_SYNC_FLUSH)) {
        c.ok = false;
        return;
    }
    c.output.resize(used);
    c.crc = static_cast<uint32_t>(crc32_z(0L, c.input.data(), c.input.size()));
}

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

// Reads until `buffer` is full or the file ends; bytes read or -1.
int64_t ReadFull(fileio::FileStream& source, uint8_t* buffer, size_t size) {
    size_t total = 0;
    while (total < size) {
        int64_t n = source.Read(buffer + total, size - total);
        if (n < 0) return -1;
        if (n == 0) break;
        total += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(total);
}

}  // namespace

// A fixed set of threads that compress chunks.
class WorkerPool {
  public:
    explicit WorkerPool(unsigned count) {
        for (unsigned i = 0; i < count; ++i) threads_.emplace_back([this] { Run(); });
    }
    ~WorkerPool() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (auto& t : threads_) t.join();
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    size_t Size() const { return threads_.size(); }

    void Submit(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

  private:
    void Run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }
    std::vector<std::thread> threads_;
    std::deque<std::function<void()>> jobs_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

// Where an entry's bytes go: optional AES encryption with its authentication code, then the file.
struct ZipWriter::Sink {
    fileio::FileStream& out;
    bool encrypt = false;
    crypto::AesCtr ctr;
    crypto::HmacSha1 hmac;
    uint64_t written = 0;

    explicit Sink(fileio::FileStream& stream) : out(stream) {}
    bool Begin(bool protect, const std::string& password) {
        encrypt = protect;
        if (!encrypt) return true;
        uint8_t head[16 + crypto::kAesVerifierSize];
        size_t saltSize = crypto::AesSaltSize(kAesStrength);
        crypto::RandomBytes(head, saltSize);
        crypto::AesKeys keys;
        if (!crypto::DeriveAesKeys(password, head, kAesStrength, keys)) return false;
        std::memcpy(head + saltSize, keys.verifier, crypto::kAesVerifierSize);
        if (!ctr.Init(keys.encryption, keys.keySize) ||
            !hmac.Init(keys.authentication, keys.keySize)) {
            return false;
        }
        written += saltSize + crypto::kAesVerifierSize;
        return out.Write(head, saltSize + crypto::kAesVerifierSize);
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

bool ZipWriter::Fail(const std::string& message) {
    error_ = message;
    return false;
}

bool ZipWriter::Begin(const std::string& targetPath) {
    Abandon();
    error_.clear();
    if (targetPath.empty()) return Fail("no archive path given");
    if (fileio::IsDirectory(targetPath)) return Fail("the archive path is a folder: " + targetPath);
    std::string base = fileio::BareFileName(targetPath);
    temp_ = fileio::CreateTempFile(fileio::ParentFolder(targetPath), "~" + base + ".", tempPath_);
    if (!temp_) return Fail("cannot create a temporary file beside " + targetPath);
    targetPath_ = targetPath;
    return true;
}

bool ZipWriter::LeaveLeadingGap(uint64_t bytes) {
    if (!temp_ || !entries_.empty() || temp_->Tell() != 0)
        return Fail("entries were added already");
    if (!temp_->Truncate(bytes)) return Fail("cannot extend the temporary archive file");
    return true;
}

void ZipWriter::SetProtection(bool on, const std::string& password) {
    protect_ = on;
    password_ = password;
}

void ZipWriter::Abandon() {
    temp_.reset();  // closed before it is removed
    if (!tempPath_.empty()) fileio::RemoveFile(tempPath_);
    tempPath_.clear();
    entries_.clear();
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

bool ZipWriter::AddFile(const std::string& filePath, const std::string& entryName) {
    error_.clear();
    if (!temp_) return Fail("no archive is being written");
    if (entryName.empty() || entryName.size() > 0xffff) return Fail("bad entry name: " + entryName);
    auto source = fileio::OpenForRead(filePath);
    if (!source) return Fail("cannot open " + filePath);
    int64_t size = source->Size();
    if (size < 0) return Fail("cannot read " + filePath);
    if (sourceOpened_) sourceOpened_(static_cast<uint64_t>(size));

    Entry e;
    e.name = entryName;
    e.flags = static_cast<uint16_t>((protect_ ? kFlagEncrypted : 0) |
                                    (IsAscii(entryName) ? 0 : kFlagUtf8));
    e.method = kMethodDeflated;
    e.dosTime = fileio::FileDosTime(filePath);
    e.offset = temp_->Tell();
    // Sizes near 4 GiB get the ZIP64 sizes in the local header; they are filled in afterwards.
    e.zip64Local = static_cast<uint64_t>(size) >= kMax32 - 1024;

    std::string header = LocalHeader(e);
    bool ok =
        temp_->Write(header.data(), header.size()) &&
        WriteData(*source, static_cast<uint64_t>(size), filePath, e, e.offset + header.size());
    if (ok && !e.zip64Local && (e.compressedSize >= kMax32 || e.uncompressedSize >= kMax32)) {
        ok = Fail(filePath + " grew while it was being added");
    }
    if (ok) {
        uint64_t end = temp_->Tell();
        header = LocalHeader(e);
        ok =
            temp_->Seek(e.offset) && temp_->Write(header.data(), header.size()) && temp_->Seek(end);
        if (!ok) Fail("cannot write the temporary archive file (disk full?)");
    }
    if (!ok) {
        // Take the half-written entry back out.
        if (!temp_->Truncate(e.offset)) {
            std::string cause = error_;
            Abandon();
            return Fail(cause + "; the temporary archive file cannot be repaired");
        }
        return false;
    }
    entries_.push_back(std::move(e));
    return true;
}

bool ZipWriter::WriteData(fileio::FileStream& source, uint64_t expected,
                          const std::string& filePath, Entry& e, uint64_t dataStart) {
    Sink sink(*temp_);
    if (!sink.Begin(protect_, password_)) return Fail("cannot set up the encryption");
    if (!pool_) {
        unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        pool_ = std::make_unique<WorkerPool>(threads);
    }

    // Read -> compress on the workers -> encrypt and write in order, with a bounded number of
    // chunks in flight so memory stays small whatever the file size.
    const size_t maxInFlight = pool_->Size() * 2 + 1;
    std::mutex mutex;
    std::condition_variable doneCv;
    std::deque<std::shared_ptr<Chunk>> inFlight;
    std::vector<std::shared_ptr<Chunk>> spare;  // buffers are reused, not reallocated per chunk
    std::vector<uint8_t> tail;
    uint64_t consumed = 0;
    bool eof = false, readFailed = false, writeFailed = false, compressFailed = false;
    bool storedFromMemory = false;
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t total = 0, compressed = 0;
    size_t index = 0;

    auto waitFront = [&] {
        std::unique_lock lock(mutex);
        doneCv.wait(lock, [&] { return inFlight.front()->done; });
    };
    while (!inFlight.empty() || (!eof && !readFailed)) {
        while (!eof && !readFailed && !writeFailed && inFlight.size() < maxInFlight) {
            std::shared_ptr<Chunk> c;
            if (spare.empty()) {
                c = std::make_shared<Chunk>();
            } else {
                c = std::move(spare.back());
                spare.pop_back();
                c->ok = true;
                c->done = false;
            }
            // Small files get small buffers: one more byte than expected shows the end.
            size_t want = static_cast<size_t>(
                std::min<uint64_t>(chunkSize_, expected > consumed ? expected - consumed + 1 : 1));
            c->input.resize(want);
            int64_t n = ReadFull(source, c->input.data(), want);
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
            c->dictionary = tail;
            size_t keep = std::min(kWindow, c->input.size());
            tail.assign(c->input.end() - static_cast<std::ptrdiff_t>(keep), c->input.end());
            inFlight.push_back(c);
            pool_->Submit([c, &mutex, &doneCv] {
                CompressChunk(*c);
                // Notified under the lock: the waiter may return and drop both at once.
                std::lock_guard lock(mutex);
                c->done = true;
                doneCv.notify_all();
            });
        }
        if (inFlight.empty()) break;
        waitFront();
        std::shared_ptr<Chunk> c = inFlight.front();
        inFlight.pop_front();
        if (writeFailed || readFailed || compressFailed) continue;  // drain what is in flight
        if (!c->ok) {
            compressFailed = true;
            continue;
        }
        size_t inputSize = c->input.size();
        crc = index == 0 ? c->crc : crc32_combine(crc, c->crc, static_cast<z_off_t>(inputSize));
        total += inputSize;
        bool onlyChunk = index == 0 && eof && inFlight.empty();
        if (onlyChunk && c->output.size() + sizeof kFinalBlock >= inputSize) {
            // A small file that does not shrink is stored as it is.
            storedFromMemory = true;
            if (!sink.Put(c->input.data(), inputSize)) writeFailed = true;
            compressed += inputSize;
        } else {
            if (!sink.Put(c->output.data(), c->output.size())) writeFailed = true;
            compressed += c->output.size();
        }
        ++index;
        spare.push_back(std::move(c));
        if (progress_) progress_(inputSize);
    }
    if (readFailed) return Fail("cannot read " + filePath + " (locked or damaged?)");
    if (compressFailed) return Fail("cannot compress " + filePath + " (out of memory?)");
    if (writeFailed) return Fail("cannot write the temporary archive file (disk full?)");

    e.crc = static_cast<uint32_t>(crc);
    e.uncompressedSize = total;
    e.method = storedFromMemory || total == 0 ? kMethodStored : kMethodDeflated;
    if (e.method == kMethodDeflated) {
        uint8_t final[sizeof kFinalBlock];
        std::memcpy(final, kFinalBlock, sizeof final);
        if (!sink.Put(final, sizeof final)) return Fail("cannot write the temporary archive file");
        compressed += sizeof final;
        if (compressed >= total) {
            // A large file that does not shrink: write it again, stored, with fresh keys.
            if (!temp_->Truncate(dataStart))
                return Fail("cannot rewrite the temporary archive file");
            auto again = fileio::OpenForRead(filePath);
            if (!again) return Fail("cannot open " + filePath + " again");
            Sink storedSink(*temp_);
            if (!storedSink.Begin(protect_, password_)) return Fail("cannot set up the encryption");
            uint32_t firstCrc = e.crc;
            uint64_t firstSize = e.uncompressedSize;
            if (!WriteStored(*again, e, storedSink)) return false;
            if (e.crc != firstCrc || e.uncompressedSize != firstSize) {
                return Fail(filePath + " changed while it was being added");
            }
            if (!storedSink.End()) return Fail("cannot write the temporary archive file");
            e.compressedSize = storedSink.written;
            return true;
        }
    }
    if (!sink.End()) return Fail("cannot write the temporary archive file (disk full?)");
    e.compressedSize = sink.written;
    return true;
}

bool ZipWriter::WriteStored(fileio::FileStream& source, Entry& e, Sink& sink) {
    std::vector<uint8_t> buffer(chunkSize_);
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t total = 0;
    for (;;) {
        int64_t n = ReadFull(source, buffer.data(), buffer.size());
        if (n < 0) return Fail("cannot read the file (locked or damaged?)");
        if (n == 0) break;
        crc = crc32_z(crc, buffer.data(), static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
        if (!sink.Put(buffer.data(), static_cast<size_t>(n))) {
            return Fail("cannot write the temporary archive file (disk full?)");
        }
    }
    e.method = kMethodStored;
    e.crc = static_cast<uint32_t>(crc);
    e.uncompressedSize = total;
    return true;
}

bool ZipWriter::Finish() {
    error_.clear();
    if (!temp_) return Fail("no archive is being written");
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
        Put16(cd, static_cast<uint16_t>((zip64 ? 4 + z64.size() : 0) + (aes ? 11 : 0)));
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
    if (!ok) {
        Abandon();
        return Fail("cannot write the archive (disk full?)");
    }
    temp_.reset();  // closed before it is moved
    if (!fileio::MoveOver(tempPath_, targetPath_)) {
        Abandon();
        return Fail("cannot replace " + targetPath_ + " (in use or read-only?)");
    }
    tempPath_.clear();
    entries_.clear();
    return true;
}

}  // namespace kestrine::archive
