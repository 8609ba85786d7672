// A manifest comes out of an archive that anyone may have made: reading it, its entry lists and its
// record of data-file sections and its list of what the backup holds must take every input without
// harm, what a list yields must come back from writing it again, and no name of what the backup
// holds breaks the line it is shown on.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "backup_format/backup_contents.h"
#include "backup_format/manifest.h"

using namespace kestrine::backup_format;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Manifest manifest = ReadManifestText(DecodeManifestFile(bytes));
    for (const std::string& value : manifest.entries) {
        const auto names = SplitStagingList(value);
        if (SplitStagingList(JoinStagingList(names)) != names) std::abort();
    }
    const DataFileStores stores = SplitDataFileStores(manifest.dataFileStores);
    SplitDataFileStores(JoinDataFileStores(stores));
    for (const std::string_view value : {std::string_view(manifest.contents), bytes}) {
        const auto contents = DecodeContents(value);
        if (!contents) continue;
        if (DecodeContents(EncodeContents(*contents)) != contents) std::abort();
        for (const std::string& line : DescribeContents(*contents))
            if (line.find_first_of("\r\n") != std::string::npos) std::abort();
    }
    SplitStagingList(bytes);
    SplitDataFileStores(bytes);
    return 0;
}
