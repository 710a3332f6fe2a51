// The daemon's notification clients: the abstract NotificationClient and its
// TCP socket and message-queue kinds (one header each, gathered here).
#ifndef ZT_PUSH_CLIENT_H
#define ZT_PUSH_CLIENT_H

#include "MQNotificationClient.h"
#include "NotificationClient.h"
#include "SocketNotificationClient.h"

#endif  // ZT_PUSH_CLIENT_H
