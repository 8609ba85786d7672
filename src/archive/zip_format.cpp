#include "archive/zip_format.h"

namespace kestrine::archive::format {

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

}  // namespace kestrine::archive::format
