// Desktop notifications over the session bus, sent without waiting for an answer.
#pragma once

#include <QString>

namespace velmora {

// Sends a notification to org.freedesktop.Notifications on the session bus,
// fire and forget: the window never waits for the notification server, and
// a desktop without one only loses the notification. The body is escaped
// first, since servers may read it as markup. False when it could not even
// be sent (no session bus).
bool SendDesktopNotification(const QString& summary, const QString& body);

// "<", ">" and "&" as entities, so that a reading or a name shows as typed.
QString EscapeNotificationBody(const QString& text);

} // namespace velmora
