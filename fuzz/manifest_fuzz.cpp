// A manifest comes out of an archive that anyone may have made: reading it, its entry lists and its
// record of data-file sections must take every input without harm, and what a list yields must
// come back from writing it again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "backup_format/manifest.h"

using namespace kestrine::archive;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Manifest manifest = ReadManifestText(DecodeManifestFile(bytes));
    for (const std::string& value : manifest.entries) {
        const auto names = SplitStagingList(value);
        if (SplitStagingList(JoinStagingList(names)) != names) std::abort();
    }
    const DataFileStores stores = SplitDataFileStores(manifest.dataFileStores);
    SplitDataFileStores(JoinDataFileStores(stores));
    SplitStagingList(bytes);
    SplitDataFileStores(bytes);
    return 0;
}
