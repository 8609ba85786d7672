#include "archive/archive_reader.h"

#include <algorithm>
#include <cctype>

#include "archive/flush_behind.h"
#include "archive/zip_format.h"
#include "archive/zip_reader.h"
#include "base/own_files.h"
#include "base/path.h"
#include "base/secret.h"
#include "base/system_error.h"
#include "base/utf.h"
#include "platform/file_stream.h"
#include "platform/system.h"
#include "platform/text.h"

namespace kestrine::archive {

namespace fileio = platform::fileio;

struct ArchiveReader::Impl {
    StreamFilter filter;
    uint64_t flushInterval = 0;  // of extracted files, as the writer flushes large archives

    ZipReader reader;
    std::string readingPassword;
    // The form of the reading password that the traditionally encrypted entries take, once found.
    std::optional<std::string> legacyPassword;

    std::unique_ptr<fileio::FileStream> Filtered(std::unique_ptr<fileio::FileStream> stream,
                                                 const std::string& path) const {
        return stream && filter ? filter(std::move(stream), path) : std::move(stream);
    }
    // Lets go of the archive held, keeping the password set for the next one.
    void Drop() {
        reader.Close();
        ForgetLegacyPassword();
    }
    void ForgetLegacyPassword() {
        if (legacyPassword) base::Wipe(*legacyPassword);
        legacyPassword.reset();
    }
    void ForgetPassword() {
        base::Wipe(readingPassword);
        ForgetLegacyPassword();
    }

    std::unique_ptr<fileio::FileStream> OpenArchiveFile(const std::string& path) {
        return Filtered(fileio::OpenForRead(path), path);
    }

    Result<const ZipEntryRecord*> Record(const EntryInfo& entry) {
        const auto& all = reader.Entries();
        if (!reader.IsOpen() || entry.index >= all.size() || all[entry.index].name != entry.name) {
            return Status::Fail(Failure::NotReady,
                                "the entry \"" + entry.name + "\" is not in the open archive");
        }
        return &all[entry.index];
    }

    // The smallest protected entry with data (of the traditional encryption only, if asked), or
    // the smallest protected one when all are empty; npos when none is protected.
    size_t SmallestProtected(bool traditionalOnly) const {
        const auto& all = reader.Entries();
        size_t best = std::string::npos;
        auto better = [&](const ZipEntryRecord& a, const ZipEntryRecord& b) {
            bool aFull = a.uncompressedSize > 0, bFull = b.uncompressedSize > 0;
            if (aFull != bFull) return aFull;
            return a.compressedSize < b.compressedSize;
        };
        for (size_t i = 0; i < all.size(); ++i) {
            if (!all[i].encrypted() || (traditionalOnly && all[i].aesStrength != 0)) continue;
            if (best == std::string::npos || better(all[i], all[best])) best = i;
        }
        return best;
    }

    // The traditional encryption has no rule for the password's characters: earlier versions
    // took the ANSI code page, other tools UTF-8. The first form that decodes an entry is kept;
    // while neither does (a wrong password, or an archive that could not be read this time) the
    // choice is made again at the next read.
    const std::string& LegacyPassword() {
        if (legacyPassword) return *legacyPassword;
        std::string ansi = platform::Utf8ToAnsi(readingPassword);
        const size_t probe = SmallestProtected(true);
        if (ansi == readingPassword || probe == std::string::npos ||
            reader.ReadEntry(probe, readingPassword, nullptr)) {
            legacyPassword = readingPassword;
        } else if (reader.ReadEntry(probe, ansi, nullptr)) {
            legacyPassword = ansi;
        }
        base::Wipe(ansi);
        return legacyPassword ? *legacyPassword : readingPassword;
    }

    const std::string& PasswordFor(size_t index) {
        const ZipEntryRecord& rec = reader.Entries()[index];
        return rec.encrypted() && rec.aesStrength == 0 ? LegacyPassword() : readingPassword;
    }
};

ZipObserver& ZipObserver::None() {
    static ZipObserver none;
    return none;
}

ArchiveReader::ArchiveReader(ZipOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->filter = std::move(options.filter);
    impl_->flushInterval = options.flushEvery;
}

ArchiveReader::~ArchiveReader() {
    CloseArchive();
}

void ArchiveReader::SetStreamFilter(StreamFilter filter) {
    impl_->filter = std::move(filter);
}

void ArchiveReader::CloseArchive() {
    impl_->Drop();
    impl_->ForgetPassword();
}

Result<ArchiveProtection> ArchiveReader::ArchiveNeedsPassword(const std::string& path) {
    ZipReader probe;
    if (Status opened = probe.Open(impl_->OpenArchiveFile(path)); !opened) return opened;
    for (const auto& rec : probe.Entries()) {
        if (rec.encrypted()) return ArchiveProtection::Protected;
    }
    return ArchiveProtection::Plain;
}

Status ArchiveReader::OpenArchive(const std::string& path) {
    impl_->Drop();
    return impl_->reader.Open(impl_->OpenArchiveFile(path));
}

void ArchiveReader::SetReadingPassword(const std::string& password) {
    base::Wipe(impl_->readingPassword);
    impl_->readingPassword = password;
    impl_->ForgetLegacyPassword();
}

Status ArchiveReader::CheckPassword() {
    if (!impl_->reader.IsOpen()) return Status::Fail(Failure::NotReady, "no archive is open");
    // The 2-byte AES verifier lets one wrong password in 65536 through, the traditional check byte
    // one in 256: decode and check a whole entry, the smallest one with data.
    const size_t best = impl_->SmallestProtected(false);
    if (best == std::string::npos) return {};  // nothing is protected
    Status read = impl_->reader.ReadEntry(best, impl_->PasswordFor(best), nullptr);
    const ZipEntryRecord& rec = impl_->reader.Entries()[best];
    if (!read && rec.aesStrength == 0 && read.kind() == Failure::Damaged) {
        // Past the check byte, a traditional entry that does not decode is a wrong password far
        // more often than a damaged one.
        return Status::Fail(Failure::WrongPassword, "entry \"" + rec.name + "\": wrong password");
    }
    return read;
}

Status ArchiveReader::TestEntries(ZipObserver& observer) {
    if (!impl_->reader.IsOpen()) return Status::Fail(Failure::NotReady, "no archive is open");
    const auto& all = impl_->reader.Entries();
    for (size_t i = 0; i < all.size(); ++i) {
        if (Status read = impl_->reader.ReadEntry(i, impl_->PasswordFor(i), nullptr, observer);
            !read) {
            return read;
        }
    }
    return {};
}

static EntryInfo ToInfo(const ZipEntryRecord& rec, size_t index) {
    EntryInfo info;
    info.name = rec.name;
    info.compressedSize = rec.compressedSize;
    info.uncompressedSize = rec.uncompressedSize;
    info.crc32 = rec.crc32;
    info.method = rec.realMethod;
    info.encrypted = rec.encrypted();
    info.aes = rec.encrypted() && rec.aesStrength != 0;
    info.index = index;
    return info;
}

std::vector<EntryInfo> ArchiveReader::Entries() const {
    std::vector<EntryInfo> out;
    const auto& all = impl_->reader.Entries();
    out.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i) out.push_back(ToInfo(all[i], i));
    return out;
}

std::optional<EntryInfo> ArchiveReader::FindEntry(const std::string& name) const {
    const auto& all = impl_->reader.Entries();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].name == name) return ToInfo(all[i], i);
    }
    return std::nullopt;
}

std::optional<EntryInfo> ArchiveReader::FindLastEntry(const std::string& name) const {
    const auto& all = impl_->reader.Entries();
    for (size_t i = all.size(); i-- > 0;) {
        if (all[i].name == name) return ToInfo(all[i], i);
    }
    return std::nullopt;
}

Status ArchiveReader::ExtractTo(const EntryInfo& entry, const std::string& folder,
                                ZipObserver& observer) {
    if (!IsPlainFileName(entry.name)) {
        return Status::Fail(Failure::Damaged,
                            "refused to extract \"" + entry.name + "\": not a plain file name");
    }
    return ExtractToFile(entry, base::JoinPath(folder, entry.name), observer);
}

Status ArchiveReader::ExtractToFile(const EntryInfo& entry, const std::string& filePath,
                                    ZipObserver& observer) {
    const Result<const ZipEntryRecord*> rec = impl_->Record(entry);
    if (!rec) return rec.status();
    observer.FileExtracting(entry.name);
    const auto unwritable = [&](const std::string& why) {
        return Status::Fail(Failure::WriteFailed, why);
    };
    if (fileio::IsDirectory(filePath))
        return unwritable("cannot extract over the folder " + filePath);
    std::string tempPath;
    const std::string name = base::BaseName(filePath);
    base::SystemError said;
    auto temp =
        fileio::CreateTempFile(base::FolderPart(filePath),
                               base::OwnFilePrefix(name, base::kExtractingMark), tempPath, &said);
    if (temp) temp = impl_->Filtered(std::move(temp), tempPath);
    if (!temp) {
        if (!tempPath.empty()) fileio::RemoveFile(tempPath);
        return unwritable(
            base::Explained("cannot create a temporary file beside " + filePath, said));
    }
    bool writeFailed = false;
    Status extracted;
    {
        FlushBehind flushing(*temp, impl_->flushInterval);
        extracted = impl_->reader.ReadEntry(
            entry.index, impl_->PasswordFor(entry.index),
            [&](const uint8_t* data, size_t size) {
                if (!temp->Write(data, size)) writeFailed = true;
                flushing.Written(size);
                return !writeFailed;
            },
            observer);
        if (!flushing.Wait()) writeFailed = true;
    }
    if (writeFailed || (extracted && !temp->Flush())) {
        extracted = unwritable(base::Explained("cannot write " + filePath, temp->Error()));
    }
    temp.reset();
    // Only a whole, checked file replaces what is there.
    if (extracted && !fileio::MoveOver(tempPath, filePath)) {
        extracted =
            unwritable(base::Explained("cannot replace " + filePath, platform::LastSystemError()));
    }
    if (!extracted) fileio::RemoveFile(tempPath);
    return extracted;
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (!base::IsWellFormedUtf8(name)) return false;
    // NTFS allows 255 UTF-16 units: a four-byte UTF-8 character takes two, any other one.
    size_t units = 0;
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if ((c & 0xc0) != 0x80) units += c >= 0xf0 ? 2 : 1;
    }
    if (units > 255) return false;
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) return false;
        if (std::string_view("/\\:*?\"<>|").find(ch) != std::string_view::npos) return false;
    }
    // Windows drops trailing dots and spaces, so "a." would land on "a".
    if (name.back() == '.' || name.back() == ' ') return false;
    // Device names stay devices with any extension ("nul.txt"), and with spaces before it.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static const char* const kDevices[] = {"CON",    "PRN",     "AUX",   "NUL",
                                           "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices) {
        if (base == device) return false;
    }
    if (base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
        ((base[3] >= '0' && base[3] <= '9'))) {
        return false;
    }
    // COM and LPT with a superscript digit (¹ ² ³) are devices too.
    if (base.size() == 5 && (base.starts_with("COM") || base.starts_with("LPT")) &&
        static_cast<unsigned char>(base[3]) == 0xC2 &&
        (static_cast<unsigned char>(base[4]) == 0xB9 ||
         static_cast<unsigned char>(base[4]) == 0xB2 ||
         static_cast<unsigned char>(base[4]) == 0xB3)) {
        return false;
    }
    return true;
}

}  // namespace kestrine::archive
