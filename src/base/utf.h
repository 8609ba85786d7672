#pragma once
// UTF-8 and UTF-16: validity and conversion. The program keeps text as UTF-8; Windows and the
// registry take UTF-16 (the registry stores it as UTF-16LE bytes).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::base {

// Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// True when the text has no unpaired surrogate, so that it survives a trip through UTF-8.
bool IsWellFormedUtf16(std::u16string_view utf16);
// True when the text is well-formed UTF-8: no sequence cut off, no stray continuation byte, no
// overlong form, surrogate or code point above U+10FFFF.
bool IsWellFormedUtf8(std::string_view utf8);

std::vector<uint8_t> Utf16ToBytes(std::u16string_view utf16);
// An odd trailing byte is dropped.
std::u16string BytesToUtf16(const std::vector<uint8_t>& bytes);

}  // namespace kestrine::base
