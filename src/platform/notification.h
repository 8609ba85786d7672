#pragma once
// A balloon in the notification area of the user's session, for what nobody watched: a scheduled
// backup that failed. Windows and POSIX twins; the POSIX twin shows nothing and says so, unless
// platform/posix_hooks.h takes the request.
#include <string>

namespace kestrine::platform {

struct NotificationRequest {
    std::string title;  // at most 63 characters are shown
    std::string text;   // at most 255 characters are shown
};

// Shows an error balloon with `title` and `text` for a few seconds and returns once it is gone
// again; false when the notification area could not take it (no shell, no session).
bool ShowErrorNotification(const NotificationRequest& request);

}  // namespace kestrine::platform
