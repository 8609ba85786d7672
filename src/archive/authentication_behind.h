#pragma once
// The authentication code of a large protected entry, computed on a thread of its own behind the
// writer. The code is one pass in order over every byte written; on the writing thread it would
// add to the time of every piece, those taken over from an earlier archive as much as those
// compressed anew, while the writing thread is the one that keeps the workers fed.
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/zip_crypto.h"

namespace kestrine::archive {

class AuthenticationBehind {
  public:
    AuthenticationBehind() = default;
    ~AuthenticationBehind() { Stop(); }
    AuthenticationBehind(const AuthenticationBehind&) = delete;
    AuthenticationBehind& operator=(const AuthenticationBehind&) = delete;

    // False when the code's key cannot be set up. Without a thread to spare, the code is computed
    // on the caller's thread, as before.
    bool Init(const uint8_t* key, size_t keySize);
    // Takes a copy of the bytes, waiting only while all the room behind the writer is taken.
    void Update(const uint8_t* data, size_t size);
    // Waits for the bytes handed over, then gives the first 10 bytes of the code.
    void Final(uint8_t out[crypto::kAesAuthCodeSize]);

  private:
    static constexpr size_t kSlots = 8;
    static constexpr size_t kSlotBytes = 512 * 1024;
    struct Slot {
        std::vector<uint8_t> bytes;
        size_t size = 0;  // set when it is handed over
    };
    void Follow();
    void Hand();  // the slot being filled goes to the thread
    void Stop();

    crypto::HmacSha1 hmac_;
    std::array<Slot, kSlots> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t filling_ = 0;          // bytes in the slot being filled (the writer's alone)
    uint64_t handed_ = 0;         // slots given to the thread so far
    uint64_t authenticated_ = 0;  // of which it has taken in
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace kestrine::archive
