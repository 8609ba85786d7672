#pragma once
// The zip component: writes and reads backup archives (standard zip files, ZIP64 where needed,
// optional WinZip AES-256 protection of every entry). It holds at most one archive at a time.
//
// Writing streams: each AddFile compresses the file into a temporary file beside the target at
// once; WriteArchive adds the central directory and only then moves the finished archive over any
// older file of that name. Protection and password are therefore set before the first AddFile.
// Paths are UTF-8; entry names are the bare file names.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrine::archive {

struct WriteResult {
    bool ok = false;
    std::string error;  // one line naming the cause when !ok
};

struct EntryInfo {
    std::string name;  // UTF-8
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint32_t crc32 = 0;
    uint16_t method = 0;  // 0 stored, 8 deflated (the real method, also under AES)
    bool encrypted = false;
    bool aes = false;
    size_t index = 0;  // position in the central directory
};

// Events, bound by the window (or left empty).
struct ZipEvents {
    std::function<void(const std::string& name)> FileAdding;
    std::function<void(const std::string& name)> FileExtracting;
    std::function<void(int percent)> WriteProgress;
    std::function<void(const WriteResult& result)> WriteDone;
};

class ZipComponent {
  public:
    ZipComponent();
    ~ZipComponent();
    ZipComponent(const ZipComponent&) = delete;
    ZipComponent& operator=(const ZipComponent&) = delete;

    ZipEvents& Events();
    void SetWorkFolder(const std::string& folder);
    const std::string& WorkFolder() const;

    // --- writing ---
    // Begins a new, empty archive for `path`; false (with LastError) when the temporary file beside
    // it cannot be made. Drops any archive held before.
    bool CreateArchive(const std::string& path);
    // Protection and password apply to the entries added afterwards; set them before the first
    // AddFile.
    void ProtectEntries(bool on);
    void SetWritingPassword(const std::string& password);
    // Adds the file as a root entry named by its bare file name. False when it could not be read
    // whole; the archive then stays as it was before the call.
    bool AddFile(const std::string& filePath);
    // Optional: the total size of the files that will be added, so WriteProgress counts against
    // the whole write from the start (otherwise against the files added so far).
    void SetExpectedBytes(uint64_t bytes);
    // Size of the pieces that large files are split into for parallel compression (default 1 MiB).
    void SetChunkSize(size_t bytes);
    // Finishes the archive and moves it into place. Raises WriteDone with the result in every case.
    WriteResult WriteArchive();
    // Drops the open archive; an unfinished write is abandoned and its temporary file removed.
    void CloseArchive();

    // --- reading ---
    // 1 when the archive's entries are password-protected, 0 when not, -1 when it is no readable
    // zip.
    int ArchiveNeedsPassword(const std::string& path);
    bool OpenArchive(const std::string& path);
    void SetReadingPassword(const std::string& password);
    // True only when the reading password really decrypts and authenticates an entry.
    bool CheckPassword();
    std::vector<EntryInfo> Entries() const;
    // The first entry of that name.
    std::optional<EntryInfo> FindEntry(const std::string& name) const;
    // Decodes and checks every entry (CRC or AES authentication, sizes) without writing anything;
    // false at the first fault, named in LastError.
    bool TestEntries();
    // Extracts the entry as a file of its name into `folder`, through a temporary file that is
    // checked (CRC or AES authentication, size) before it replaces a file of that name. False on
    // any fault; nothing that was there is destroyed then.
    bool ExtractTo(const EntryInfo& entry, const std::string& folder);
    // Extracts to an explicit file path, with the same safety.
    bool ExtractToFile(const EntryInfo& entry, const std::string& filePath);

    // The last failure, one line.
    const std::string& LastError() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when `name` is a plain file name that may be written into a folder (no separators, "..",
// drive letters, device names, control characters).
bool IsPlainFileName(const std::string& name);

}  // namespace kestrine::archive
