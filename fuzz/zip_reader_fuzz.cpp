// Feeds arbitrary bytes to the archive reader: the central directory parse, then every entry's
// decoding (with a password, so the encrypted paths run too) and the file-name check.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive/archive_reader.h"
#include "archive/zip_reader.h"
#include "platform/file_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrine;
    archive::ZipReader reader;
    if (!reader.Open(std::make_unique<platform::fileio::MemoryStream>(data, size))) return 0;
    size_t count = reader.Entries().size();
    for (size_t i = 0; i < count && i < 16; ++i) {
        (void)archive::IsPlainFileName(reader.Entries()[i].name);
        uint64_t total = 0;
        (void)reader.ReadEntry(i, "pw", [&](const uint8_t*, size_t n) {
            total += n;
            return total < (64u << 20);  // bombs stop early
        });
    }
    return 0;
}
