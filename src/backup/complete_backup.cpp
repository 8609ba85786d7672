#include "backup/complete_backup.h"

#include <cstdio>
#include <optional>

#include "archive/archive_reader.h"
#include "backup/backup_steps.h"
#include "backup_format/manifest.h"
#include "base/text.h"
#include "platform/file_stream.h"

namespace kestrine::backup {

namespace fileio = platform::fileio;

bool HoldsAllChosen(std::string_view itemFlags, const backup_format::Choices& chosen) {
    for (const BackupStep& step : BackupSteps()) {
        if (step.item == Item::Rules || !StepRuns(step, chosen)) continue;
        const size_t at = backup_format::IndexOf(step.item);
        if (at >= itemFlags.size() || itemFlags[at] != '1') return false;
    }
    return true;
}

ManifestFlags ItemFlagsOf(const std::string& path, const std::string& password,
                          const std::string& workFolder) {
    if (!fileio::IsFile(path)) return {Completeness::NoBackup, {}};
    archive::ArchiveReader zip;
    if (!zip.OpenArchive(path)) return {Completeness::NoBackup, {}};
    const auto entry = zip.FindLastEntry(backup_format::kManifestName);
    if (!entry) return {Completeness::NoBackup, {}};
    if (entry->uncompressedSize > backup_format::kManifestSizeLimit)
        return {Completeness::Unreadable, {}};
    zip.SetReadingPassword(password);
    std::string temp;
    if (!fileio::CreateTempFile(workFolder, "KSM", temp)) return {Completeness::Unreadable, {}};
    std::optional<std::string> bytes;
    if (zip.ExtractToFile(*entry, temp)) bytes = fileio::ReadWholeFile(temp);
    fileio::RemoveFile(temp);
    if (!bytes) return {Completeness::Unreadable, {}};
    const backup_format::Manifest manifest =
        backup_format::ReadManifestText(backup_format::DecodeManifestFile(*bytes));
    if (!manifest.valid) return {Completeness::Unreadable, {}};
    return {Completeness::Complete, manifest.itemFlags};
}

Completeness CompletenessOf(const std::string& path, const std::string& password,
                            const backup_format::Choices& chosen, const std::string& workFolder) {
    const ManifestFlags read = ItemFlagsOf(path, password, workFolder);
    if (read.readable != Completeness::Complete) return read.readable;
    return HoldsAllChosen(read.itemFlags, chosen) ? Completeness::Complete
                                                  : Completeness::Incomplete;
}

bool HoldsAllOf(std::string_view itemFlags, std::string_view otherFlags) {
    for (size_t i = 0; i < otherFlags.size(); ++i)
        if (otherFlags[i] == '1' && (i >= itemFlags.size() || itemFlags[i] != '1')) return false;
    return true;
}

std::string DatedArchivePath(std::string_view archive, int year, int month, int day, int hour,
                             int minute) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, "-%02d-%02d-%04d-%02d-%02d.ksx", month, day, year, hour,
                  minute);
    // Only the backup extension gives way: a name without it keeps every character it has.
    const bool extension =
        archive.size() >= 4 && base::EqualsNoCase(archive.substr(archive.size() - 4), ".ksx");
    return std::string(extension ? archive.substr(0, archive.size() - 4) : archive) + suffix;
}

}  // namespace kestrine::backup
