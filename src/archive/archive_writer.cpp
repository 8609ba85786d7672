#include "archive/archive_writer.h"

#include <string_view>

#include "base/own_files.h"
#include "base/path.h"
#include "platform/file_stream.h"

namespace kestrine::archive {

namespace fileio = platform::fileio;

ArchiveWriter::ArchiveWriter(const EntryProtection& protection, ZipOptions options)
    : writer_(protection) {
    writer_.SetStreamFilter(std::move(options.filter));
    writer_.SetChunkSize(options.chunkSize);
    writer_.SetFlushInterval(options.flushEvery);
    writer_.SetPieceDigests(options.pieceDigests);
}

ArchiveWriter::~ArchiveWriter() = default;

Status ArchiveWriter::CreateArchive(const std::string& path) {
    return writer_.Begin(path);
}

void ArchiveWriter::SetExpectedBytes(uint64_t bytes) {
    writer_.SetExpectedBytes(bytes);
}

Status ArchiveWriter::AddFile(const std::string& filePath, const std::string& entryName,
                              const std::optional<StagedContent>& staged, ZipObserver& observer) {
    const std::string name = entryName.empty() ? base::BaseName(filePath) : entryName;
    observer.FileAdding(name);
    return writer_.AddFile(filePath, name, staged, observer);
}

Status ArchiveWriter::WriteArchive(ZipObserver& observer) {
    Status written = writer_.Finish(observer);
    if (written) observer.WriteProgress(100);
    observer.WriteDone(written);
    return written;
}

void ArchiveWriter::PlaceArchiveAt(const std::string& path) {
    writer_.SetTarget(path);
}

void ArchiveWriter::ReuseFrom(const std::string& path, const std::string& password) {
    writer_.SetEarlierArchive(path, password);
}

void ArchiveWriter::CloseArchive() {
    writer_.Abandon();
}

void RemoveLeftoverTemporaryFiles(const std::string& path) {
    const std::string folder = base::FolderPart(path);
    const std::string name = base::BaseName(path);
    if (name.empty()) return;
    for (const std::string& file : fileio::ListFileNames(folder)) {
        for (const std::string_view mark : {base::kWritingMark, base::kExtractingMark})
            if (base::OwnFileMadeFor(file, mark) == name)
                fileio::RemoveFile(base::JoinPath(folder, file));
    }
}

}  // namespace kestrine::archive
