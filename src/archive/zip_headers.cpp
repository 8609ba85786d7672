#include "archive/zip_headers.h"

namespace kestrine::archive::format {

namespace {

struct Putter {
    std::string& out;
    void operator()(uint8_t v) { out.push_back(static_cast<char>(v)); }
    void operator()(uint16_t v) { Put16(out, v); }
    void operator()(uint32_t v) { Put32(out, v); }
    void operator()(const std::optional<uint64_t>& v) {
        if (v) Put64(out, *v);
    }
};

// Reads the fields in order; `short_` turns true when the bytes run out.
struct Getter {
    const uint8_t* p;
    size_t left;
    bool short_ = false;
    bool Take(size_t n) {
        if (left < n) short_ = true;
        return !short_;
    }
    void operator()(uint8_t& v) {
        if (Take(1)) v = *p, p += 1, left -= 1;
    }
    void operator()(uint16_t& v) {
        if (Take(2)) v = Get16(p), p += 2, left -= 2;
    }
    void operator()(uint32_t& v) {
        if (Take(4)) v = Get32(p), p += 4, left -= 4;
    }
    void operator()(std::optional<uint64_t>& v) {
        if (v && Take(8)) v = Get64(p), p += 8, left -= 8;
    }
};

struct Counter {
    size_t bytes = 0;
    constexpr void operator()(uint8_t) { bytes += 1; }
    constexpr void operator()(uint16_t) { bytes += 2; }
    constexpr void operator()(uint32_t) { bytes += 4; }
};

template <class H>
constexpr size_t FieldBytes() {
    Counter count;
    const H h{};
    VisitFields(count, h);
    return count.bytes;
}
static_assert(4 + FieldBytes<LocalHeader>() == kLocalHeaderSize);
static_assert(4 + FieldBytes<CentralHeader>() == kCentralHeaderSize);
static_assert(FieldBytes<AesExtra>() == 7);

template <class H>
void PutWithSignature(std::string& out, uint32_t signature, const H& h) {
    Put32(out, signature);
    Putter put{out};
    VisitFields(put, h);
}

template <class H>
bool GetWithSignature(const uint8_t* data, size_t size, uint32_t signature, H& h) {
    if (size < sizeof signature || Get32(data) != signature) return false;
    Getter get{data + sizeof signature, size - sizeof signature};
    VisitFields(get, h);
    return !get.short_;
}

template <class H>
void PutField(std::string& out, uint16_t id, const H& h) {
    std::string body;
    Putter put{body};
    VisitFields(put, h);
    Put16(out, id);
    Put16(out, static_cast<uint16_t>(body.size()));
    out += body;
}

}  // namespace

void PutRecord(std::string& out, const LocalHeader& h) {
    PutWithSignature(out, kLocalHeaderSig, h);
}
void PutRecord(std::string& out, const CentralHeader& h) {
    PutWithSignature(out, kCentralHeaderSig, h);
}
bool GetRecord(const uint8_t* data, size_t size, LocalHeader& h) {
    return GetWithSignature(data, size, kLocalHeaderSig, h);
}
bool GetRecord(const uint8_t* data, size_t size, CentralHeader& h) {
    return GetWithSignature(data, size, kCentralHeaderSig, h);
}

void PutExtra(std::string& out, const Zip64Extra& z) {
    if (z.uncompressedSize || z.compressedSize || z.localOffset) PutField(out, kZip64ExtraId, z);
}
void PutExtra(std::string& out, const AesExtra& a) {
    PutField(out, kAesExtraId, a);
}

bool GetExtra(const uint8_t* data, size_t size, Zip64Extra& z) {
    Getter get{data, size};
    VisitFields(get, z);
    return !get.short_;
}
bool GetExtra(const uint8_t* data, size_t size, AesExtra& a) {
    Getter get{data, size};
    VisitFields(get, a);
    return !get.short_ && a.vendor == kAesVendor;
}

}  // namespace kestrine::archive::format
