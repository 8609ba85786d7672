#include "base/secret.h"

namespace kestrine::base {

void WipeBytes(void* data, size_t size) {
    // Writes through a volatile pointer are observable behaviour: no compiler may drop them as
    // stores to memory that is never read again.
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) bytes[i] = 0;
}

void Wipe(std::string& secret) {
    // The whole capacity: a password shortened or replaced in place leaves characters past size().
    WipeBytes(secret.data(), secret.capacity());
    secret.clear();
}

}  // namespace kestrine::base
