// Registry export files come out of archives that anyone may have made: the parser must reject or
// accept every input without harm, and whatever it accepts must survive writing and reading again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/utf.h"
#include "registry/binary_path.h"
#include "registry/export_format.h"

using namespace kestrine::registry;
namespace base = kestrine::base;

namespace {

bool FitsLatin1(std::string_view utf8) {
    for (char16_t c : base::Utf8ToUtf16(utf8))
        if (c > 0xFF) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<uint8_t> bytes(data, data + size);
    ExtractDataFilePath(DecodeBinaryText(bytes));
    if (auto image = ParseHexImage(text)) {
        if (HexImage(*image) != text && !text.empty()) {
            // Only the canonical spelling may differ (leading zeros, lower case).
            if (ParseHexImage(HexImage(*image)) != image) std::abort();
        }
    }

    ImportPlan plan = ParseExportText(text);
    if (!plan.ok) return 0;
    RegKeyTree tree;
    ApplyImportPlan(tree, plan.steps);
    ImportPlan again = ParseExportText(WriteExportText(tree, FitsLatin1));
    if (!again.ok) std::abort();
    RegKeyTree back;
    ApplyImportPlan(back, again.steps);
    if (!(back == tree)) std::abort();
    return 0;
}
