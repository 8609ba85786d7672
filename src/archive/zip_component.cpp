#include "archive/zip_component.h"

#include <algorithm>
#include <cctype>

#include "archive/zip_format.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "base/secret.h"
#include "base/utf.h"
#include "platform/file_stream.h"
#include "platform/text.h"

namespace kestrine::archive {

namespace fileio = platform::fileio;

namespace {

constexpr const char* kExtractingMark = ".extracting-";

// "<digits>-<digits>.tmp", the end of the names that CreateTempFile makes.
bool IsTemporarySuffix(std::string_view rest) {
    constexpr std::string_view kEnd = ".tmp";
    if (rest.size() <= kEnd.size() || !rest.ends_with(kEnd)) return false;
    rest.remove_suffix(kEnd.size());
    size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size()) return false;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (i != dash && !std::isdigit(static_cast<unsigned char>(rest[i]))) return false;
    }
    return true;
}

}  // namespace

struct ZipComponent::Impl {
    ZipEvents events;
    std::string workFolder;
    std::string lastError;
    ZipError lastKind = ZipError::None;
    StreamFilter filter;

    // Writing.
    ZipWriter writer;
    bool protect = false;
    std::string writingPassword;
    uint64_t expectedBytes = 0;
    uint64_t knownBytes = 0;
    uint64_t doneBytes = 0;
    int lastPercent = -1;

    // Reading.
    ZipReader reader;
    std::string readingPassword;
    // The form of the reading password that the traditionally encrypted entries take, once found.
    std::optional<std::string> legacyPassword;

    std::unique_ptr<fileio::FileStream> Filtered(std::unique_ptr<fileio::FileStream> stream,
                                                 const std::string& path) const {
        return stream && filter ? filter(std::move(stream), path) : std::move(stream);
    }
    bool Fail(ZipError kind, const std::string& message) {
        lastKind = kind;
        lastError = message;
        return false;
    }
    void Clear() {
        lastKind = ZipError::None;
        lastError.clear();
    }
    // Lets go of the archive held, keeping the passwords set for the next one.
    void Drop() {
        writer.Abandon();
        reader.Close();
        ForgetLegacyPassword();
        knownBytes = doneBytes = 0;
        lastPercent = -1;
    }
    void ForgetLegacyPassword() {
        if (legacyPassword) base::Wipe(*legacyPassword);
        legacyPassword.reset();
    }
    void ForgetPasswords() {
        base::Wipe(writingPassword);
        base::Wipe(readingPassword);
        ForgetLegacyPassword();
        writer.SetProtection(protect, std::string());  // the writer's derived key goes too
    }
    bool FromWriter() { return Fail(writer.ErrorKind(), writer.Error()); }
    bool FromReader() { return Fail(reader.ErrorKind(), reader.Error()); }

    void Report(uint64_t bytes) {
        doneBytes += bytes;
        uint64_t whole = std::max(expectedBytes, knownBytes);
        int percent =
            whole == 0 ? 0 : static_cast<int>(std::min<uint64_t>(doneBytes, whole) * 100 / whole);
        percent = std::min(percent, 99);  // 100 only when the archive is in place
        if (percent != lastPercent) {
            lastPercent = percent;
            if (events.WriteProgress) events.WriteProgress(percent);
        }
    }

    std::unique_ptr<fileio::FileStream> OpenArchiveFile(const std::string& path) {
        return Filtered(fileio::OpenForRead(path), path);
    }

    ZipReader::Hooks ReadHooks(const std::string& name) {
        ZipReader::Hooks hooks;
        if (events.EntryProgress) {
            hooks.progress = [this, name](uint64_t done, uint64_t total) {
                events.EntryProgress(name, done, total);
            };
        }
        hooks.cancel = events.CancelRequested;
        return hooks;
    }

    const ZipEntryRecord* Record(const EntryInfo& entry) {
        const auto& all = reader.Entries();
        if (!reader.IsOpen() || entry.index >= all.size() || all[entry.index].name != entry.name) {
            Fail(ZipError::NotReady, "the entry \"" + entry.name + "\" is not in the open archive");
            return nullptr;
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
    // took the ANSI code page, other tools UTF-8. The first form that decodes an entry is kept.
    const std::string& LegacyPassword() {
        if (legacyPassword) return *legacyPassword;
        legacyPassword = readingPassword;
        std::string ansi = platform::Utf8ToAnsi(readingPassword);
        size_t probe = SmallestProtected(true);
        if (ansi != readingPassword && probe != std::string::npos &&
            !reader.ReadEntry(probe, readingPassword, nullptr) &&
            reader.ReadEntry(probe, ansi, nullptr)) {
            legacyPassword = ansi;
        }
        return *legacyPassword;
    }

    const std::string& PasswordFor(size_t index) {
        const ZipEntryRecord& rec = reader.Entries()[index];
        return rec.encrypted() && rec.aesStrength == 0 ? LegacyPassword() : readingPassword;
    }
};

ZipComponent::ZipComponent() : impl_(std::make_unique<Impl>()) {
    impl_->writer.SetProgress([this](uint64_t bytes) { impl_->Report(bytes); });
    impl_->writer.SetSourceOpened([this](uint64_t size) { impl_->knownBytes += size; });
    impl_->writer.SetEntryProgress([this](const std::string& name, uint64_t done, uint64_t total) {
        if (impl_->events.EntryProgress) impl_->events.EntryProgress(name, done, total);
    });
    impl_->writer.SetCancelCheck(
        [this] { return impl_->events.CancelRequested && impl_->events.CancelRequested(); });
    impl_->writer.SetBeforeReplace([this](const std::string& finishedPath) {
        return !impl_->events.CheckFinished || impl_->events.CheckFinished(finishedPath);
    });
}

ZipComponent::~ZipComponent() {
    CloseArchive();
}

ZipEvents& ZipComponent::Events() {
    return impl_->events;
}
void ZipComponent::SetWorkFolder(const std::string& folder) {
    impl_->workFolder = folder;
}
const std::string& ZipComponent::WorkFolder() const {
    return impl_->workFolder;
}
void ZipComponent::SetStreamFilter(StreamFilter filter) {
    impl_->filter = filter;
    impl_->writer.SetStreamFilter(std::move(filter));
}
const std::string& ZipComponent::LastError() const {
    return impl_->lastError;
}
ZipError ZipComponent::LastErrorKind() const {
    return impl_->lastKind;
}
bool ZipComponent::ArchiveWriteFailed() const {
    return impl_->writer.DeadKind() == ZipError::ArchiveWriteFailed;
}

bool ZipComponent::CreateArchive(const std::string& path) {
    impl_->Drop();
    impl_->Clear();
    if (!impl_->writer.Begin(path)) return impl_->FromWriter();
    impl_->writer.SetProtection(impl_->protect, impl_->writingPassword);
    return true;
}

void ZipComponent::ProtectEntries(bool on) {
    impl_->protect = on;
    impl_->writer.SetProtection(on, impl_->writingPassword);
}

void ZipComponent::SetWritingPassword(const std::string& password) {
    base::Wipe(impl_->writingPassword);
    impl_->writingPassword = password;
    impl_->writer.SetProtection(impl_->protect, password);
}

void ZipComponent::SetExpectedBytes(uint64_t bytes) {
    impl_->expectedBytes = bytes;
}

void ZipComponent::SetChunkSize(size_t bytes) {
    impl_->writer.SetChunkSize(bytes);
}

bool ZipComponent::AddFile(const std::string& filePath, const std::string& entryName,
                           const std::optional<StagedContent>& staged) {
    impl_->Clear();
    const std::string name = entryName.empty() ? fileio::BareFileName(filePath) : entryName;
    if (impl_->events.FileAdding) impl_->events.FileAdding(name);
    if (!impl_->writer.AddFile(filePath, name, staged)) return impl_->FromWriter();
    return true;
}

WriteResult ZipComponent::WriteArchive() {
    impl_->Clear();
    WriteResult result;
    if (impl_->writer.Finish()) {
        result.ok = true;
        if (impl_->events.WriteProgress) impl_->events.WriteProgress(100);
    } else {
        impl_->FromWriter();
        result.error = impl_->lastError;
    }
    if (impl_->events.WriteDone) impl_->events.WriteDone(result);
    impl_->knownBytes = impl_->doneBytes = 0;
    impl_->lastPercent = -1;
    return result;
}

void ZipComponent::CloseArchive() {
    impl_->Drop();
    impl_->ForgetPasswords();
}

int ZipComponent::ArchiveNeedsPassword(const std::string& path) {
    impl_->Clear();
    ZipReader probe;
    if (!probe.Open(impl_->OpenArchiveFile(path))) {
        impl_->Fail(probe.ErrorKind(), probe.Error());
        return -1;
    }
    for (const auto& rec : probe.Entries()) {
        if (rec.encrypted()) return 1;
    }
    return 0;
}

bool ZipComponent::OpenArchive(const std::string& path) {
    impl_->Drop();
    impl_->Clear();
    if (!impl_->reader.Open(impl_->OpenArchiveFile(path))) return impl_->FromReader();
    return true;
}

void ZipComponent::SetReadingPassword(const std::string& password) {
    base::Wipe(impl_->readingPassword);
    impl_->readingPassword = password;
    impl_->ForgetLegacyPassword();
}

bool ZipComponent::CheckPassword() {
    impl_->Clear();
    if (!impl_->reader.IsOpen()) return impl_->Fail(ZipError::NotReady, "no archive is open");
    // The 2-byte AES verifier lets one wrong password in 65536 through, the traditional check byte
    // one in 256: decode and check a whole entry, the smallest one with data.
    size_t best = impl_->SmallestProtected(false);
    if (best == std::string::npos) return true;  // nothing is protected
    if (impl_->reader.ReadEntry(best, impl_->PasswordFor(best), nullptr)) return true;
    const ZipEntryRecord& rec = impl_->reader.Entries()[best];
    if (rec.aesStrength == 0 && impl_->reader.ErrorKind() == ZipError::Damaged) {
        // Past the check byte, a traditional entry that does not decode is a wrong password far
        // more often than a damaged one.
        return impl_->Fail(ZipError::WrongPassword, "entry \"" + rec.name + "\": wrong password");
    }
    return impl_->FromReader();
}

bool ZipComponent::TestEntries() {
    impl_->Clear();
    if (!impl_->reader.IsOpen()) return impl_->Fail(ZipError::NotReady, "no archive is open");
    const auto& all = impl_->reader.Entries();
    for (size_t i = 0; i < all.size(); ++i) {
        if (!impl_->reader.ReadEntry(i, impl_->PasswordFor(i), nullptr,
                                     impl_->ReadHooks(all[i].name))) {
            return impl_->FromReader();
        }
    }
    return true;
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

std::vector<EntryInfo> ZipComponent::Entries() const {
    std::vector<EntryInfo> out;
    const auto& all = impl_->reader.Entries();
    out.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i) out.push_back(ToInfo(all[i], i));
    return out;
}

std::optional<EntryInfo> ZipComponent::FindEntry(const std::string& name) const {
    const auto& all = impl_->reader.Entries();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].name == name) return ToInfo(all[i], i);
    }
    return std::nullopt;
}

std::optional<EntryInfo> ZipComponent::FindLastEntry(const std::string& name) const {
    const auto& all = impl_->reader.Entries();
    for (size_t i = all.size(); i-- > 0;) {
        if (all[i].name == name) return ToInfo(all[i], i);
    }
    return std::nullopt;
}

bool ZipComponent::ExtractTo(const EntryInfo& entry, const std::string& folder) {
    impl_->Clear();
    if (!IsPlainFileName(entry.name)) {
        return impl_->Fail(ZipError::Damaged,
                           "refused to extract \"" + entry.name + "\": not a plain file name");
    }
    return ExtractToFile(entry, fileio::JoinPath(folder, entry.name));
}

bool ZipComponent::ExtractToFile(const EntryInfo& entry, const std::string& filePath) {
    impl_->Clear();
    const ZipEntryRecord* rec = impl_->Record(entry);
    if (!rec) return false;
    if (impl_->events.FileExtracting) impl_->events.FileExtracting(entry.name);
    if (fileio::IsDirectory(filePath)) {
        return impl_->Fail(ZipError::TargetUnwritable,
                           "cannot extract over the folder " + filePath);
    }
    std::string tempPath;
    const std::string name = fileio::BareFileName(filePath);
    auto temp = fileio::CreateTempFile(fileio::ParentFolder(filePath), "~" + name + kExtractingMark,
                                       tempPath);
    if (temp) temp = impl_->Filtered(std::move(temp), tempPath);
    if (!temp) {
        if (!tempPath.empty()) fileio::RemoveFile(tempPath);
        return impl_->Fail(ZipError::TargetUnwritable,
                           "cannot create a temporary file beside " + filePath);
    }
    bool writeFailed = false;
    bool ok = impl_->reader.ReadEntry(
        entry.index, impl_->PasswordFor(entry.index),
        [&](const uint8_t* data, size_t size) {
            if (!temp->Write(data, size)) writeFailed = true;
            return !writeFailed;
        },
        impl_->ReadHooks(entry.name));
    if (!ok) {
        if (writeFailed) {
            impl_->Fail(ZipError::TargetUnwritable, "cannot write " + filePath + " (disk full?)");
        } else {
            impl_->FromReader();
        }
    } else if (!temp->Flush()) {
        ok = impl_->Fail(ZipError::TargetUnwritable, "cannot write " + filePath + " (disk full?)");
    }
    temp.reset();
    // Only a whole, checked file replaces what is there.
    if (ok && !fileio::MoveOver(tempPath, filePath)) {
        ok = impl_->Fail(ZipError::TargetUnwritable,
                         "cannot replace " + filePath + " (in use or read-only?)");
    }
    if (!ok) fileio::RemoveFile(tempPath);
    return ok;
}

size_t RemoveLeftoverTemporaryFiles(const std::string& path) {
    const std::string folder = fileio::ParentFolder(path);
    const std::string name = fileio::BareFileName(path);
    if (name.empty()) return 0;
    const std::string prefixes[] = {ZipWriter::TemporaryPrefix(path), "~" + name + kExtractingMark};
    size_t removed = 0;
    for (const std::string& file : fileio::ListFileNames(folder)) {
        for (const std::string& prefix : prefixes) {
            if (file.size() > prefix.size() && file.starts_with(prefix) &&
                IsTemporarySuffix(std::string_view(file).substr(prefix.size())) &&
                fileio::RemoveFile(fileio::JoinPath(folder, file))) {
                ++removed;
            }
        }
    }
    return removed;
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
