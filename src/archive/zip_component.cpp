#include "archive/zip_component.h"

#include <algorithm>
#include <cctype>

#include "archive/zip_format.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "platform/file_stream.h"

namespace kestrine::archive {

namespace fileio = platform::fileio;

struct ZipComponent::Impl {
    ZipEvents events;
    std::string workFolder;
    std::string lastError;

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

    const ZipEntryRecord* Record(const EntryInfo& entry) {
        const auto& all = reader.Entries();
        if (!reader.IsOpen() || entry.index >= all.size() || all[entry.index].name != entry.name) {
            lastError = "the entry \"" + entry.name + "\" is not in the open archive";
            return nullptr;
        }
        return &all[entry.index];
    }
};

ZipComponent::ZipComponent() : impl_(std::make_unique<Impl>()) {
    impl_->writer.SetProgress([this](uint64_t bytes) { impl_->Report(bytes); });
    impl_->writer.SetSourceOpened([this](uint64_t size) { impl_->knownBytes += size; });
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
const std::string& ZipComponent::LastError() const {
    return impl_->lastError;
}

bool ZipComponent::CreateArchive(const std::string& path) {
    CloseArchive();
    if (!impl_->writer.Begin(path)) {
        impl_->lastError = impl_->writer.Error();
        return false;
    }
    impl_->writer.SetProtection(impl_->protect, impl_->writingPassword);
    return true;
}

void ZipComponent::ProtectEntries(bool on) {
    impl_->protect = on;
    impl_->writer.SetProtection(on, impl_->writingPassword);
}

void ZipComponent::SetWritingPassword(const std::string& password) {
    impl_->writingPassword = password;
    impl_->writer.SetProtection(impl_->protect, password);
}

void ZipComponent::SetExpectedBytes(uint64_t bytes) {
    impl_->expectedBytes = bytes;
}

void ZipComponent::SetChunkSize(size_t bytes) {
    impl_->writer.SetChunkSize(bytes);
}

bool ZipComponent::AddFile(const std::string& filePath) {
    std::string name = fileio::BareFileName(filePath);
    if (impl_->events.FileAdding) impl_->events.FileAdding(name);
    if (!impl_->writer.Active()) {
        impl_->lastError = "no archive is being written";
        return false;
    }
    if (impl_->protect && impl_->writingPassword.empty()) {
        impl_->lastError = "protection is on but no password is set";
        return false;
    }
    if (!impl_->writer.AddFile(filePath, name)) {
        impl_->lastError = impl_->writer.Error();
        return false;
    }
    return true;
}

WriteResult ZipComponent::WriteArchive() {
    WriteResult result;
    if (!impl_->writer.Active()) {
        result.error = "no archive is being written";
    } else if (impl_->writer.Finish()) {
        result.ok = true;
        if (impl_->events.WriteProgress) impl_->events.WriteProgress(100);
    } else {
        result.error = impl_->writer.Error();
    }
    if (!result.ok) impl_->lastError = result.error;
    if (impl_->events.WriteDone) impl_->events.WriteDone(result);
    impl_->knownBytes = impl_->doneBytes = 0;
    impl_->lastPercent = -1;
    return result;
}

void ZipComponent::CloseArchive() {
    impl_->writer.Abandon();
    impl_->reader = ZipReader();
    impl_->knownBytes = impl_->doneBytes = 0;
    impl_->lastPercent = -1;
}

int ZipComponent::ArchiveNeedsPassword(const std::string& path) {
    ZipReader probe;
    if (!probe.Open(fileio::OpenForRead(path))) {
        impl_->lastError = probe.Error();
        return -1;
    }
    for (const auto& rec : probe.Entries()) {
        if (rec.encrypted()) return 1;
    }
    return 0;
}

bool ZipComponent::OpenArchive(const std::string& path) {
    CloseArchive();
    if (!impl_->reader.Open(fileio::OpenForRead(path))) {
        impl_->lastError = impl_->reader.Error();
        return false;
    }
    return true;
}

void ZipComponent::SetReadingPassword(const std::string& password) {
    impl_->readingPassword = password;
}

bool ZipComponent::CheckPassword() {
    if (!impl_->reader.IsOpen()) {
        impl_->lastError = "no archive is open";
        return false;
    }
    // The 2-byte verifier lets one wrong password in 65536 through: decode and authenticate a
    // whole entry, the smallest one.
    const auto& all = impl_->reader.Entries();
    size_t best = all.size();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].encrypted() &&
            (best == all.size() || all[i].compressedSize < all[best].compressedSize)) {
            best = i;
        }
    }
    if (best == all.size()) return true;  // nothing is protected
    if (!impl_->reader.ReadEntry(best, impl_->readingPassword, nullptr)) {
        impl_->lastError = impl_->reader.Error();
        return false;
    }
    return true;
}

bool ZipComponent::TestEntries() {
    if (!impl_->reader.IsOpen()) {
        impl_->lastError = "no archive is open";
        return false;
    }
    for (size_t i = 0; i < impl_->reader.Entries().size(); ++i) {
        if (!impl_->reader.ReadEntry(i, impl_->readingPassword, nullptr)) {
            impl_->lastError = impl_->reader.Error();
            return false;
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

bool ZipComponent::ExtractTo(const EntryInfo& entry, const std::string& folder) {
    if (!IsPlainFileName(entry.name)) {
        impl_->lastError = "refused to extract \"" + entry.name + "\": not a plain file name";
        return false;
    }
    return ExtractToFile(entry, fileio::JoinPath(folder, entry.name));
}

bool ZipComponent::ExtractToFile(const EntryInfo& entry, const std::string& filePath) {
    const ZipEntryRecord* rec = impl_->Record(entry);
    if (!rec) return false;
    if (impl_->events.FileExtracting) impl_->events.FileExtracting(entry.name);
    if (fileio::IsDirectory(filePath)) {
        impl_->lastError = "cannot extract over the folder " + filePath;
        return false;
    }
    std::string tempPath;
    auto temp = fileio::CreateTempFile(fileio::ParentFolder(filePath), "~kx", tempPath);
    if (!temp) {
        impl_->lastError = "cannot create a temporary file beside " + filePath;
        return false;
    }
    bool writeFailed = false;
    bool ok = impl_->reader.ReadEntry(entry.index, impl_->readingPassword,
                                      [&](const uint8_t* data, size_t size) {
                                          if (!temp->Write(data, size)) writeFailed = true;
                                          return !writeFailed;
                                      });
    if (!ok) {
        impl_->lastError =
            writeFailed ? "cannot write " + filePath + " (disk full?)" : impl_->reader.Error();
    } else if (!temp->Flush()) {
        ok = false;
        impl_->lastError = "cannot write " + filePath + " (disk full?)";
    }
    temp.reset();
    // Only a whole, checked file replaces what is there.
    if (ok && !fileio::MoveOver(tempPath, filePath)) {
        ok = false;
        impl_->lastError = "cannot replace " + filePath + " (in use or read-only?)";
    }
    if (!ok) fileio::RemoveFile(tempPath);
    return ok;
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    if (!format::IsValidUtf8(name)) return false;
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
