#include "platform/posix_hooks.h"

namespace kestrine::platform {

PosixHooks& Hooks() {
    static PosixHooks hooks;
    return hooks;
}

}  // namespace kestrine::platform
