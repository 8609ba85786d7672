#pragma once
// Win32 handles that close themselves when they go out of scope. Internal to the platform layer.
#include <windows.h>

#include <utility>

namespace kestrine::platform {

// `Traits` names the raw type, the value a failed open returns and the function that closes it.
template <class Traits>
class ScopedHandle {
  public:
    using Raw = typename Traits::Raw;
    ScopedHandle() = default;
    explicit ScopedHandle(Raw raw) : raw_(raw) {}
    ~ScopedHandle() { Close(); }
    ScopedHandle(ScopedHandle&& other) noexcept : raw_(std::exchange(other.raw_, Traits::kNone)) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            raw_ = std::exchange(other.raw_, Traits::kNone);
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    Raw get() const { return raw_; }
    explicit operator bool() const { return raw_ != Traits::kNone; }
    // Closes the handle now; false when the system reported an error on closing (a file's last
    // buffered write can fail there).
    bool Close() {
        if (raw_ == Traits::kNone) return true;
        return Traits::Close(std::exchange(raw_, Traits::kNone));
    }

  private:
    Raw raw_ = Traits::kNone;
};

// Files and snapshots: a failed open gives INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Raw = HANDLE;
    static inline const Raw kNone = INVALID_HANDLE_VALUE;
    static bool Close(Raw h) { return CloseHandle(h) != 0; }
};
// Processes and threads: a failed open gives NULL.
struct KernelHandleTraits {
    using Raw = HANDLE;
    static inline const Raw kNone = nullptr;
    static bool Close(Raw h) { return CloseHandle(h) != 0; }
};
// Folder listings.
struct FindHandleTraits {
    using Raw = HANDLE;
    static inline const Raw kNone = INVALID_HANDLE_VALUE;
    static bool Close(Raw h) { return FindClose(h) != 0; }
};

using FileHandle = ScopedHandle<FileHandleTraits>;
using KernelHandle = ScopedHandle<KernelHandleTraits>;
using FindHandle = ScopedHandle<FindHandleTraits>;

}  // namespace kestrine::platform
