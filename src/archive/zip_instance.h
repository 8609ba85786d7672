#pragma once
// The program's one zip component. The archive opened on the Restore tab stays open in it until
// the next open or a backup run closes it.
#include "archive/zip_component.h"

namespace kestrine::archive {

ZipComponent& Zip();

}  // namespace kestrine::archive
