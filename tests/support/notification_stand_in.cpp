#include "notification_stand_in.h"

#include <mutex>

#include "platform/posix_hooks.h"

namespace kestrine::platform {

namespace {

struct Recorded {
    std::mutex mutex;
    std::vector<NotificationRequest> requests;
};

Recorded& Record() {
    static Recorded record;
    return record;
}

[[maybe_unused]] const bool kInstalled = [] {
    Hooks().showErrorNotification = [](const NotificationRequest& request) {
        Recorded& record = Record();
        const std::lock_guard hold(record.mutex);
        record.requests.push_back(request);
        return true;
    };
    return true;
}();

}  // namespace

std::vector<NotificationRequest> RequestedNotifications() {
    Recorded& record = Record();
    const std::lock_guard hold(record.mutex);
    return record.requests;
}

void ClearNotifications() {
    Recorded& record = Record();
    const std::lock_guard hold(record.mutex);
    record.requests.clear();
}

}  // namespace kestrine::platform
