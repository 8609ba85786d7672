#pragma once
// The native tests' notification area: it takes every balloon asked for and records it.
#include <vector>

#include "platform/notification.h"

namespace kestrine::platform {

// Every request since the last ClearNotifications, oldest first.
std::vector<NotificationRequest> RequestedNotifications();
void ClearNotifications();

}  // namespace kestrine::platform
