#include "restore/open_backup.h"

#include "app/run_folder.h"
#include "platform/file_stream.h"
#include "platform/files.h"

namespace kestrine::restore {

namespace {

// The manifest is extracted to a fresh temporary file in a folder of its own, so no file of a
// backup at work can be read as this archive's manifest. One larger than a manifest can be is no
// backup: it is neither extracted nor read.
backup_format::Manifest ReadManifest(archive::ArchiveReader& zip, const std::string& tempFolder) {
    const auto entry = zip.FindLastEntry(backup_format::kManifestName);
    if (!entry || entry->uncompressedSize > backup_format::kManifestSizeLimit) return {};
    const RunFolder work(tempFolder);
    std::string temp;
    if (work.Path().empty() || !platform::fileio::CreateTempFile(work.Path(), "KSM", temp))
        return {};
    std::optional<std::string> bytes;
    if (zip.ExtractToFile(*entry, temp) &&
        platform::fileio::FileSize(temp) <= backup_format::kManifestSizeLimit)
        bytes = platform::fileio::ReadWholeFile(temp);
    platform::fileio::RemoveFile(temp);
    if (!bytes) return {};
    return backup_format::ReadManifestText(backup_format::DecodeManifestFile(*bytes));
}

// A protected backup has every entry protected; one entry in plain text among protected ones was
// put there by someone who did not know the password.
bool MixedProtection(const archive::ArchiveReader& zip) {
    bool protectedSeen = false, plainSeen = false;
    for (const auto& entry : zip.Entries()) (entry.encrypted ? protectedSeen : plainSeen) = true;
    return protectedSeen && plainSeen;
}

}  // namespace

OpenedBackup OpenBackup(archive::ArchiveReader& zip, const std::string& path,
                        const std::string& tempFolder,
                        const std::function<std::string()>& passwordFor) {
    OpenedBackup opened;
    zip.CloseArchive();
    const auto protection = zip.ArchiveNeedsPassword(path);
    if (protection && *protection == archive::ArchiveProtection::Protected) {
        (void)zip.OpenArchive(path);  // a failure shows as a wrong password below
        zip.SetReadingPassword(passwordFor ? passwordFor() : std::string());
        if (!zip.CheckPassword()) {
            zip.CloseArchive();
            opened.status = OpenStatus::WrongPassword;
            return opened;
        }
    } else {
        zip.SetReadingPassword("");
        (void)zip.OpenArchive(path);  // an archive that does not open has no manifest to read
    }
    if (MixedProtection(zip)) {
        zip.CloseArchive();
        opened.status = OpenStatus::Altered;
        return opened;
    }
    opened.manifest = ReadManifest(zip, tempFolder);
    opened.status = opened.manifest.valid ? OpenStatus::Opened : OpenStatus::Invalid;
    return opened;
}

}  // namespace kestrine::restore
