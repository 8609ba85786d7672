// The POSIX twin of platform/notification.h: nothing is shown; each request is recorded.
#include <mutex>

#include "platform/notification.h"

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

}  // namespace

bool ShowErrorNotification(const NotificationRequest& request) {
    Recorded& record = Record();
    const std::lock_guard hold(record.mutex);
    record.requests.push_back(request);
    return true;
}

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
