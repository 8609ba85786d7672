#pragma once
// Opening a backup file for a restore: the archive is opened in the zip component, its password
// checked and its manifest read. The archive stays open for the restore run after a valid open.
#include <functional>
#include <string>

#include "archive/archive_reader.h"
#include "backup_format/manifest.h"

namespace kestrine::restore {

enum class OpenStatus {
    Opened,         // a valid backup is open
    WrongPassword,  // the password does not fit, or the protected file is no backup
    Invalid,        // no zip archive, no manifest, or no valid item flag string
    // Some entries are protected and some are not: Kestrine protects all or none, so entries were
    // added by someone else. Nothing of it is read.
    Altered,
};

struct OpenedBackup {
    OpenStatus status = OpenStatus::Invalid;
    backup_format::Manifest manifest;  // what could be read; empty values when nothing could
};

// Opens the archive at `path`. A protected archive asks `passwordFor` for its password (only then)
// and is checked with it before anything is extracted. The manifest is extracted into a folder of
// its own in `tempFolder` and deleted again.
OpenedBackup OpenBackup(archive::ArchiveReader& zip, const std::string& path,
                        const std::string& tempFolder,
                        const std::function<std::string()>& passwordFor);

}  // namespace kestrine::restore
