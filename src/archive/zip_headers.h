#pragma once
// The records of an entry (local header, central directory header, the ZIP64 and AES extra
// fields) as one field list each. The writer and the reader both go through the same list, the
// writer putting and the reader getting, so that a field can never sit in one place for the one
// and in another for the other.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

#include "archive/zip_format.h"

namespace kestrine::archive::format {

// The fields that the local header and the central directory header share, in their order.
struct EntryFields {
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;   // 99 for AES, the real method then in the AES extra field
    uint32_t dosTime = 0;  // the time in the low half, the date in the high half
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;  // 0xffffffff: in the ZIP64 extra field
    uint32_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
};

struct LocalHeader : EntryFields {};

struct CentralHeader : EntryFields {
    uint16_t versionMadeBy = 0;
    uint16_t commentLength = 0;
    uint16_t diskStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint32_t localOffset = 0;  // 0xffffffff: in the ZIP64 extra field
};

// The ZIP64 extra field: each value is there only when its header field says 0xffffffff, in this
// order.
struct Zip64Extra {
    std::optional<uint64_t> uncompressedSize;
    std::optional<uint64_t> compressedSize;
    std::optional<uint64_t> localOffset;
};

// The AES extra field (WinZip): it carries the real compression method.
struct AesExtra {
    uint16_t version = 0;  // 1 (AE-1) or 2 (AE-2, without the CRC)
    uint16_t vendor = kAesVendor;
    uint8_t strength = 0;  // 1, 2, 3: 128, 192, 256-bit keys
    uint16_t method = 0;
};

// The field lists. `io` is called with each field in its order; `H` is const for writing.
template <class Io, class H>
constexpr void VisitEntryFields(Io& io, H& h) {
    io(h.versionNeeded), io(h.flags), io(h.method), io(h.dosTime), io(h.crc32);
    io(h.compressedSize), io(h.uncompressedSize), io(h.nameLength), io(h.extraLength);
}
template <class Io, class H>
constexpr void VisitFields(Io& io,
                           H& h) requires std::is_same_v<std::remove_const_t<H>, LocalHeader> {
    VisitEntryFields(io, h);
}
template <class Io, class H>
constexpr void VisitFields(Io& io,
                           H& h) requires std::is_same_v<std::remove_const_t<H>, CentralHeader> {
    io(h.versionMadeBy);
    VisitEntryFields(io, h);
    io(h.commentLength), io(h.diskStart), io(h.internalAttributes), io(h.externalAttributes);
    io(h.localOffset);
}
template <class Io, class H>
constexpr void VisitFields(Io& io, H& h) requires std::is_same_v<std::remove_const_t<H>, AesExtra> {
    io(h.version), io(h.vendor), io(h.strength), io(h.method);
}
template <class Io, class H>
constexpr void VisitFields(Io& io,
                           H& h) requires std::is_same_v<std::remove_const_t<H>, Zip64Extra> {
    io(h.uncompressedSize), io(h.compressedSize), io(h.localOffset);
}

// Writing: appends the record (with its signature, where it has one) to `out`.
void PutRecord(std::string& out, const LocalHeader& h);
void PutRecord(std::string& out, const CentralHeader& h);
// An extra field whole: its id, its size and its values (nothing for a ZIP64 field without any).
void PutExtra(std::string& out, const Zip64Extra& z);
void PutExtra(std::string& out, const AesExtra& a);

// Reading: false when the bytes are too few or the signature is not the record's. For a ZIP64
// extra field, `z` says on entry which values to read (those whose header field was
// 0xffffffff); false when the field is too short for them.
bool GetRecord(const uint8_t* data, size_t size, LocalHeader& h);
bool GetRecord(const uint8_t* data, size_t size, CentralHeader& h);
bool GetExtra(const uint8_t* data, size_t size, Zip64Extra& z);
bool GetExtra(const uint8_t* data, size_t size, AesExtra& a);

}  // namespace kestrine::archive::format
