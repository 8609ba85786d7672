#include "archive/authentication_behind.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace kestrine::archive {

bool AuthenticationBehind::Init(const uint8_t* key, size_t keySize) {
    Stop();
    handed_ = authenticated_ = 0;
    filling_ = 0;
    ending_ = false;
    if (!hmac_.Init(key, keySize)) return false;
    try {
        for (Slot& slot : slots_) slot.bytes.resize(kSlotBytes);
        thread_ = std::thread([this] { Follow(); });
    } catch (const std::exception&) {  // no memory or no thread to spare
        for (Slot& slot : slots_) slot.bytes = {};
    }
    return true;
}

void AuthenticationBehind::Update(const uint8_t* data, size_t size) {
    if (!thread_.joinable()) {
        hmac_.Update(data, size);
        return;
    }
    while (size > 0) {
        Slot& slot = slots_[handed_ % kSlots];
        if (filling_ == 0) {
            // The slot is free once the thread has taken in what it held a round ago.
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return handed_ - authenticated_ < kSlots; });
        }
        const size_t part = std::min(size, kSlotBytes - filling_);
        std::memcpy(slot.bytes.data() + filling_, data, part);
        filling_ += part;
        data += part;
        size -= part;
        if (filling_ == kSlotBytes) Hand();
    }
}

void AuthenticationBehind::Hand() {
    {
        std::lock_guard lock(mutex_);
        slots_[handed_ % kSlots].size = filling_;
        ++handed_;
    }
    filling_ = 0;
    changed_.notify_all();
}

void AuthenticationBehind::Follow() {
    for (;;) {
        Slot* slot = nullptr;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return authenticated_ < handed_ || ending_; });
            if (authenticated_ == handed_) return;  // ending, and all taken in
            slot = &slots_[authenticated_ % kSlots];
        }
        hmac_.Update(slot->bytes.data(), slot->size);
        {
            std::lock_guard lock(mutex_);
            ++authenticated_;
        }
        changed_.notify_all();
    }
}

void AuthenticationBehind::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void AuthenticationBehind::Final(uint8_t out[crypto::kAesAuthCodeSize]) {
    if (thread_.joinable() && filling_ > 0) Hand();
    Stop();
    hmac_.Final(out);
}

}  // namespace kestrine::archive
