#pragma once
// Pushes a large file's written bytes to the disk on a thread of its own while the writing goes on.
// A file is made whole (flushed) before it replaces anything; flushed only at the end, all of it
// waits for the disk at once while the cores stand idle, and a disk behind a large cache (a virtual
// machine's) takes that long however early the system began to write. Flushed now and then behind
// the writer, the final flush finds little left. The final flush still decides: this only moves
// work earlier.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <system_error>
#include <thread>

#include "platform/file_stream.h"

namespace kestrine::archive {

// The chunks of a large file, below which no chunk size goes.
inline constexpr size_t kSmallestChunk = 4096;
constexpr size_t ChunkSizeOf(size_t asked) {
    return asked < kSmallestChunk ? kSmallestChunk : asked;
}

class FlushBehind {
  public:
    // Flushes once every `every` bytes written.
    FlushBehind(platform::fileio::FileStream& stream, uint64_t every)
        : stream_(stream), every_(every) {}
    ~FlushBehind() { (void)Wait(); }
    FlushBehind(const FlushBehind&) = delete;
    FlushBehind& operator=(const FlushBehind&) = delete;

    // After `bytes` more were written (by one thread at a time): once enough has gathered since
    // the last flush began, the next one starts, unless that one is still under way.
    void Written(uint64_t bytes) {
        gathered_ += bytes;
        if (gathered_ < every_ || !done_.load()) return;
        if (thread_.joinable()) thread_.join();
        if (!ok_.load()) return;
        gathered_ = 0;
        done_ = false;
        try {
            thread_ = std::thread([this] {
                if (!stream_.Flush()) ok_ = false;
                done_ = true;
            });
        } catch (const std::system_error&) {
            done_ = true;  // no thread to spare: the final flush does it all
        }
    }
    // Waits for a flush under way; false when one of them failed.
    bool Wait() {
        if (thread_.joinable()) thread_.join();
        return ok_.load();
    }

  private:
    platform::fileio::FileStream& stream_;
    const uint64_t every_;
    std::thread thread_;
    uint64_t gathered_ = 0;
    std::atomic<bool> done_{true};
    std::atomic<bool> ok_{true};
};

}  // namespace kestrine::archive
