#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <algorithm>
#include <cstdio>

namespace velmor {

bool CDesktopNotifier::Notify(const QString& summary, const QString& body, int urgency)
{
    QDBusConnection bus = m_strConnection.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(m_strConnection);
    if (!bus.isConnected()) {
        WarnOnce(QStringLiteral("no session bus"));
        return false;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The urgency hint is a byte on the wire; servers ignore it as an int.
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(std::clamp(urgency, 0, 2))));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    message << QStringLiteral("Velmor") << 0u << QStringLiteral("velmor") << summary << body << QStringList() << hints
            << -1;
    auto* pWatcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
    connect(pWatcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* pCall) {
        const QDBusPendingReply<uint> reply = *pCall;
        if (reply.isError()) WarnOnce(reply.error().message());
        pCall->deleteLater();
    });
    ++m_nSent;
    return true;
}

void CDesktopNotifier::WarnOnce(const QString& why)
{
    if (m_bWarned) return;
    m_bWarned = true;
    std::fprintf(stderr, "velmor: desktop notifications are off (%s); events still go to the Events window and the log\n",
                 why.toLocal8Bit().constData());
}

}  // namespace velmor
