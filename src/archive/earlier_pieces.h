#pragma once
// The compressed pieces of an earlier archive of ours, offered to a writer that writes the same
// files again: a piece is taken only once it is proven to hold the file's bytes at the same place,
// by the digest the earlier archive kept of it (and the CRC-32 of the piece as it was written), or
// where the archive kept none by inflating it and finding every byte equal. So an earlier archive
// that was damaged, changed or written from other data can make a write slower, never wrong.
//
// An earlier archive that cannot be used (missing, damaged, another password, no chunk index)
// simply offers nothing, and says why. Its entry's piece size is the writer's for that file: the
// pieces of archives written with another piece size serve all the same.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/piece_digests.h"
#include "archive/zip_crypto.h"
#include "archive/zip_reader.h"
#include "archive/zip_types.h"
#include "base/status.h"
#include "platform/file_stream.h"

namespace kestrine::archive {

class EarlierPieces {
  public:
    // Opens the archive at `path`; NotReady with the reason when it cannot serve.
    Status Open(const std::string& path, const std::string& password, const StreamFilter& filter);
    // Makes the pieces of entry `name` ready; NotReady with the reason when that entry has none to
    // offer.
    Status UseEntry(const std::string& name);
    // The uncompressed size of each full piece of the entry in use.
    size_t PieceSize() const { return pieceSize_; }
    // The stored bytes of piece `index` of the entry (still encrypted when the entry is), into
    // out[0..size) with two bytes of room after them, and where they start in the entry's key
    // stream; false when there is no such full piece. Reads only: the decryption is left to
    // whoever proves the piece, so it can run beside the writing.
    bool ReadPiece(size_t index, std::vector<uint8_t>& out, size_t& size, uint64_t& keyStreamAt);
    // The digest the archive kept of piece `index` of the entry, or nothing; valid until the next
    // UseEntry.
    const PieceDigest* Digest(size_t index) const {
        return index < digests_.size() ? &digests_[index] : nullptr;
    }
    // The entry's AES keys, or nothing when it is not protected; valid until the next UseEntry.
    const crypto::AesKeys* Keys() const { return aes_ ? &keys_ : nullptr; }
    void Close();

  private:
    void ReadDigests(const ZipEntryRecord& rec);

    std::string password_;
    std::unique_ptr<platform::fileio::FileStream> stream_;
    ZipReader reader_;
    // The entry in use: where each of its full pieces starts and how long it is.
    std::vector<uint64_t> starts_;
    std::vector<uint64_t> sizes_;
    std::vector<PieceDigest> digests_;
    size_t pieceSize_ = 0;
    bool aes_ = false;
    crypto::AesKeys keys_;
    uint64_t dataStart_ = 0;  // where the compressed stream starts (after the AES head)
};

}  // namespace kestrine::archive
