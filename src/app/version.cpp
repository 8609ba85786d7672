#include "app/version.h"

namespace kestrine {
const char* const kProductName = "Kestrine";
const char* const kProductVersion = "1.0.0";
}  // namespace kestrine
