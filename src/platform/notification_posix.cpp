// The POSIX twin of platform/notification.h: no notification area here, so nothing is shown
// unless platform/posix_hooks.h takes the request.
#include "platform/notification.h"
#include "platform/posix_hooks.h"

namespace kestrine::platform {

bool ShowErrorNotification(const NotificationRequest& request) {
    const auto& show = Hooks().showErrorNotification;
    return show && show(request);
}

}  // namespace kestrine::platform
