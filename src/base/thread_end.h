#pragma once
// Ending a thread that its owner started: joined, unless the owner goes on that very thread (a job
// that lets go of what owned its thread). Joining itself would throw and end the process; such a
// thread is left to finish by itself, which it does as soon as its job returns.
#include <thread>

namespace kestrine::base {

// `Thread` is a std::thread or a std::jthread.
template <class Thread>
void EndThread(Thread& thread) {
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
    } else {
        thread.join();
    }
}

}  // namespace kestrine::base
