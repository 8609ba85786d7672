#include "archive/write_behind.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace kestrine::archive {

bool WriteBehind::Start(Write write, const uint8_t* authKey, size_t keySize) {
    Stop();
    write_ = std::move(write);
    handed_ = taken_ = 0;
    filling_ = 0;
    ending_ = false;
    failed_ = false;
    authenticated_ = authKey != nullptr;
    if (authenticated_ && !hmac_.Init(authKey, keySize)) return false;
    try {
        for (Slot& slot : slots_) slot.bytes.resize(kSlotBytes);
        thread_ = std::thread([this] { Follow(); });
    } catch (const std::exception&) {  // no memory or no thread to spare
        for (Slot& slot : slots_) slot.bytes = {};
    }
    return true;
}

// On the thread behind (or in line without one): the code first, then the file.
void WriteBehind::Take(const uint8_t* data, size_t size) {
    if (authenticated_) hmac_.Update(data, size);
    if (!failed_ && !write_(data, size)) failed_ = true;
}

bool WriteBehind::Put(const uint8_t* data, size_t size) {
    if (!thread_.joinable()) {
        Take(data, size);
        return !failed_;
    }
    while (size > 0) {
        Slot& slot = slots_[handed_ % kSlots];
        if (filling_ == 0) {
            // The slot is free once the thread has written what it held a round ago.
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return handed_ - taken_ < kSlots; });
        }
        const size_t part = std::min(size, kSlotBytes - filling_);
        std::memcpy(slot.bytes.data() + filling_, data, part);
        filling_ += part;
        data += part;
        size -= part;
        if (filling_ == kSlotBytes) Hand();
    }
    return !failed_;
}

void WriteBehind::Hand() {
    {
        std::lock_guard lock(mutex_);
        slots_[handed_ % kSlots].size = filling_;
        ++handed_;
    }
    filling_ = 0;
    changed_.notify_all();
}

void WriteBehind::Follow() {
    for (;;) {
        Slot* slot = nullptr;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return taken_ < handed_ || ending_; });
            if (taken_ == handed_) return;  // ending, and all written
            slot = &slots_[taken_ % kSlots];
        }
        Take(slot->bytes.data(), slot->size);
        {
            std::lock_guard lock(mutex_);
            ++taken_;
        }
        changed_.notify_all();
    }
}

void WriteBehind::Stop() {
    filling_ = 0;
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool WriteBehind::Finish(uint8_t code[crypto::kAesAuthCodeSize]) {
    if (thread_.joinable() && filling_ > 0) Hand();
    Stop();
    if (authenticated_ && code) hmac_.Final(code);
    return !failed_;
}

}  // namespace kestrine::archive
