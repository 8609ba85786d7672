#include "archive/earlier_pieces.h"

#include "archive/deflate_codec.h"
#include "archive/flush_behind.h"
#include "archive/zip_format.h"
#include "base/secret.h"

namespace kestrine::archive {

namespace fileio = platform::fileio;
using namespace format;

namespace {

Status NotUsed(const std::string& why) {
    return Status::Fail(Failure::NotReady, why);
}

}  // namespace

Status EarlierPieces::Open(const std::string& path, const std::string& password,
                           const StreamFilter& filter) {
    Close();
    auto open = [&]() -> std::unique_ptr<fileio::FileStream> {
        auto stream = fileio::OpenForRead(path);
        if (stream && filter) stream = filter(std::move(stream), path);
        return stream;
    };
    auto forReader = open();
    stream_ = open();
    if (!forReader || !stream_) {
        Close();
        return NotUsed(path + " cannot be opened");
    }
    if (Status opened = reader_.Open(std::move(forReader)); !opened) {
        Close();
        return NotUsed(opened.message());
    }
    password_ = password;
    return {};
}

void EarlierPieces::Close() {
    reader_.Close();
    stream_.reset();
    starts_.clear();
    sizes_.clear();
    digests_.clear();
    base::Wipe(password_);
    password_.clear();
    base::WipeBytes(&keys_, sizeof keys_);
    aes_ = false;
}

Status EarlierPieces::UseEntry(const std::string& name) {
    starts_.clear();
    sizes_.clear();
    digests_.clear();
    pieceSize_ = 0;
    aes_ = false;
    if (!stream_) return NotUsed("no earlier archive is open");
    const ZipEntryRecord* rec = nullptr;
    for (const ZipEntryRecord& r : reader_.Entries()) {
        if (r.name == name) rec = &r;
    }
    if (!rec) return NotUsed("the earlier archive has no entry " + name);
    if (rec->realMethod != kMethodDeflated || rec->chunks.size() < 2 ||
        rec->chunkInput < kSmallestChunk || rec->chunkInput > kMaxChunkInput) {
        return NotUsed("the earlier entry " + name + " has no chunk index of this piece size");
    }
    if (rec->encrypted() && rec->aesStrength == 0) {
        return NotUsed("the earlier entry " + name + " uses the traditional cipher");
    }
    if (rec->encrypted() == password_.empty()) {
        return NotUsed("the earlier entry " + name + " is protected otherwise");
    }
    uint8_t local[30];
    if (!stream_->ReadAt(rec->localOffset, local, sizeof local) || Get16(local) != 0x4b50) {
        return NotUsed("the earlier entry " + name + " cannot be read");
    }
    uint64_t start = rec->localOffset + sizeof local + Get16(local + 26) + Get16(local + 28);
    aes_ = rec->encrypted();
    if (aes_) {
        const size_t saltSize = crypto::AesSaltSize(rec->aesStrength);
        uint8_t head[16 + crypto::kAesVerifierSize];
        crypto::AesCtr check;
        if (saltSize == 0 || !stream_->ReadAt(start, head, saltSize + crypto::kAesVerifierSize) ||
            !crypto::DeriveAesKeys(password_, head, rec->aesStrength, keys_)) {
            aes_ = false;
            return NotUsed("the earlier entry " + name + " cannot be decrypted");
        }
        if (!crypto::SameBytes(keys_.verifier, head + saltSize, crypto::kAesVerifierSize) ||
            !check.Init(keys_.encryption, keys_.keySize)) {
            aes_ = false;
            return NotUsed("the earlier archive has another password");
        }
        start += saltSize + crypto::kAesVerifierSize;
    }
    dataStart_ = start;
    pieceSize_ = static_cast<size_t>(rec->chunkInput);
    uint64_t at = 0;
    // The last piece holds the rest and the end of the stream: only the full ones are offered.
    for (size_t i = 0; i + 1 < rec->chunks.size(); ++i) {
        starts_.push_back(at);
        sizes_.push_back(rec->chunks[i]);
        at += rec->chunks[i];
    }
    if (at > rec->compressedSize) {
        starts_.clear();
        sizes_.clear();
        pieceSize_ = 0;
        return NotUsed("the earlier entry " + name + " has a damaged chunk index");
    }
    ReadDigests(*rec);
    return {};
}

// The digests of the entry's pieces, when it has sound ones; without them its pieces are proven by
// inflating them.
void EarlierPieces::ReadDigests(const ZipEntryRecord& rec) {
    const size_t count = rec.chunks.size();
    if (rec.digestsSize == 0 || rec.digestsSize != SealedPieceDigestsSize(count, aes_)) return;
    std::vector<uint8_t> sealed(rec.digestsSize);
    if (!stream_->ReadAt(rec.digestsOffset, sealed.data(), sealed.size()) ||
        deflate::Crc32(0, sealed.data(), sealed.size()) != rec.digestsCrc ||
        !OpenPieceDigests(std::move(sealed), password_, pieceSize_, count, digests_)) {
        digests_.clear();
    }
}

bool EarlierPieces::ReadPiece(size_t index, std::vector<uint8_t>& out, size_t& size,
                              uint64_t& keyStreamAt) {
    if (index >= starts_.size() || sizes_[index] > kMaxChunkInput + kMaxChunkInput / 8) {
        return false;
    }
    size = static_cast<size_t>(sizes_[index]);
    out.resize(size + 2);
    keyStreamAt = starts_[index];
    return stream_->ReadAt(dataStart_ + starts_[index], out.data(), size);
}

}  // namespace kestrine::archive
