#pragma once
// Byte-level pieces of the zip format shared by the writer and the reader.
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrine::archive::format {

inline constexpr uint32_t kLocalHeaderSig = 0x04034b50;
inline constexpr uint32_t kCentralHeaderSig = 0x02014b50;
inline constexpr uint32_t kEndSig = 0x06054b50;
inline constexpr uint32_t kZip64EndSig = 0x06064b50;
inline constexpr uint32_t kZip64LocatorSig = 0x07064b50;
inline constexpr uint16_t kZip64ExtraId = 0x0001;
inline constexpr uint16_t kAesExtraId = 0x9901;
inline constexpr uint16_t kUnicodePathExtraId = 0x7075;
// "AE", the vendor of the AES extra field.
inline constexpr uint16_t kAesVendor = 0x4541;
// Our own central-directory field: where the independently compressed pieces of a large deflated
// entry begin, so a reader can inflate them on several cores. Other readers skip it. Layout: a
// version byte (1), then as LEB128 numbers the uncompressed size of every piece but the last, the
// number of pieces, and each piece's compressed size (the last one includes the end of the stream).
inline constexpr uint16_t kChunkIndexExtraId = 0x4b53;
inline constexpr uint8_t kChunkIndexVersion = 1;
// Our own central-directory field: where the sealed digests of the entry's pieces lie (after the
// last entry's data, before the central directory; see piece_digests.h). Layout: a version byte
// (1), the offset (8 bytes), the size (4) and the CRC-32 (4) of the sealed digests.
inline constexpr uint16_t kPieceDigestsExtraId = 0x4b44;
inline constexpr uint8_t kPieceDigestsVersion = 1;
inline constexpr size_t kPieceDigestsFieldSize = 17;
// The largest uncompressed piece an index may describe (readers hold a few pieces in memory).
inline constexpr uint64_t kMaxChunkInput = 16u << 20;
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodAes = 99;
inline constexpr uint16_t kFlagEncrypted = 1u << 0;
inline constexpr uint16_t kFlagDataDescriptor = 1u << 3;
inline constexpr uint16_t kFlagStrongEncryption = 1u << 6;
inline constexpr uint16_t kFlagUtf8 = 1u << 11;
inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndSize = 22;
inline constexpr size_t kZip64EndSize = 56;
inline constexpr size_t kZip64LocatorSize = 20;

inline uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t Get64(const uint8_t* p) {
    return static_cast<uint64_t>(Get32(p)) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}
inline void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}
inline void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
inline void Put64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// LEB128: seven bits a byte, low bits first, the high bit set on every byte but the last.
inline void PutVarint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7f) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}
// Reads one number at data[pos..size); false when it runs past the end or beyond 64 bits.
inline bool GetVarint(const uint8_t* data, size_t size, size_t& pos, uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64 && pos < size; shift += 7) {
        const uint8_t byte = data[pos++];
        v |= static_cast<uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) return shift < 63 || (byte & 0x7f) <= 1;
    }
    return false;
}

bool IsAscii(std::string_view text);

}  // namespace kestrine::archive::format
