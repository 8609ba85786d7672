#pragma once
// Small helpers shared by the tests: scratch folders and whole-file access.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrine::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The path of a file or folder inside, as a UTF-8 string.
    std::string operator/(const std::string& name) const;
    std::string str() const;

  private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Deterministic pseudo-random bytes (fixed seed), for data that does not compress.
std::string RandomBytes(size_t size, uint32_t seed);
// Path of a file in the source tree (KESTRINE_SOURCE_DIR, set by CTest).
std::filesystem::path SourcePath(const std::string& relative);

}  // namespace kestrine::test
