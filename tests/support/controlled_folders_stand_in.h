#pragma once
// The native tests' stand-in for Windows Security's controlled folder access: while a folder is
// protected here, the POSIX twin refuses to create files in it (and below it) with denied access
// although its permissions allow it, as Windows does for a program it does not trust, and
// fileio::ControlledFolderAccessBlocks names the cause.
#include <string>

namespace kestrine::platform::fileio {

// `folder` (compared without regard to case or separator) is protected until Unprotect(folder).
void ProtectFolder(const std::string& folder);
void UnprotectFolder(const std::string& folder);

}  // namespace kestrine::platform::fileio
