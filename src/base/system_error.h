#pragma once
// What the system said when one of its operations failed: its error code and its own words for
// it, so that a message can say what happened (the disk is full, the file is in use by another
// program) instead of guessing. On Windows the code is GetLastError's; in the POSIX twins errno's,
// except where a twin stands for a Windows condition (a file another program holds), which gives
// Windows' own code and words.
#include <cstdint>
#include <string>

namespace kestrine::base {

struct SystemError {
    uint32_t code = 0;  // 0: the system said nothing
    std::string text;   // the system's words, UTF-8, one line

    bool Said() const { return code != 0; }
};

// Windows' codes that the POSIX twins and the tests' stand-ins give for what they stand for.
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorReadFault = 30;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorDiskFull = 112;

// `what`, followed by the system's words when it said anything: "cannot write X: There is not
// enough space on the disk."
inline std::string Explained(const std::string& what, const SystemError& error) {
    if (!error.Said()) return what;
    if (error.text.empty()) return what + " (system error " + std::to_string(error.code) + ")";
    return what + ": " + error.text;
}

}  // namespace kestrine::base
