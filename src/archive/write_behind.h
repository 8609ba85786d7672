#pragma once
// A large entry's bytes, written to the archive (and authenticated, when protected) on a thread of
// its own behind the writer. The writing thread is the one that keeps the workers fed: the copies
// into the file and the authentication code's one pass in order would add to the time of every
// piece, those taken over from an earlier archive as much as those compressed anew.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/zip_crypto.h"

namespace kestrine::archive {

class WriteBehind {
  public:
    // Puts bytes into the file, in order; false when they could not be written.
    using Write = std::function<bool(const uint8_t* data, size_t size)>;

    WriteBehind() = default;
    ~WriteBehind() { Stop(); }
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Begins an entry's bytes; `authKey` keys their authentication code, and none (nullptr) leaves
    // them unauthenticated. False when the key cannot be set up. Without a thread to spare, all of
    // it happens on the caller's thread.
    bool Start(Write write, const uint8_t* authKey, size_t keySize);
    // Takes a copy of the bytes, waiting only while all the room behind the writer is taken. False
    // once a write has failed; nothing after it is written.
    bool Put(const uint8_t* data, size_t size);
    // Waits until every byte handed over is written, and gives the first 10 bytes of the
    // authentication code (into `code`, nullptr when unauthenticated); false when a write failed.
    bool Finish(uint8_t code[crypto::kAesAuthCodeSize]);
    // Waits until what was handed over is written (before the file is cut back, say) and ends the
    // thread; what was not handed over yet is dropped.
    void Stop();

  private:
    static constexpr size_t kSlots = 8;
    static constexpr size_t kSlotBytes = 512 * 1024;
    struct Slot {
        std::vector<uint8_t> bytes;
        size_t size = 0;  // set when it is handed over
    };
    void Follow();
    void Take(const uint8_t* data, size_t size);
    void Hand();  // the slot being filled goes to the thread

    Write write_;
    crypto::HmacSha1 hmac_;
    bool authenticated_ = false;
    std::array<Slot, kSlots> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t filling_ = 0;   // bytes in the slot being filled (the writer's alone)
    uint64_t handed_ = 0;  // slots given to the thread so far
    uint64_t taken_ = 0;   // of which it has written
    bool ending_ = false;  // under the mutex
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

}  // namespace kestrine::archive
