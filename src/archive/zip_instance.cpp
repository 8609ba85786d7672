#include "archive/zip_instance.h"

namespace kestrine::archive {

ZipComponent& Zip() {
    static ZipComponent zip;
    return zip;
}

}  // namespace kestrine::archive
