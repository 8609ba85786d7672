#pragma once
// What a test says a missing system part answers (the native build's stand-ins): set from the
// test's thread, read from whichever thread asks, so it is copied out under a lock.
#include <mutex>
#include <utility>

namespace kestrine::platform {

template <typename Answer>
class StandInAnswer {
  public:
    void Set(Answer answer) {
        const std::lock_guard<std::mutex> hold(lock_);
        answer_ = std::move(answer);
    }
    Answer Get() const {
        const std::lock_guard<std::mutex> hold(lock_);
        return answer_;
    }

  private:
    mutable std::mutex lock_;
    Answer answer_;
};

}  // namespace kestrine::platform
