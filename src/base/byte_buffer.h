#pragma once
// A growable byte buffer for bulk data: its bytes are left as they are when it grows (no clearing
// of what is about to be overwritten), it keeps its room when it is reused, and it starts on a page
// of its own, so buffers that different threads fill never share a cache line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace kestrine::base {

class ByteBuffer {
  public:
    static constexpr size_t kAlignment = 4096;

    // Makes room for `size` bytes; the first min(size, old size) keep their value. False when
    // memory runs out (the buffer is then as it was).
    bool Resize(size_t size) {
        if (size > capacity_ && !Grow(size)) return false;
        size_ = size;
        return true;
    }
    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }
    size_t size() const { return size_; }

  private:
    struct Free {
        void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t(kAlignment)); }
    };
    bool Grow(size_t size) {
        const size_t room = (size + kAlignment - 1) / kAlignment * kAlignment;
        std::unique_ptr<uint8_t[], Free> grown(static_cast<uint8_t*>(
            ::operator new[](room, std::align_val_t(kAlignment), std::nothrow)));
        if (!grown) return false;
        if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = room;
        return true;
    }
    std::unique_ptr<uint8_t[], Free> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

}  // namespace kestrine::base
