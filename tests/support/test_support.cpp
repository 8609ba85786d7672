#include "test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kestrine::test {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto name = "kestrine-test-" + std::to_string(stamp) + "-" + std::to_string(rd()) + "-" +
                    std::to_string(counter++);
        auto candidate = fs::temp_directory_path() / name;
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempDir::str() const {
    auto u8 = path_.u8string();
    return std::string(u8.begin(), u8.end());
}

std::string TempDir::operator/(const std::string& name) const {
    auto u8 = (path_ / fs::path(std::u8string(name.begin(), name.end()))).u8string();
    return std::string(u8.begin(), u8.end());
}

namespace {

// The program's paths separate folders with backslashes also natively, where the file system needs
// slashes.
fs::path SystemPath(const fs::path& path) {
#ifdef _WIN32
    return path;
#else
    std::string text = path.string();
    for (char& c : text)
        if (c == '\\') c = '/';
    return text;
#endif
}

}  // namespace

std::string ReadFile(const fs::path& given) {
    const fs::path path = SystemPath(given);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const fs::path& given, const std::string& bytes) {
    const fs::path path = SystemPath(given);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 gen(seed);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(gen() & 0xFF);
    return out;
}

fs::path SourcePath(const std::string& relative) {
    const char* dir = std::getenv("KESTRINE_SOURCE_DIR");
    fs::path base = dir ? fs::path(dir) : fs::path(KESTRINE_SOURCE_DIR_FALLBACK);
    return base / relative;
}

}  // namespace kestrine::test
