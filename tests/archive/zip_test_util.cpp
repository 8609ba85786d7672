#include "zip_test_util.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "archive/zip_format.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kestrine::test {

using namespace archive::format;

std::string BuildZip(const std::vector<RawEntry>& entries) {
    std::string out, cd;
    for (const auto& e : entries) {
        uint32_t crc = static_cast<uint32_t>(
            e.crc >= 0 ? e.crc
                       : crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()),
                               static_cast<uInt>(e.data.size())));
        uint32_t comp =
            static_cast<uint32_t>(e.compressedSize >= 0 ? e.compressedSize : e.data.size());
        uint32_t uncomp =
            static_cast<uint32_t>(e.uncompressedSize >= 0 ? e.uncompressedSize : e.data.size());
        uint32_t offset = static_cast<uint32_t>(e.offset >= 0 ? e.offset : out.size());
        std::string h;
        Put32(h, kLocalHeaderSig);
        Put16(h, 20);
        Put16(h, e.flags);
        Put16(h, e.method);
        Put32(h, 0x00210000);
        Put32(h, crc);
        Put32(h, comp);
        Put32(h, uncomp);
        Put16(h, static_cast<uint16_t>(e.name.size()));
        Put16(h, 0);
        out += h + e.name + e.data;
        Put32(cd, kCentralHeaderSig);
        Put16(cd, 20);
        Put16(cd, 20);
        Put16(cd, e.flags);
        Put16(cd, e.method);
        Put32(cd, 0x00210000);
        Put32(cd, crc);
        Put32(cd, comp);
        Put32(cd, uncomp);
        Put16(cd, static_cast<uint16_t>(e.name.size()));
        Put16(cd, 0);
        Put16(cd, 0);
        Put16(cd, 0);
        Put16(cd, 0);
        Put32(cd, 0);
        Put32(cd, offset);
        cd += e.name;
    }
    uint32_t cdOffset = static_cast<uint32_t>(out.size());
    out += cd;
    std::string end;
    Put32(end, kEndSig);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<uint16_t>(entries.size()));
    Put16(end, static_cast<uint16_t>(entries.size()));
    Put32(end, static_cast<uint32_t>(cd.size()));
    Put32(end, cdOffset);
    Put16(end, 0);
    return out + end;
}

bool WriteZip(const std::string& archive, const std::vector<std::string>& files,
              const std::string& password, size_t chunkSize) {
    archive::ZipComponent zip;
    if (chunkSize) zip.SetChunkSize(chunkSize);
    zip.ProtectEntries(!password.empty());
    zip.SetWritingPassword(password);
    if (!zip.CreateArchive(archive)) return false;
    for (const auto& f : files) {
        if (!zip.AddFile(f)) return false;
    }
    return zip.WriteArchive().ok;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::filesystem::path dir(std::u8string(folder.begin(), folder.end()));
    for (const auto& item : std::filesystem::directory_iterator(dir)) {
        auto u8 = item.path().filename().u8string();
        names.emplace_back(u8.begin(), u8.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string TextBytes(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"mail ",    "folder ",   "account ", "Outlook ",
                                         "profile ", "backup ",   "restore ", "data\r\n",
                                         "contact ", "signature "};
    std::string out;
    out.reserve(size + 16);
    uint32_t x = seed * 2654435761u + 1;
    while (out.size() < size) {
        x = x * 1664525u + 1013904223u;
        out += kWords[(x >> 16) % 10];
        if ((x & 0xff) == 7) out += std::to_string(x);
    }
    out.resize(size);
    return out;
}

bool HaveTool(const std::string& tool) {
#ifdef _WIN32
    (void)tool;
    return false;
#else
    return Shell("command -v " + tool) == 0;
#endif
}

int Shell(const std::string& command) {
    int rc = std::system((command + " >/dev/null 2>&1").c_str());
#ifdef _WIN32
    return rc;
#else
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
}

std::string Quote(const std::string& path) {
    std::string out = "'";
    for (char c : path) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

}  // namespace kestrine::test
