#pragma once
// File paths stored inside binary registry values (a profile's data file location): decoding,
// extraction, and the hex byte images used to rewrite a path in place.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::registry {

// Decodes the value's bytes as UTF-16LE with the zero bytes left out: a pair of adjacent non-zero
// bytes gives one code unit (low byte first), a lone non-zero byte gives the character of that
// code. Bytes outside the data count as zero, so every byte pattern decodes.
std::u16string DecodeBinaryText(const std::vector<uint8_t>& data);

// The value's non-zero bytes in order (a path stored as single- or double-byte ANSI text).
std::string NonZeroBytes(const std::vector<uint8_t>& data);

// The path the decoded text ends with: from the drive letter before the last ":\" (when that is at
// the third character or later), else from the last "\\" (same condition); nothing otherwise.
std::optional<std::string> ExtractDataFilePath(std::u16string_view text);

// The data file path a profile value ends with, stored as UTF-16LE: the bytes are read as whole
// code units (aligned to the value's end first, then to the other byte), so that characters with a
// zero low byte (U+4E00, U+0100 ...) decode too; when neither alignment holds a path, by
// DecodeBinaryText. Nothing when there is none.
std::optional<std::string> DataFilePathIn(const std::vector<uint8_t>& data);

// Each byte as upper-case hex without leading zero, separated by "=" (0x43 0x3A 0x5C 0x00 gives
// "43=3A=5C=0").
std::string HexImage(const std::vector<uint8_t>& data);
// The bytes of a hex image; nothing when a part is not a hex byte. An empty image is no bytes.
std::optional<std::vector<uint8_t>> ParseHexImage(std::string_view image);

// Path images, each ending with "=": UTF-16LE (low byte, high byte per code unit) and single bytes
// (the path already in the ANSI code page).
std::string Utf16PathImage(std::string_view utf8Path);
std::string SingleBytePathImage(std::string_view ansiPath);

// Replaces every occurrence of `oldImage` by `newImage` in a value's image, matching whole bytes
// only. `changed` tells whether anything was replaced.
std::string ReplaceInHexImage(std::string_view image, std::string_view oldImage,
                              std::string_view newImage, bool& changed);

// The value's bytes with the old path replaced by the new one: as UTF-16LE, or, when that occurs
// nowhere, as single bytes (only when both paths have an ANSI form). Nothing when the old path
// occurs in neither form.
std::optional<std::vector<uint8_t>> ReplacePathInData(const std::vector<uint8_t>& data,
                                                      const std::string& oldPath,
                                                      const std::string& newPath,
                                                      const std::optional<std::string>& oldAnsi,
                                                      const std::optional<std::string>& newAnsi);

}  // namespace kestrine::registry
