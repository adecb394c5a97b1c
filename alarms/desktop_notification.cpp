// Desktop notifications.
#include "alarms/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace velmora {

QString EscapeNotificationBody(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&') {
            escaped += QStringLiteral("&amp;");
        } else if (c == u'<') {
            escaped += QStringLiteral("&lt;");
        } else if (c == u'>') {
            escaped += QStringLiteral("&gt;");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

bool SendDesktopNotification(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's)
    call << QStringLiteral("Velmora") << quint32(0) << QStringLiteral("velmora") << summary
         << EscapeNotificationBody(body) << QStringList() << QVariantMap() << qint32(-1);
    call.setAutoStartService(true);
    return bus.send(call);
}

} // namespace velmora
