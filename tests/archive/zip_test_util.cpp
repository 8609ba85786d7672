#include "zip_test_util.h"

#include <mutex>

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "archive/zip_format.h"
#include "platform/file_stream.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kestrine::test {

using namespace archive::format;

uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string BuildZip(const std::vector<RawEntry>& entries) {
    auto field = [](int64_t given, uint64_t truth) {
        return static_cast<uint32_t>(given >= 0 ? static_cast<uint64_t>(given) : truth);
    };
    std::string out, cd;
    for (const auto& e : entries) {
        // Version, flags, method, time, CRC, sizes, name length, extra length: the same in both.
        std::string common;
        for (uint16_t v : {uint16_t{20}, e.flags, e.method, uint16_t{0}, uint16_t{0x21}}) {
            Put16(common, v);
        }
        Put32(common, field(e.crc, Crc(e.data)));
        Put32(common, field(e.compressedSize, e.data.size()));
        Put32(common, field(e.uncompressedSize, e.data.size()));
        Put16(common, static_cast<uint16_t>(e.name.size()));
        Put16(common, 0);
        Put32(cd, kCentralHeaderSig);
        Put16(cd, 20);
        cd += common + std::string(10, '\0');  // comment length, disk, attributes
        Put32(cd, field(e.offset, out.size()));
        cd += e.name;
        Put32(out, kLocalHeaderSig);
        out += common + e.name + e.data;
    }
    std::string end;
    Put32(end, kEndSig);
    for (uint16_t v : {uint16_t{0}, uint16_t{0}, static_cast<uint16_t>(entries.size()),
                       static_cast<uint16_t>(entries.size())}) {
        Put16(end, v);
    }
    Put32(end, static_cast<uint32_t>(cd.size()));
    Put32(end, static_cast<uint32_t>(out.size()));
    Put16(end, 0);
    return out + cd + end;
}

std::string ZipCryptoSeal(const std::string& passwordBytes, const std::string& plain,
                          uint32_t crc) {
    const z_crc_t* table = get_crc_table();
    uint32_t k0 = 0x12345678u, k1 = 0x23456789u, k2 = 0x34567890u;
    auto update = [&](uint8_t c) {
        k0 = (k0 >> 8) ^ static_cast<uint32_t>(table[(k0 ^ c) & 0xff]);
        k1 = (k1 + (k0 & 0xff)) * 134775813u + 1;
        k2 = (k2 >> 8) ^ static_cast<uint32_t>(table[(k2 ^ (k1 >> 24)) & 0xff]);
    };
    for (char c : passwordBytes) update(static_cast<uint8_t>(c));
    std::string out = std::string(11, '\x5a') + static_cast<char>(crc >> 24) + plain;
    for (char& c : out) {
        uint32_t t = (k2 | 2) & 0xffff;
        auto p = static_cast<uint8_t>(c);
        c = static_cast<char>(p ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8));
        update(p);
    }
    return out;
}

bool WriteZip(const std::string& archive, const std::vector<std::string>& files,
              const std::string& password, size_t chunkSize, bool pieceDigests) {
    archive::ZipOptions options;
    if (chunkSize) options.chunkSize = chunkSize;
    options.pieceDigests = pieceDigests;
    archive::ArchiveWriter zip(archive::EntryProtection::ForPassword(password), options);
    if (!zip.CreateArchive(archive)) return false;
    for (const auto& f : files) {
        if (!zip.AddFile(f)) return false;
    }
    return zip.WriteArchive().ok();
}

void Save(const std::string& path, const std::string& bytes) {
    WriteFile(std::filesystem::u8path(path), bytes);
}

std::string Load(const std::string& path) {
    return ReadFile(std::filesystem::u8path(path));
}

namespace {

class FaultyStream final : public platform::fileio::FileStream {
  public:
    FaultyStream(std::unique_ptr<FileStream> inner, std::shared_ptr<StreamFaults> faults)
        : inner_(std::move(inner)), f_(std::move(faults)) {}
    int64_t Read(void* buffer, size_t size) override {
        if (f_->beforeRead) f_->beforeRead();
        int64_t n = Take(size) ? inner_->Read(buffer, size) : ReadFault(-1);
        f_->bytesRead += n > 0 ? static_cast<uint64_t>(n) : 0;
        return n;
    }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (f_->beforeRead) f_->beforeRead();
        f_->bytesRead += size;
        return Take(size) ? inner_->ReadAt(offset, buffer, size) : ReadFault(false);
    }
    bool Write(const void* buffer, size_t size) override {
        std::string bad;
        const uint64_t at = inner_->Tell();
        if (f_->refuseWriteAt >= 0 && static_cast<uint64_t>(f_->refuseWriteAt) - at < size) {
            f_->refuseWriteAt = -1;
            return DiskFull();
        }
        if (f_->corruptAt >= 0 && static_cast<uint64_t>(f_->corruptAt) - at < size) {
            bad.assign(static_cast<const char*>(buffer), size);
            bad[static_cast<uint64_t>(f_->corruptAt) - at] ^= 0x5a;
            buffer = bad.data();
            f_->corruptAt = -1;
        }
        if (f_->writeBudget < 0) return inner_->Write(buffer, size);
        size_t fits = std::min<size_t>(size, static_cast<size_t>(f_->writeBudget));
        f_->writeBudget -= static_cast<int64_t>(fits);
        if (!inner_->Write(buffer, fits)) return false;
        return fits == size || DiskFull();  // a full disk takes what fits
    }
    bool Seek(uint64_t offset) override { return inner_->Seek(offset); }
    uint64_t Tell() const override { return inner_->Tell(); }
    int64_t Size() override { return inner_->Size(); }
    bool Truncate(uint64_t size) override { return !f_->failTruncate && inner_->Truncate(size); }
    bool Flush() override {
        ++f_->flushes;
        if (f_->failFlushes > 0) {
            --f_->failFlushes;
            return DiskFull();  // the write-back found no room
        }
        return f_->writeBudget == 0 ? DiskFull() : inner_->Flush();
    }
    // What Windows says of the fault that struck; the file's own word otherwise.
    base::SystemError Error() const override {
        const std::lock_guard lock(mutex_);
        return said_.Said() ? said_ : inner_->Error();
    }

  private:
    bool DiskFull() {
        const std::lock_guard lock(mutex_);
        said_ = {base::kErrorDiskFull, "There is not enough space on the disk."};
        return false;
    }
    template <class T>
    T ReadFault(T failed) {
        const std::lock_guard lock(mutex_);
        said_ = {base::kErrorReadFault, "The system cannot read from the specified device."};
        return failed;
    }
    mutable std::mutex mutex_;
    base::SystemError said_;
    bool Take(size_t size) {
        if (f_->readBudget < 0) return true;
        if (static_cast<uint64_t>(f_->readBudget) < size) return false;
        f_->readBudget -= static_cast<int64_t>(size);
        return true;
    }
    std::unique_ptr<FileStream> inner_;
    std::shared_ptr<StreamFaults> f_;
};

}  // namespace

archive::StreamFilter FaultFilter(const std::string& match, std::shared_ptr<StreamFaults> faults) {
    return
        [match, faults](std::unique_ptr<platform::fileio::FileStream> stream,
                        const std::string& path) -> std::unique_ptr<platform::fileio::FileStream> {
            if (path.find(match) == std::string::npos) return stream;
            return std::make_unique<FaultyStream>(std::move(stream), faults);
        };
}

archive::StreamFilter FaultFilters(std::shared_ptr<StreamFaults> disk, const std::string& source,
                                   std::shared_ptr<StreamFaults> read) {
    return
        [toDisk = FaultFilter(".writing-", std::move(disk)),
         fromSource = FaultFilter(source, std::move(read))](auto stream, const std::string& path) {
            return fromSource(toDisk(std::move(stream), path), path);
        };
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::filesystem::path dir(std::u8string(folder.begin(), folder.end()));
    for (const auto& item : std::filesystem::directory_iterator(dir)) {
        auto u8 = item.path().filename().u8string();
        names.emplace_back(u8.begin(), u8.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string TextBytes(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"mail ",    "folder ",   "account ", "Outlook ",
                                         "profile ", "backup ",   "restore ", "data\r\n",
                                         "contact ", "signature "};
    std::string out;
    out.reserve(size + 16);
    uint32_t x = seed * 2654435761u + 1;
    while (out.size() < size) {
        x = x * 1664525u + 1013904223u;
        out += kWords[(x >> 16) % 10];
        if ((x & 0xff) == 7) out += std::to_string(x);
    }
    out.resize(size);
    return out;
}

bool HaveTool(const std::string& tool) {
#ifdef _WIN32
    (void)tool;
    return false;
#else
    return Shell("command -v " + tool) == 0;
#endif
}

int Shell(const std::string& command) {
    int rc = std::system((command + " >/dev/null 2>&1").c_str());
#ifdef _WIN32
    return rc;
#else
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
}

std::string Quote(const std::string& path) {
    std::string out = "'";
    for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace kestrine::test
