// Writing and reading archives through the component: content at every chunk boundary, names,
// passwords, what failed writes and unreadable files leave behind, progress, cancelling, leftovers.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>

#include "archive/aes_instructions.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "archive/blake3.h"
#include "archive/deflate_codec.h"
#include "archive/flush_behind.h"
#include "archive/piece_digests.h"
#include "archive/processor_features.h"
#include "archive/write_behind.h"
#include "archive/zip_crypto.h"
#include "archive/zip_format.h"
#include "archive/zip_reader.h"
#include "archive/zip_workers.h"
#include "platform/file_stream.h"
#ifndef _WIN32
#include "files_held.h"
#endif
#include "platform/text.h"
#include "test_support.h"
#include "zip_test_util.h"

#ifdef _WIN32
#include <windows.h>

#include <thread>
#endif

namespace kestrine::test {
namespace {

using archive::ArchiveReader;
using archive::ArchiveWriter;
using archive::EntryInfo;
using archive::EntryProtection;
using archive::ZipOptions;

class ZipArchiveTest : public ::testing::Test {
  protected:
    std::string Make(const std::string& name, const std::string& bytes) {
        Save(src / name, bytes);
        return src / name;
    }
    TempDir src, out, dest;
};

// Sizes around the chunk boundaries, of text, random and mixed bytes, with and without a password:
// every entry comes back whole, large deflated ones carry the chunk index that lets the reader
// inflate their chunks in parallel, and 7-Zip style readers see one valid stream.
TEST_F(ZipArchiveTest, RoundTripAtEveryChunkBoundary) {
    const size_t c = 16 * 1024;
    std::vector<std::pair<std::string, std::string>> files;
    for (size_t size : {size_t{0}, size_t{1}, size_t{3000}, c - 1, c, c + 1, 2 * c - 1, 2 * c,
                        2 * c + 1, 7 * c + 5}) {
        std::string n = std::to_string(size);
        files.push_back({"text" + n, TextBytes(size, 1)});
        files.push_back({"random" + n, RandomBytes(size, 2)});
        files.push_back({"mixed" + n, TextBytes(size / 2, 3) + RandomBytes(size - size / 2, 4)});
    }
    // Names are bare UTF-8 names (the flag only on those beyond ASCII); a name twice finds the
    // first entry.
    const std::string name = "Grüße – 日本.pst";
    files.push_back({name, "first"});
    std::vector<std::string> paths;
    for (auto& [file, bytes] : files) paths.push_back(Make(file, bytes));
    TempDir other;
    Save(other / name, "second");
    paths.push_back(other / name);
    for (const std::string password : {"", "pa$$ wörd"}) {
        SCOPED_TRACE("password: " + password);
        std::string zipPath = out / "a.ksx";
        ASSERT_TRUE(WriteZip(zipPath, paths, password, c));
        EXPECT_NE(Load(zipPath).find(name), std::string::npos);
        archive::ZipReader index;
        ASSERT_TRUE(index.Open(platform::fileio::OpenForRead(zipPath)));
        EXPECT_NE(index.Entries()[files.size() - 1].flags & archive::format::kFlagUtf8, 0);
        EXPECT_EQ(index.Entries()[0].flags & archive::format::kFlagUtf8, 0);
        ArchiveReader zip;
        ASSERT_TRUE(Passed(zip.OpenArchive(zipPath)));
        zip.SetReadingPassword(password);
        EXPECT_TRUE(zip.CheckPassword());
        EXPECT_TRUE(Passed(zip.TestEntries()));
        auto entries = zip.Entries();
        ASSERT_EQ(entries.size(), files.size() + 1);
        for (size_t i = 0; i < files.size(); ++i) {
            const auto& [file, bytes] = files[i];
            SCOPED_TRACE(file);
            EXPECT_EQ(entries[i].name, file);
            EXPECT_EQ(entries[i].uncompressedSize, bytes.size());
            EXPECT_EQ(entries[i].encrypted, !password.empty());
            EXPECT_EQ(entries[i].aes, !password.empty());
            if (file.starts_with("text") && bytes.size() > 100) {
                EXPECT_EQ(entries[i].method, 8);
            } else if (file.starts_with("random")) {
                // Stored, also when it was compressed chunk by chunk first and written again.
                EXPECT_EQ(entries[i].method, 0);
                EXPECT_EQ(entries[i].compressedSize, bytes.size() + (password.empty() ? 0 : 28));
            }
            size_t chunks =
                entries[i].method == 8 && bytes.size() > c ? (bytes.size() + c - 1) / c : 0;
            EXPECT_EQ(index.Entries()[i].chunks.size(), chunks);
            ASSERT_TRUE(Passed(zip.ExtractTo(*zip.FindEntry(file), dest.str())));
            EXPECT_TRUE(Load(dest / file) == bytes);
        }
        EXPECT_FALSE(zip.FindEntry("grüße – 日本.pst"));  // names are compared exactly
    }
}

// Wrong passwords are told as such by the password check, before any data is decoded, and
// replace nothing; each failure names its kind; read failures of the archive file fail cleanly.
TEST_F(ZipArchiveTest, PasswordsAndFailureKinds) {
    std::string big = Make("data.pst", TextBytes(1000000, 1));
    std::string small = Make("kestrine.dat", "BackupItem=10000000000\r\n");
    ASSERT_TRUE(WriteZip(out / "plain.ksx", {small}));
    // No ZIP64 field (of sizes, an offset, or both) where the numbers fit, as the format asks.
    for (const char fieldSize : {8, 16, 24})
        EXPECT_EQ(Load(out / "plain.ksx").find(std::string("\x01\0", 2) + fieldSize + '\0'),
                  std::string::npos);
    ASSERT_TRUE(WriteZip(out / "locked.ksx", {big, small}, "correct horse", 64 * 1024));
    Save(out / "junk.ksx", "this is no zip file at all, not even close");
    ArchiveWriter writer(EntryProtection::None());
    EXPECT_EQ(writer.CreateArchive("").kind(), Failure::NotReady);
    EXPECT_EQ(writer.AddFile(big).kind(), Failure::NotReady);
    ArchiveReader zip;
    EXPECT_EQ(zip.TestEntries().kind(), Failure::NotReady);
    EXPECT_EQ(zip.CheckPassword().kind(), Failure::NotReady);
    EXPECT_EQ(*zip.ArchiveNeedsPassword(out / "plain.ksx"), archive::ArchiveProtection::Plain);
    EXPECT_EQ(*zip.ArchiveNeedsPassword(out / "locked.ksx"), archive::ArchiveProtection::Protected);
    for (const char* unreadable : {"junk.ksx", "missing.ksx"}) {
        const auto protection = zip.ArchiveNeedsPassword(out / unreadable);
        ASSERT_FALSE(protection) << unreadable;
        EXPECT_EQ(protection.status().kind(), Failure::Damaged) << unreadable;
    }
    EXPECT_EQ(zip.OpenArchive(out / "junk.ksx").kind(), Failure::Damaged);

    auto faults = std::make_shared<StreamFaults>();
    zip.SetStreamFilter(FaultFilter("locked.ksx", faults));
    Save(dest / "data.pst", "precious");
    ASSERT_TRUE(Passed(zip.OpenArchive(out / "locked.ksx")));
    for (const std::string wrong : {"", "correct hors", "correct horse ", "Correct horse"}) {
        zip.SetReadingPassword(wrong);
        faults->bytesRead = 0;
        EXPECT_EQ(zip.CheckPassword().kind(), Failure::WrongPassword) << wrong;
        EXPECT_EQ(zip.TestEntries().kind(), Failure::WrongPassword) << wrong;
        EXPECT_LT(faults->bytesRead, 1000u);  // told by the verifier, before the data is read
        EXPECT_EQ(zip.ExtractTo(*zip.FindEntry("data.pst"), dest.str()).kind(),
                  Failure::WrongPassword);
    }
    EXPECT_EQ(Load(dest / "data.pst"), "precious");
    EXPECT_EQ(FolderNames(dest.str()), std::vector<std::string>{"data.pst"});
    zip.SetReadingPassword("correct horse");
    EXPECT_TRUE(Passed(zip.TestEntries()));
    EXPECT_TRUE(Passed(zip.CheckPassword()));
    EntryInfo e = *zip.FindEntry("data.pst");
    EntryInfo stray = e;  // an entry from no open archive is refused
    stray.index = 7;
    EXPECT_EQ(zip.ExtractTo(stray, dest.str()).kind(), Failure::NotReady);
    ASSERT_TRUE(Passed(zip.ExtractToFile(e, dest / "renamed.pst")));
    EXPECT_TRUE(Load(dest / "renamed.pst") == TextBytes(1000000, 1));
    // The disk refuses one write of an extraction (full for a moment): what the file would replace
    // stays, and nothing half written is left.
    auto disk = std::make_shared<StreamFaults>();
    disk->refuseWriteAt = 300000;
    zip.SetStreamFilter(FaultFilter(".extracting-", disk));
    Save(dest / "renamed.pst", "the user's own file");
    const Status full = zip.ExtractToFile(e, dest / "renamed.pst");
    EXPECT_EQ(full.kind(), Failure::WriteFailed);
    // It says what the system said, not a guess.
    EXPECT_NE(full.message().find(": There is not enough space on the disk."), std::string::npos)
        << full.message();
    EXPECT_EQ(Load(dest / "renamed.pst"), "the user's own file");
    EXPECT_EQ(FolderNames(dest.str()), (std::vector<std::string>{"data.pst", "renamed.pst"}));
    // The temporary file is made but cannot be written at all: it goes again.
    zip.SetStreamFilter([](auto s, const std::string& path) {
        return path.find(".extracting-") == std::string::npos ? std::move(s) : nullptr;
    });
    EXPECT_EQ(zip.ExtractToFile(e, dest / "renamed.pst").kind(), Failure::WriteFailed);
    // Nor does a folder of the file's name go, or a file that another program holds.
    zip.SetStreamFilter(nullptr);
    EXPECT_EQ(zip.ExtractToFile(e, dest.str()).kind(), Failure::WriteFailed);
#ifndef _WIN32
    platform::fileio::Hold(dest / "renamed.pst");
    EXPECT_EQ(zip.ExtractToFile(e, dest / "renamed.pst").kind(), Failure::WriteFailed);
    platform::fileio::LetGo(dest / "renamed.pst");
#endif
    EXPECT_EQ(Load(dest / "renamed.pst"), "the user's own file");
    EXPECT_EQ(FolderNames(dest.str()), (std::vector<std::string>{"data.pst", "renamed.pst"}));
    // The reader itself stops at a receiver that cannot take a piece.
    archive::ZipReader direct;
    ASSERT_TRUE(direct.Open(platform::fileio::OpenForRead(out / "locked.ksx")));
    EXPECT_EQ(
        direct.ReadEntry(e.index, "correct horse", [](const uint8_t*, size_t) { return false; })
            .kind(),
        Failure::WriteFailed);
    zip.SetStreamFilter(FaultFilter("locked.ksx", faults));
    faults->readBudget = 100000;  // the device goes away in the middle of the entry
    const Status cut = zip.TestEntries();
    EXPECT_EQ(cut.kind(), Failure::Damaged);
    EXPECT_NE(cut.message().find("cannot be read"), std::string::npos) << cut.message();
    faults->readBudget = 10;
    EXPECT_FALSE(zip.OpenArchive(out / "locked.ksx"));
    EXPECT_EQ(zip.ExtractTo(e, dest.str()).kind(), Failure::NotReady);

    // A wrong password whose 2-byte verifier matches (forced here by rewriting the stored one)
    // still fails: the whole entry is authenticated.
    ASSERT_TRUE(WriteZip(out / "v.ksx", {small}, "right"));
    std::string raw = Load(out / "v.ksx");
    size_t dataStart = 30 + std::string("kestrine.dat").size() + 11;
    archive::crypto::AesKeys keys;
    ASSERT_TRUE(archive::crypto::DeriveAesKeys(
        "wrong", reinterpret_cast<const uint8_t*>(raw.data()) + dataStart, 3, keys));
    const uint8_t salt[16] = {};
    for (int strength : {0, 4})  // no such key size
        EXPECT_FALSE(archive::crypto::DeriveAesKeys("wrong", salt, strength, keys));
    raw.replace(dataStart + 16, 2, reinterpret_cast<const char*>(keys.verifier), 2);
    Save(out / "v.ksx", raw);
    ASSERT_TRUE(zip.OpenArchive(out / "v.ksx"));
    zip.SetReadingPassword("wrong");
    const Status forged = zip.CheckPassword();
    EXPECT_NE(forged.message().find("authentication"), std::string::npos) << forged.message();

    // Closing wipes the password: an archive opened again needs its password set again; a writer
    // that is to protect its entries without a password writes none (nothing goes in unprotected).
    ASSERT_TRUE(WriteZip(out / "again.ksx", {small}, "again"));
    zip.SetStreamFilter(nullptr);
    ASSERT_TRUE(zip.OpenArchive(out / "again.ksx"));
    zip.SetReadingPassword("again");
    EXPECT_TRUE(zip.CheckPassword());
    zip.CloseArchive();
    ASSERT_TRUE(zip.OpenArchive(out / "again.ksx"));
    EXPECT_EQ(zip.CheckPassword().kind(), Failure::WrongPassword);
    ArchiveWriter unkeyed(EntryProtection::Aes(""));
    ASSERT_TRUE(unkeyed.CreateArchive(out / "new.ksx"));
    EXPECT_EQ(unkeyed.AddFile(small).kind(), Failure::NotReady);
    unkeyed.CloseArchive();
    for (const std::string& name : FolderNames(out.str()))
        EXPECT_EQ(name.find("new.ksx"), std::string::npos) << name;
}

// A job that lets go of the last owner of its pool ends the pool on one of the pool's own threads:
// the pool still ends cleanly, for no thread joins itself, and the job runs to its end.
TEST(WorkerPoolTest, EndsCleanlyOnOneOfItsOwnThreads) {
    // A system that cannot say how many cores it has still gets a worker; many cores, eight.
    EXPECT_EQ(archive::WorkerCountFor(0), 1u);
    EXPECT_EQ(archive::WorkerCountFor(2), 2u);
    EXPECT_EQ(archive::WorkerCountFor(64), 8u);
    for (unsigned threads : {1u, 3u}) {
        auto* pool = new archive::WorkerPool(threads);
        std::promise<void> finished;
        pool->Submit([pool, &finished] {
            delete pool;
            finished.set_value();
        });
        EXPECT_EQ(finished.get_future().wait_for(std::chrono::seconds(60)),
                  std::future_status::ready);
    }
}

// The derivation of the AES keys, made fast with the SHA instructions where the processor has
// them, gives what libgcrypt's PBKDF2 gives, for short and long passwords and every salt size.
TEST(ZipCryptoTest, KeyDerivationMatchesLibgcrypt) {
    archive::crypto::InitLibrary();
    for (const std::string& password :
         {std::string("p"), std::string("bench-password"), std::string(64, 'x'),
          std::string(65, 'y'), std::string(200, 'z')}) {
        const archive::crypto::PasswordKey key(password);
        for (size_t saltSize : {size_t{8}, size_t{16}, size_t{36}, size_t{60}}) {
            std::string salt = RandomBytes(saltSize, static_cast<uint32_t>(saltSize));
            const auto* s = reinterpret_cast<const uint8_t*>(salt.data());
            for (size_t size : {size_t{20}, size_t{34}, size_t{50}, size_t{66}, size_t{101}}) {
                std::vector<uint8_t> ours(size), theirs(size);
                ASSERT_TRUE(key.Pbkdf2(s, saltSize, 1000, ours.data(), size));
                ASSERT_EQ(gcry_kdf_derive(password.data(), password.size(), GCRY_KDF_PBKDF2,
                                          GCRY_MD_SHA1, s, saltSize, 1000, size, theirs.data()),
                          0);
                EXPECT_EQ(ours, theirs) << password.size() << " " << saltSize << " " << size;
            }
        }
    }
    // A MAC keyed again is the new key's, as a fresh one is, and the first key's state is let go
    // (the leak checker sees it otherwise).
    archive::crypto::HmacSha1 again, fresh;
    const uint8_t first[16] = {1}, second[16] = {2}, data[3] = {'a', 'b', 'c'};
    ASSERT_TRUE(again.Init(first, 16) && again.Init(second, 16) && fresh.Init(second, 16));
    uint8_t macs[2][archive::crypto::kAesAuthCodeSize];
    again.Update(data, 3);
    fresh.Update(data, 3);
    again.Final(macs[0]);
    fresh.Final(macs[1]);
    EXPECT_EQ(std::memcmp(macs[0], macs[1], sizeof macs[0]), 0);
}

// What goes behind the writer reaches the file in order, with the code computed in line, whatever
// the sizes it is handed in: within a slot, across slots, round its ring of slots more than once,
// and started again. Once a write fails (the disk is full) nothing after it is written.
TEST(ZipCryptoTest, WhatGoesBehindTheWriterIsWrittenInOrderWithTheCodeInLine) {
    const std::string data = RandomBytes(11 * 512 * 1024 + 77, 5);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    const uint8_t key[32] = {7, 1, 9};
    archive::WriteBehind behind;
    std::string file;
    size_t room = data.size();
    const auto write = [&](const uint8_t* part, size_t size) {
        if (file.size() + size > room) return false;
        file.append(reinterpret_cast<const char*>(part), size);
        return true;
    };
    for (size_t step : {size_t{1} << 20, size_t{333'333}, size_t{512 * 1024}, data.size()}) {
        archive::crypto::HmacSha1 inLine;
        file.clear();
        ASSERT_TRUE(inLine.Init(key, 32) && behind.Start(write, key, 32));
        inLine.Update(bytes, data.size());
        for (size_t at = 0; at < data.size(); at += step) {
            EXPECT_TRUE(behind.Put(bytes + at, std::min(step, data.size() - at)));
        }
        uint8_t codes[2][archive::crypto::kAesAuthCodeSize];
        inLine.Final(codes[0]);
        EXPECT_TRUE(behind.Finish(codes[1]));
        EXPECT_EQ(std::memcmp(codes[0], codes[1], sizeof codes[0]), 0) << step;
        EXPECT_TRUE(file == data) << step;
    }
    room = 3 * 512 * 1024 + 5;
    file.clear();
    ASSERT_TRUE(behind.Start(write, key, 32));
    for (size_t at = 0; at < data.size(); at += 100'000) {
        (void)behind.Put(bytes + at, std::min<size_t>(100'000, data.size() - at));
    }
    uint8_t code[archive::crypto::kAesAuthCodeSize];
    EXPECT_FALSE(behind.Finish(code));
    EXPECT_TRUE(file == data.substr(0, 3 * 512 * 1024));
    EXPECT_FALSE(behind.Put(bytes, 1));
}

// A stored piece (incompressible bytes) proves equal only to exactly its bytes, compared where it
// lies; a piece that only looks stored, with another block type or a final block, is judged as
// the inflater sees it; a compressed piece is inflated.
TEST(DeflateCodecTest, APieceProvesEqualOnlyToTheBytesItInflatesTo) {
    const std::string random = RandomBytes(70'000, 3), text = TextBytes(70'000, 3);
    for (const bool stored : {true, false}) {
        const std::string& data = stored ? random : text;
        const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
        std::vector<uint8_t> piece, scratch;
        ASSERT_TRUE(archive::deflate::CompressPiece(bytes, data.size(), piece));
        ASSERT_EQ(piece[0] == 0, stored) << "random bytes are stored, text is not";
        const size_t size = piece.size();
        piece.resize(size + 2);
        auto proves = [&](const std::string& expected) {
            std::vector<uint8_t> copy = piece;
            return archive::deflate::PieceInflatesTo(
                copy.data(), size, reinterpret_cast<const uint8_t*>(expected.data()),
                expected.size(), scratch);
        };
        std::string changed = data;
        changed[66'000] ^= 0x01;
        EXPECT_TRUE(proves(data));
        EXPECT_FALSE(proves(changed));
        EXPECT_FALSE(proves(data.substr(0, data.size() - 1)));
        EXPECT_FALSE(proves(data + "x"));
        if (!stored) continue;
        piece[3] ^= 0x01;  // the length check
        EXPECT_FALSE(proves(data));
        piece[3] ^= 0x01;
        for (uint8_t head : {0x08, 0x01, 0x02}) {  // padding bits set; a final block; fixed codes
            SCOPED_TRACE(int{head});
            piece[0] = head;
            EXPECT_EQ(proves(data), head == 0x08);
        }
    }
}

// The piece digest is BLAKE3: its published hashes of the pattern 0, 1, ... 250, 0, 1, ... come out
// for one chunk, a partial last chunk, several batches of side-by-side chunks and uneven trees,
// whichever number of chunks goes side by side.
TEST(ZipCryptoTest, PieceDigestsAreBlake3AtEveryWidth) {
    const std::pair<size_t, const char*> published[] = {
        {0, "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262"},
        {1, "2d3adedff11b61f14c886e35afa036736dcd87a74d27b5c1510225d0f592e213"},
        {1024, "42214739f095a406f3fc83deb889744ac00df831c10daa55189b5d121c855af7"},
        {1025, "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444"},
        {7169, "a003fc7a51754a9b3c7fae0367ab3d782dccf28855a03d435f8cfe74605e7817"},
        {16384, "f875d6646de28985646f34ee13be9a576fd515f76b5b0a26bb324735041ddde4"},
        {31744, "62b6960e1a44bcc1eb1a611a8d6235b6b4b78f32e7abc4fb4c6cdcce94895c47"},
        {102400, "bc3e3d41a1146b069abffad3c0d44860cf664390afce4d9661f7902e7943e085"},
    };
    std::vector<uint8_t> input(102400);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i % 251);
    for (size_t lanes = 4; lanes <= archive::crypto::Blake3WidestLanes(); lanes *= 2) {
        for (const auto& [size, hex] : published) {
            uint8_t digest[archive::crypto::kBlake3Size];
            archive::crypto::Blake3(input.data(), size, digest, lanes);
            std::string got;
            for (uint8_t b : digest)
                got += "0123456789abcdef"[b >> 4], got += "0123456789abcdef"[b & 15];
            EXPECT_EQ(got, hex) << size << " bytes, " << lanes << " lanes";
        }
    }
}

// Sealed piece digests open only for the pieces they describe and as they were sealed: under a
// password they are not readable without it, and any byte changed makes them fail.
TEST(ZipCryptoTest, SealedPieceDigestsOpenOnlyAsTheyWereSealed) {
    std::vector<archive::PieceDigest> digests(3);
    for (uint32_t i = 0; i < digests.size(); ++i) {
        const std::string piece = TextBytes(5000, i);
        archive::crypto::Blake3(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(),
                                digests[i].digest);
        digests[i].storedCrc = 0x01020304u * (i + 1);
    }
    digests[1] = {.stored = true, .storedCrc = 7};
    const archive::crypto::PasswordKey key("pw");
    for (const std::string password : {"", "pw"}) {
        SCOPED_TRACE(password);
        const std::vector<uint8_t> sealed =
            archive::SealPieceDigests(digests, 65536, password.empty() ? nullptr : &key);
        ASSERT_EQ(sealed.size(), archive::SealedPieceDigestsSize(3, !password.empty()));
        std::vector<archive::PieceDigest> back;
        ASSERT_TRUE(archive::OpenPieceDigests(sealed, password, 65536, 3, back));
        for (size_t i = 0; i < digests.size(); ++i) {
            EXPECT_EQ(std::memcmp(back[i].digest, digests[i].digest, sizeof back[i].digest), 0);
            EXPECT_EQ(back[i].storedCrc, digests[i].storedCrc);
            EXPECT_EQ(back[i].stored, digests[i].stored);
        }
        EXPECT_FALSE(archive::OpenPieceDigests(sealed, password, 131072, 3, back));
        EXPECT_FALSE(archive::OpenPieceDigests(sealed, password, 65536, 4, back));
        EXPECT_FALSE(
            archive::OpenPieceDigests(sealed, password.empty() ? "pw" : "", 65536, 3, back));
        if (password.empty()) continue;
        EXPECT_FALSE(archive::OpenPieceDigests(sealed, "wrong", 65536, 3, back));
        const std::string bytes(sealed.begin(), sealed.end());
        EXPECT_EQ(bytes.find(std::string(reinterpret_cast<const char*>(digests[0].digest), 8)),
                  std::string::npos);
        for (size_t at = 0; at < sealed.size(); ++at) {
            std::vector<uint8_t> changed = sealed;
            changed[at] ^= 0x10;
            EXPECT_FALSE(archive::OpenPieceDigests(changed, password, 65536, 3, back)) << at;
        }
    }
}

// The AES key stream, made on the processor's AES instructions where it has them, is libgcrypt's
// encryption of WinZip's little-endian counters, for every key size, from any offset, across the
// batches it is made in and in pieces of any size.
#ifdef __linux__
// Where the processor has the AES and SHA instructions they are used; without them only the speed
// would show it.
TEST(ZipCryptoTest, TheProcessorsInstructionsAreFoundWhereTheSystemListsThem) {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string flags;
    while (std::getline(cpuinfo, flags) && !flags.starts_with("flags")) {
    }
    if (!flags.starts_with("flags")) GTEST_SKIP() << "the system lists no processor flags";
    flags += ' ';
    const auto has = [&](const char* flag) {
        return flags.find(' ' + std::string(flag) + ' ') != std::string::npos;
    };
    EXPECT_EQ(archive::crypto::Processor().aes, has("aes") && has("sse2"));
    EXPECT_EQ(archive::crypto::Processor().sha, has("sha_ni") && has("ssse3") && has("sse4_1"));
    EXPECT_EQ(archive::crypto::Processor().vaes256, has("vaes") && has("avx2") && has("aes"));
    EXPECT_EQ(archive::crypto::Processor().avx2, has("avx2"));
    EXPECT_EQ(archive::crypto::Processor().avx512, has("avx512f"));
}
#endif

TEST(ZipCryptoTest, AesKeyStreamMatchesLibgcrypt) {
    archive::crypto::InitLibrary();
    const int algorithms[] = {GCRY_CIPHER_AES128, GCRY_CIPHER_AES192, GCRY_CIPHER_AES256};
    for (size_t keySize : {size_t{16}, size_t{24}, size_t{32}}) {
        const std::string key = RandomBytes(keySize, static_cast<uint32_t>(keySize));
        const auto* k = reinterpret_cast<const uint8_t*>(key.data());
        gcry_cipher_hd_t ecb = nullptr;
        ASSERT_EQ(gcry_cipher_open(&ecb, algorithms[keySize / 8 - 2], GCRY_CIPHER_MODE_ECB, 0), 0);
        ASSERT_EQ(gcry_cipher_setkey(ecb, k, keySize), 0);
        const size_t blocks = 2600;  // more than one batch of the key stream
        std::vector<uint8_t> expected(blocks * 16, 0);
        for (size_t b = 0; b < blocks; ++b) expected[16 * b] = static_cast<uint8_t>(b + 1);
        for (size_t b = 0; b < blocks; ++b)
            expected[16 * b + 1] = static_cast<uint8_t>((b + 1) >> 8);
        ASSERT_EQ(gcry_cipher_encrypt(ecb, expected.data(), expected.size(), nullptr, 0), 0);
        gcry_cipher_close(ecb);
        for (size_t offset : {size_t{0}, size_t{5}, size_t{16}, size_t{16 * 1023 + 9}}) {
            archive::crypto::AesCtr ctr;
            ASSERT_TRUE(ctr.Init(k, keySize));
            ctr.Seek(offset);
            std::vector<uint8_t> stream(expected.size() - offset, 0);
            for (size_t at = 0, step = 1; at < stream.size(); at += step, step = step * 3 + 1)
                ctr.Apply(stream.data() + at, std::min(step, stream.size() - at));
            EXPECT_TRUE(std::equal(stream.begin(), stream.end(), expected.begin() + offset))
                << keySize << " " << offset;
        }
    }
}

// The processor's instructions on registers of each width give libgcrypt's encryption of the
// counters, also where the low word of the counter wraps inside a batch.
TEST(ZipCryptoTest, EachRegisterWidthMakesTheSameKeyStream) {
    using Width = archive::crypto::AesInstructions::Width;
    if (!archive::crypto::Processor().aes) GTEST_SKIP() << "the processor has no AES instructions";
    archive::crypto::InitLibrary();
    for (size_t keySize : {size_t{16}, size_t{32}}) {
        const std::string key = RandomBytes(keySize, static_cast<uint32_t>(keySize) + 1);
        const auto* k = reinterpret_cast<const uint8_t*>(key.data());
        gcry_cipher_hd_t ecb = nullptr;
        ASSERT_EQ(gcry_cipher_open(&ecb, keySize == 16 ? GCRY_CIPHER_AES128 : GCRY_CIPHER_AES256,
                                   GCRY_CIPHER_MODE_ECB, 0),
                  0);
        ASSERT_EQ(gcry_cipher_setkey(ecb, k, keySize), 0);
        for (const uint64_t first : {uint64_t{1}, ~uint64_t{0} - 40}) {
            const size_t blocks = 16 * 7 + 9;  // whole batches of each width and blocks after them
            std::vector<uint8_t> expected(blocks * 16);
            for (size_t b = 0; b < blocks; ++b) {
                const uint64_t low = first + b, high = 3 + (low < first ? 1 : 0);
                for (int i = 0; i < 8; ++i) {
                    expected[16 * b + i] = static_cast<uint8_t>(low >> (8 * i));
                    expected[16 * b + 8 + i] = static_cast<uint8_t>(high >> (8 * i));
                }
            }
            ASSERT_EQ(gcry_cipher_encrypt(ecb, expected.data(), expected.size(), nullptr, 0), 0);
            for (const Width width : {Width::Bits128, Width::Bits256}) {
                archive::crypto::AesInstructions aes;
                ASSERT_TRUE(aes.Init(k, keySize, width));
                std::vector<uint8_t> stream(expected.size(), 0);
                aes.XorCounterStream(first, 3, stream.data(), blocks);
                EXPECT_TRUE(stream == expected) << keySize << " " << first << " " << int(width);
            }
        }
        gcry_cipher_close(ecb);
    }
}

// A staged file swapped between its writing and its reading fails only its own entry, small or
// large, and none of the swapped bytes reach the archive; what is unchanged goes in.
TEST_F(ZipArchiveTest, AStagedFileSwappedAfterItsWritingIsRefused) {
    const std::string exported = TextBytes(30000, 1), large = TextBytes(300000, 2);
    const std::string kept = Make("kept.reg", exported), swapped = Make("swapped.reg", exported),
                      grown = Make("grown.reg", exported), big = Make("big.reg", large);
    Save(src / "swapped.reg", std::string(exported).replace(100, 5, "EVIL!"));
    Save(src / "grown.reg", exported + "EVIL!");
    Save(src / "big.reg", std::string(large).replace(250000, 5, "EVIL!"));
    ArchiveWriter writer(EntryProtection::None(), {.chunkSize = 64 * 1024});
    ASSERT_TRUE(writer.CreateArchive(out / "b.ksx"));
    for (const std::string& path : {swapped, grown, big}) {
        const std::string& staged = path == big ? large : exported;
        EXPECT_EQ(writer.AddFile(path, {}, archive::StagedContentOf(staged)).kind(),
                  Failure::Unreadable)
            << path;
    }
    EXPECT_TRUE(writer.AddFile(kept, {}, archive::StagedContentOf(exported)));
    ASSERT_TRUE(Passed(writer.WriteArchive()));
    ArchiveReader zip;
    ASSERT_TRUE(zip.OpenArchive(out / "b.ksx"));
    ASSERT_EQ(zip.Entries().size(), 1u);
    EXPECT_EQ(zip.Entries()[0].name, "kept.reg");
    EXPECT_TRUE(zip.TestEntries());
}

// A file that cannot be read fails only its own entry; an archive that cannot be written is dead:
// every later call fails, nothing replaces the archive that was there, no temporary file stays.
TEST_F(ZipArchiveTest, WriteFailuresKillTheArchiveAndSourceFailuresOnlyTheirEntry) {
    std::vector<std::string> files = {
        Make("a.txt", TextBytes(30000, 1)), Make("big.pst", TextBytes(600000, 2)),
        Make("b.bin", RandomBytes(20000, 3)), Make("kestrine.dat", "BackupItem=11111111111\r\n")};
    const std::string target = out / "backup.ksx";
    struct Case {
        const char* what;
        int64_t writeBudget;   // bytes the disk takes before it is full (-1: all), below 0 is
                               // counted back from the size of the whole archive
        int64_t sourceBudget;  // bytes of big.pst that can be read (-1: all)
        bool failTruncate;     // the temporary file cannot be cut back
        bool archiveDies;
    };
    for (const std::string password : {"", "pw"}) {
        ASSERT_TRUE(WriteZip(target, files, password, 64 * 1024));
        const auto whole = static_cast<int64_t>(Load(target).size());
        for (const Case& c : {
                 Case{"disk full at once", 0, -1, false, true},
                 Case{"disk full in a small entry", 1000, -1, false, true},
                 Case{"disk full in the large entry", whole / 2, -1, false, true},
                 Case{"disk full in the directory", whole - 40, -1, false, true},
                 Case{"source read error", -1, 200000, false, false},
                 Case{"read error, the entry cannot be taken back", -1, 200000, true, true},
             }) {
            SCOPED_TRACE(std::string(c.what) + ", password " + password);
            Save(target, "older archive");
            auto disk = std::make_shared<StreamFaults>(), source = std::make_shared<StreamFaults>();
            disk->writeBudget = c.writeBudget;
            disk->failTruncate = c.failTruncate;
            source->readBudget = c.sourceBudget;
            ArchiveWriter zip(
                EntryProtection::ForPassword(password),
                {.filter = FaultFilters(disk, "big.pst", source), .chunkSize = 64 * 1024});
            ASSERT_TRUE(zip.CreateArchive(target));
            std::vector<bool> added;
            for (const auto& f : files) added.push_back(zip.AddFile(f).ok());
            EXPECT_FALSE(zip.AddFile(src / "missing.pst"));
            EXPECT_FALSE(zip.AddFile(src.str()));  // a folder
            const Status result = zip.WriteArchive();

            EXPECT_EQ(result.ok(), !c.archiveDies);
            EXPECT_EQ(FolderNames(out.str()), std::vector<std::string>{"backup.ksx"});
            if (c.archiveDies) {
                EXPECT_EQ(result.kind(), Failure::WriteFailed);
                EXPECT_NE(result.message().find(c.failTruncate ? "repaired" : "temporary"),
                          std::string::npos)
                    << result.message();
                // What the system said, not a guess at it.
                EXPECT_EQ(result.message().find("?"), std::string::npos) << result.message();
                if (!c.failTruncate) {
                    EXPECT_NE(result.message().find(": There is not enough space on the disk."),
                              std::string::npos)
                        << result.message();
                }
                EXPECT_EQ(zip.AddFile(files[0]).kind(), Failure::WriteFailed);  // dead at once
                EXPECT_EQ(Load(target), "older archive");
                continue;
            }
            // Only the unreadable files are missing; the archive is whole.
            EXPECT_EQ(added, (std::vector<bool>{true, false, true, true}));
            ArchiveReader reader;
            ASSERT_TRUE(Passed(reader.OpenArchive(target)));
            reader.SetReadingPassword(password);
            EXPECT_TRUE(Passed(reader.TestEntries()));
            std::vector<std::string> names;
            for (const auto& e : reader.Entries()) names.push_back(e.name);
            EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.bin", "kestrine.dat"}));
        }
    }
    ArchiveWriter zip(EntryProtection::None(), {.chunkSize = 64 * 1024});
    ASSERT_TRUE(zip.CreateArchive(target));
    EXPECT_EQ(zip.AddFile(src / "missing.pst").kind(), Failure::Unreadable);
    EXPECT_TRUE(Passed(zip.AddFile(files[0])));  // the archive lives on
#ifndef _WIN32
    const std::string inUse =
        ": The process cannot access the file because it is being used by another process.";
    platform::fileio::Hold(files[0]);
    const Status held = zip.AddFile(files[0]);
    platform::fileio::LetGo(files[0]);
    EXPECT_EQ(held.kind(), Failure::Unreadable);
    EXPECT_NE(held.message().find(inUse), std::string::npos) << held.message();
#else
    // A file that another program holds open for writing is refused, never copied torn; while
    // the component copies a file, no one can open it for writing.
    {
        std::ofstream writer(std::filesystem::u8path(files[0]), std::ios::app);
        ASSERT_TRUE(writer.is_open());
        const Status held = zip.AddFile(files[0]);
        EXPECT_EQ(held.kind(), Failure::Unreadable);
        // The system's own words for the sharing violation (Wine words it otherwise).
        EXPECT_NE(held.message().find(".txt: "), std::string::npos) << held.message();
        EXPECT_EQ(held.message().find("?"), std::string::npos) << held.message();
    }
    bool writable = true;
    TestObserver observer;
    observer.entry = [&](const std::string&, uint64_t, uint64_t) {
        writable = writable && std::ofstream(std::filesystem::u8path(files[1]), std::ios::app);
    };
    EXPECT_TRUE(zip.AddFile(files[1], {}, std::nullopt, observer));
    EXPECT_FALSE(writable);
#endif
}

// Large files are flushed to the disk behind their writer now and then. A disk that takes the
// bytes but cannot write them back fails the archive or the extracted file even when the later
// writes and the final flush would pass; a full disk fails an extraction. Nothing replaces what
// was there and no temporary file stays.
TEST_F(ZipArchiveTest, AFailedFlushBehindTheWriterFailsTheWholeFile) {
    const std::string data = TextBytes(200000, 5) + RandomBytes(300000, 6);
    const std::string big = Make("big.pst", data);
    const std::string target = out / "backup.ksx";
    struct Case {
        const char* what;
        bool extract;
        int failFlushes;      // the first flushes, behind the writer, that fail
        int64_t writeBudget;  // bytes the disk takes (-1: all)
    };
    // The archive that is written whole is the one the extractions read.
    for (const Case& c : {Case{"archive", false, 1, -1}, Case{"archive", false, 0, -1},
                          Case{"extracted", true, 0, -1}, Case{"extracted", true, 1, -1},
                          Case{"extracted, disk full", true, 0, 250000}}) {
        SCOPED_TRACE(std::string(c.what) + ", failed flushes " + std::to_string(c.failFlushes));
        const bool fails = c.failFlushes > 0 || c.writeBudget >= 0;
        Save(dest / "big.pst", "precious");
        auto disk = std::make_shared<StreamFaults>();
        disk->failFlushes = c.failFlushes;
        disk->writeBudget = c.writeBudget;
        // Flushed behind every 128 KiB.
        const ZipOptions options{
            .filter = FaultFilter(c.extract ? ".extracting-" : ".writing-", disk),
            .chunkSize = 4096,
            .flushEvery = 128 * 1024};
        ArchiveReader zip(options);
        ArchiveWriter writer(EntryProtection::None(), options);
        Status result;
        if (c.extract) {
            ASSERT_TRUE(Passed(zip.OpenArchive(target)));
            result = zip.ExtractTo(*zip.FindEntry("big.pst"), dest.str());
            EXPECT_EQ(FolderNames(dest.str()), std::vector<std::string>{"big.pst"});
            EXPECT_TRUE(Load(dest / "big.pst") == (fails ? "precious" : data));
        } else {
            Save(target, "older archive");
            ASSERT_TRUE(writer.CreateArchive(target));
            ASSERT_TRUE(Passed(writer.AddFile(big)));
            result = writer.WriteArchive();
            EXPECT_EQ(FolderNames(out.str()), std::vector<std::string>{"backup.ksx"});
            EXPECT_EQ(Load(target) == "older archive", fails);
        }
        EXPECT_EQ(result.kind(), fails ? Failure::WriteFailed : Failure::None) << result.message();
        // Without faults: flushed behind the writer, then the final flush.
        EXPECT_GE(disk->flushes, fails ? 1 : 2);
    }
    // A flush begins as soon as its share of bytes has gathered.
    auto counted = std::make_shared<StreamFaults>();
    auto stream = FaultFilter("", counted)(platform::fileio::CreateNew(out / "f"), out / "f");
    ASSERT_TRUE(stream);
    archive::FlushBehind behind(*stream, 100);
    behind.Written(99);
    EXPECT_TRUE(behind.Wait());
    EXPECT_EQ(counted->flushes, 0);
    behind.Written(1);
    EXPECT_TRUE(behind.Wait());
    EXPECT_EQ(counted->flushes, 1);
}

TEST_F(ZipArchiveTest, ProgressAndCancel) {
    std::string big = Make("big.pst", TextBytes(3000000, 1));
    std::string small = Make("small.txt", "abc");
    std::string target = out / "e.ksx";
    ArchiveWriter writer(EntryProtection::None(), {.chunkSize = 64 * 1024});
    ArchiveReader zip;
    std::vector<std::string> named;  // FileAdding "+name", FileExtracting "-name"
    std::vector<int> percents;
    std::vector<uint64_t> bytes;
    std::vector<bool> done;
    TestObserver observer;
    observer.adding = [&](const std::string& n) { named.push_back("+" + n); };
    observer.extracting = [&](const std::string& n) { named.push_back("-" + n); };
    observer.percent = [&](int p) { percents.push_back(p); };
    observer.done = [&](const Status& r) { done.push_back(r.ok()); };
    observer.entry = [&](const std::string& n, uint64_t at, uint64_t total) {
        EXPECT_LE(at, total);
        if (n == "big.pst") bytes.push_back(at);
    };
    auto expectClimb = [&] {
        EXPECT_GE(bytes.size(), 3u);
        EXPECT_TRUE(std::is_sorted(bytes.begin(), bytes.end()));
        EXPECT_EQ(bytes.back(), 3000000u);
        bytes.clear();
    };
    ASSERT_TRUE(writer.CreateArchive(target));
    ASSERT_TRUE(writer.AddFile(big, {}, std::nullopt, observer));
    expectClimb();
    // Without the expected total, the file's own size is the whole.
    EXPECT_LT(percents.front(), 10);
    EXPECT_EQ(percents.back(), 99);
    ASSERT_TRUE(writer.AddFile(small, {}, std::nullopt, observer));
    ASSERT_TRUE(writer.WriteArchive(observer));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_FALSE(writer.WriteArchive(observer));  // a write that fails reports its result too
    EXPECT_EQ(done, (std::vector<bool>{true, false}));
    ASSERT_TRUE(zip.OpenArchive(target));
    ASSERT_TRUE(zip.TestEntries(observer));
    expectClimb();
    ASSERT_TRUE(zip.ExtractTo(*zip.FindEntry("big.pst"), dest.str(), observer));
    expectClimb();
    EXPECT_EQ(named, (std::vector<std::string>{"+big.pst", "+small.txt", "-big.pst"}));

    // Cancelled while the large file streams: a test or an extraction stops and replaces
    // nothing, a write is abandoned and the older archive stays.
    int asked = 0;
    observer.cancel = [&] { return ++asked > 5; };
    Save(dest / "big.pst", "older");
    for (int step = 0; step < 3; ++step) {
        asked = 0;
        const Status stopped =
            step == 0   ? zip.TestEntries(observer)
            : step == 1 ? zip.ExtractTo(*zip.FindEntry("big.pst"), dest.str(), observer)
            : writer.CreateArchive(target) ? writer.AddFile(big, {}, std::nullopt, observer)
                                           : Status::Ok();
        EXPECT_EQ(stopped.kind(), Failure::Cancelled) << step;
        EXPECT_LT(asked, 10) << step;
    }
    EXPECT_EQ(writer.AddFile(small).kind(), Failure::Cancelled);  // the cancelled write is dead
    EXPECT_EQ(writer.WriteArchive().kind(), Failure::Cancelled);
    // So is a protected one, whose bytes go into the file from a thread behind the writer.
    ArchiveWriter secret(EntryProtection::ForPassword("pw"), {.chunkSize = 64 * 1024});
    observer.cancel = [&] { return ++asked > 40; };
    asked = 0;
    ASSERT_TRUE(secret.CreateArchive(out / "s.ksx"));
    EXPECT_EQ(
        secret.AddFile(Make("random.pst", RandomBytes(5000000, 2)), {}, std::nullopt, observer)
            .kind(),
        Failure::Cancelled);
    EXPECT_EQ(Load(dest / "big.pst"), "older");
    EXPECT_EQ(FolderNames(dest.str()), std::vector<std::string>{"big.pst"});
    EXPECT_EQ(FolderNames(out.str()), std::vector<std::string>{"e.ksx"});
    ASSERT_TRUE(zip.OpenArchive(target));
    EXPECT_TRUE(zip.TestEntries());
}

TEST_F(ZipArchiveTest, LeftoversOfAnInterruptedRunAreRemovedByExactName) {
    const std::vector<std::string> leftovers = {"~backup.ksx.writing-123-4567.tmp",
                                                "~backup.ksx.extracting-9-1.tmp"};
    // clang-format off
    const std::vector<std::string> kept = {
        "backup.ksx", "~backup.ksx.writing-123-4567.tmp.txt", "~backup.ksx.writing-12a-4.tmp",
        "~backup.ksx.writing-a1-2.tmp", "~other.ksx.writing-1-2.tmp", "~backup.ksx.writing-.tmp",
        "~backup.ksx.writing-1-.tmp", "backup.ksx.writing-1-2.tmp",
        "~backup.ksx.writing-1-2-3.tmp"};
    // clang-format on
    for (const auto& name : leftovers) Save(out / name, "x");
    for (const auto& name : kept) Save(out / name, "x");
    archive::RemoveLeftoverTemporaryFiles(out / "backup.ksx");
    std::vector<std::string> sorted = kept;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(FolderNames(out.str()), sorted);
    // The writer's own temporary file has that form.
    ArchiveWriter zip(EntryProtection::None());
    ASSERT_TRUE(zip.CreateArchive(out / "backup.ksx"));
    for (const auto& name : FolderNames(out.str())) {
        EXPECT_TRUE(std::find(kept.begin(), kept.end(), name) != kept.end() ||
                    (name.starts_with("~backup.ksx.writing-") && name.ends_with(".tmp")))
            << name;
    }
    EXPECT_EQ(FolderNames(out.str()).size(), kept.size() + 1);
}

// A path without a folder names a file of the current folder: the archive is written there
// through a temporary file beside it, an ended run's leftover there is removed, and an entry
// extracted to a bare name lands there too, with nothing else left behind.
TEST_F(ZipArchiveTest, BareNamesAreFilesOfTheCurrentFolder) {
    const std::string bytes = TextBytes(50000, 7);
    Save(out / "mail.pst", bytes);
    Save(out / "~bare.ksx.writing-12-34.tmp", "an ended run's");
    struct CurrentFolder {
        std::filesystem::path before = std::filesystem::current_path();
        ~CurrentFolder() { std::filesystem::current_path(before); }
    } back;
    std::filesystem::current_path(std::filesystem::u8path(out.str()));

    ArchiveWriter writer(EntryProtection::None());
    ASSERT_TRUE(writer.CreateArchive("bare.ksx"));
    ASSERT_TRUE(writer.AddFile("mail.pst"));
    ASSERT_TRUE(writer.WriteArchive());
    archive::RemoveLeftoverTemporaryFiles("bare.ksx");
    ArchiveReader reader;
    ASSERT_TRUE(reader.OpenArchive("bare.ksx"));
    const auto entry = reader.FindEntry("mail.pst");
    ASSERT_TRUE(entry);
    ASSERT_TRUE(reader.ExtractToFile(*entry, "copy.pst"));
    reader.CloseArchive();
    EXPECT_EQ(Load(out / "copy.pst"), bytes);
    EXPECT_EQ(FolderNames(out.str()),
              (std::vector<std::string>{"bare.ksx", "copy.pst", "mail.pst"}));
}

// Archives made by other tools and by earlier writers (checked in as the fuzzer's seeds), read
// on every system: those written before the chunk index, and those written with zlib's deflate
// before libdeflate, chunked with their index (a large file of 576 numbered 4 KiB blocks, read
// chunk by chunk through the index).
TEST(ZipOtherToolsTest, ReadsArchivesOfOtherToolsAndEarlierVersions) {
    struct Case {
        const char* file;
        const char* password;
        bool aes;
    };
    std::map<std::string, std::string> expected = {
        {"a.txt", "hello hello hello hello hello hello\n"},
        {"-", "hello hello hello hello hello hello\n"},
        {"legacy.pst", TextBytes(70000, 21) + RandomBytes(3000, 22) + TextBytes(20000, 23)},
        {"note.txt", ""}};
    for (int i = 0; i < 20; ++i) expected["note.txt"] += "A small file of the old archive.\r\n";
    std::string& mailbox = expected["old-mailbox.pst"];
    for (int i = 0; i < 576; ++i) {
        char head[80];
        std::snprintf(head, sizeof head,
                      "block %06d of a backup written before the faster deflate\r\n", i);
        std::string block = head;
        while (block.size() < 4096) block += "kestrine keeps every message safe; ";
        mailbox += block.substr(0, 4096);
    }
    for (const Case& c :
         {Case{"zipcrypto.zip", "pw", false}, Case{"aes128.zip", "pw", true},
          Case{"zip64.zip", "", false}, Case{"descriptor.zip", "", false},
          Case{"bsdtar.zip", "", false}, Case{"stored.zip", "", false},
          Case{"ours_v1_chunked_plain.zip", "", false},
          Case{"ours_v1_chunked_aes.zip", "legacy pw", true},
          Case{"ours_zlib_plain.zip", "", false}, Case{"ours_zlib_aes.zip", "old pw", true}}) {
        SCOPED_TRACE(c.file);
        std::string path = SourcePath(std::string("fuzz/corpus/zip_reader/") + c.file).string();
        ArchiveReader zip;
        ASSERT_TRUE(Passed(zip.OpenArchive(path)));
        EXPECT_EQ(*zip.ArchiveNeedsPassword(path), *c.password
                                                       ? archive::ArchiveProtection::Protected
                                                       : archive::ArchiveProtection::Plain);
        zip.SetReadingPassword(c.password);
        EXPECT_TRUE(zip.CheckPassword());
        EXPECT_TRUE(Passed(zip.TestEntries()));
        auto entries = zip.Entries();
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries[0].aes, c.aes);
        TempDir out;
        for (const auto& e : entries) {
            ASSERT_TRUE(Passed(zip.ExtractToFile(e, out / "entry")));
            if (expected.count(e.name)) {
                EXPECT_TRUE(Load(out / "entry") == expected[e.name]) << e.name;
            }
        }
        if (entries[0].name == "old-mailbox.pst") {
            archive::ZipReader reader;
            ASSERT_TRUE(reader.Open(platform::fileio::OpenForRead(path)));
            EXPECT_EQ(reader.Entries().at(0).chunks.size(), 3u);
        }
    }
    // Where the central directory says both sizes are in the ZIP64 field, as other tools write
    // them for a file over 4 GiB, both are read from there.
    using namespace archive::format;
    const std::string name = "a.txt", data = expected["a.txt"];
    std::string z;
    Put32(z, 0x04034b50), Put16(z, 45), Put16(z, 0), Put16(z, 0), Put32(z, 0), Put32(z, Crc(data));
    Put32(z, static_cast<uint32_t>(data.size())), Put32(z, static_cast<uint32_t>(data.size()));
    Put16(z, static_cast<uint16_t>(name.size())), Put16(z, 0), z += name + data;
    const uint32_t central = static_cast<uint32_t>(z.size());
    Put32(z, 0x02014b50), Put16(z, 45), Put16(z, 45), Put16(z, 0), Put16(z, 0), Put32(z, 0);
    Put32(z, Crc(data)), Put32(z, 0xffffffff), Put32(z, 0xffffffff);
    Put16(z, static_cast<uint16_t>(name.size())), Put16(z, 20), Put16(z, 0), Put16(z, 0);
    Put16(z, 0), Put32(z, 0), Put32(z, 0), z += name;
    Put16(z, 1), Put16(z, 16), Put64(z, data.size()), Put64(z, data.size());
    const uint32_t centralSize = static_cast<uint32_t>(z.size()) - central;
    Put32(z, 0x06054b50), Put16(z, 0), Put16(z, 0), Put16(z, 1), Put16(z, 1);
    Put32(z, centralSize), Put32(z, central), Put16(z, 0);
    TempDir dir;
    Save(dir / "sized.zip", z);
    ArchiveReader zip;
    ASSERT_TRUE(Passed(zip.OpenArchive(dir / "sized.zip")));
    EXPECT_EQ(zip.Entries().at(0).uncompressedSize, data.size());
    EXPECT_EQ(zip.Entries().at(0).compressedSize, data.size());
    EXPECT_TRUE(Passed(zip.TestEntries()));
}

// Earlier versions stored names in the OEM code page without the UTF-8 flag and took the password
// of the traditional encryption in the ANSI code page; other tools take it as UTF-8.
TEST(ZipOtherToolsTest, EarlierNamesAndPasswords) {
    TempDir dir;
    Save(dir / "oem.zip", BuildZip({{"\x81"
                                     "ber.txt",
                                     "data"}}));
    ArchiveReader zip;
    ASSERT_TRUE(zip.OpenArchive(dir / "oem.zip"));
    EXPECT_EQ(zip.Entries()[0].name, platform::OemToUtf8("\x81") + "ber.txt");

    const std::string password = "Pässwörd";
    const std::string data = "what the earlier version protected";
    for (const std::string& bytes : {platform::Utf8ToAnsi(password), password}) {
        SCOPED_TRACE(bytes);
        const std::string empty = ZipCryptoSeal(bytes, "", 0);
        Save(dir / "zc.zip", BuildZip({{"empty.txt", empty, 0, 1, 0, -1, 0},
                                       {"data.txt", ZipCryptoSeal(bytes, data, Crc(data)), 0, 1,
                                        Crc(data), -1, static_cast<int64_t>(data.size())}}));
        ASSERT_TRUE(zip.OpenArchive(dir / "zc.zip"));
        EXPECT_EQ(*zip.ArchiveNeedsPassword(dir / "zc.zip"), archive::ArchiveProtection::Protected);
        EXPECT_TRUE(zip.Entries()[1].encrypted && !zip.Entries()[1].aes);
        for (const std::string wrong : {"", "pässwörd", "Pässwörd "}) {
            zip.SetReadingPassword(wrong);
            EXPECT_EQ(zip.CheckPassword().kind(), Failure::WrongPassword) << wrong;
        }
        zip.SetReadingPassword(password);
        EXPECT_TRUE(Passed(zip.CheckPassword()));
        ASSERT_TRUE(Passed(zip.ExtractTo(zip.Entries()[1], dir.str())));
        EXPECT_EQ(Load(dir / "data.txt"), data);
        // A wrong password that passes an entry's check byte (one in 256 does) is refused, and
        // named a wrong password rather than damage: the empty entry's and the checked one's.
        auto passingCheckByte = [](const std::string& sealed, char expected) {
            for (int i = 0;; ++i) {
                std::string candidate = "wrong" + std::to_string(i);
                archive::crypto::ZipCryptoDecoder decoder(candidate);
                std::string head = sealed.substr(0, 12);
                decoder.Decrypt(reinterpret_cast<uint8_t*>(head.data()), head.size());
                if (head[11] == expected) return candidate;
            }
        };
        for (const std::string& wrong :
             {passingCheckByte(empty, 0), passingCheckByte(ZipCryptoSeal(bytes, data, Crc(data)),
                                                           static_cast<char>(Crc(data) >> 24))}) {
            zip.SetReadingPassword(wrong);
            EXPECT_EQ(zip.CheckPassword().kind(), Failure::WrongPassword) << wrong;
        }
        // With the right password, an archive that cannot be read is never told as a wrong one,
        // then or once it can be read again.
        auto faults = std::make_shared<StreamFaults>();
        zip.SetStreamFilter(FaultFilter("zc.zip", faults));
        ASSERT_TRUE(zip.OpenArchive(dir / "zc.zip"));
        zip.SetReadingPassword(password);
        for (int64_t budget = 0; budget < 160; ++budget) {
            faults->readBudget = budget;
            EXPECT_NE(zip.ExtractTo(zip.Entries()[1], dir.str()).kind(), Failure::WrongPassword);
        }
        faults->readBudget = -1;
        EXPECT_TRUE(Passed(zip.ExtractTo(zip.Entries()[1], dir.str())));
        zip.SetStreamFilter(nullptr);
    }
}

#ifndef _WIN32
// A large file that does not shrink is read a second time to be stored: one that changed between
// the two readings fails only its own entry, a temporary file that cannot be cut back for the
// second writing kills the archive; neither replaces the older archive.
TEST_F(ZipArchiveTest, ALargeFileWrittenAgainStoredMustNotChangeMeanwhile) {
    const std::string random = RandomBytes(5 * 4096 + 7, 5), kept = Make("kept.txt", "kept");
    const std::string noisy = Make("noisy.pst", random), target = out / "n.ksx";
    for (const std::string what : {"changes", "is removed", "cannot be cut back"}) {
        SCOPED_TRACE("the file " + what);
        const bool failTruncate = what == "cannot be cut back";
        Save(noisy, random);
        Save(target, "older archive");
        auto source = std::make_shared<StreamFaults>(), disk = std::make_shared<StreamFaults>();
        disk->failTruncate = failTruncate;
        source->beforeRead = [&] {  // the first reading is done: the file changes once
            if (source->bytesRead < random.size() || failTruncate) return;
            if (what == "changes")
                std::fstream(std::filesystem::u8path(noisy), std::ios::in | std::ios::out) << "NEW";
            else
                std::filesystem::remove(std::filesystem::u8path(noisy));
            source->beforeRead = nullptr;
        };
        ArchiveWriter zip(EntryProtection::None(),
                          {.filter = FaultFilters(disk, "noisy", source), .chunkSize = 4096});
        ASSERT_TRUE(zip.CreateArchive(target));
        const Status added = zip.AddFile(noisy);
        EXPECT_EQ(added.kind(), failTruncate ? Failure::WriteFailed : Failure::Unreadable);
        EXPECT_NE(added.message().find(what == "changes"      ? "changed while it was being added"
                                       : what == "is removed" ? "again"
                                                              : ""),
                  std::string::npos)
            << added.message();
        EXPECT_EQ(zip.AddFile(kept).ok(), !failTruncate);
        EXPECT_EQ(zip.WriteArchive().ok(), !failTruncate);
        if (failTruncate) {
            EXPECT_EQ(Load(target), "older archive");
            continue;
        }
        ArchiveReader reader;
        ASSERT_TRUE(reader.OpenArchive(target));
        ASSERT_EQ(reader.Entries().size(), 1u);
        EXPECT_EQ(reader.Entries()[0].name, "kept.txt");
        EXPECT_TRUE(Passed(reader.TestEntries()));
    }
    EXPECT_EQ(FolderNames(out.str()), std::vector<std::string>{"n.ksx"});
}

// The finished archive cannot be moved in and the older one is no longer there (a replacement on
// a FAT drive that failed midway): the finished archive is the only backup and is kept, not
// removed with the other temporary files.
TEST_F(ZipArchiveTest, AFinishedArchiveThatCannotBeMovedInIsKeptWhenTheOldOneIsGone) {
    const std::string target = out / "gone.ksx";
    ArchiveWriter zip(EntryProtection::None());
    ASSERT_TRUE(zip.CreateArchive(target));
    ASSERT_TRUE(zip.AddFile(Make("mail.pst", RandomBytes(5000, 3))));
    platform::fileio::Hold(target);  // the move to it is refused
    const Status written = zip.WriteArchive();
    platform::fileio::LetGo(target);
    EXPECT_EQ(written.kind(), Failure::WriteFailed);
    const std::vector<std::string> left = FolderNames(out.str());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(written.message().find(left[0]), std::string::npos) << written.message();
    ArchiveReader reader;
    ASSERT_TRUE(reader.OpenArchive(out / left[0]));
    EXPECT_TRUE(reader.TestEntries());
}
#endif

#ifdef _WIN32
// A scanner or indexer opens the finished archive for a moment, just as it is to be moved into
// place: the move waits for it rather than throwing the whole backup away.
TEST_F(ZipArchiveTest, AFinishedArchiveHeldForAMomentIsMovedOnceItIsFree) {
    const std::string target = out / "held.ksx";
    Save(target, "last week's backup");
    ArchiveWriter zip(EntryProtection::None());
    ASSERT_TRUE(zip.CreateArchive(target));
    ASSERT_TRUE(zip.AddFile(Make("mail.pst", RandomBytes(5000, 3))));
    std::thread scanner;
    TestObserver observer;
    observer.check = [&](const std::string& finished) {
        HANDLE held = CreateFileW(platform::Widen(finished).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
        scanner = std::thread([held] {
            Sleep(1000);
            CloseHandle(held);
        });
        return true;
    };
    const Status written = zip.WriteArchive(observer);
    scanner.join();
    EXPECT_TRUE(Passed(written));
    ArchiveReader reader;
    ASSERT_TRUE(reader.OpenArchive(target));
    EXPECT_TRUE(reader.TestEntries());
    EXPECT_EQ(reader.Entries().size(), 1u);
}
#endif

}  // namespace
}  // namespace kestrine::test
