#pragma once
// Desktop notifications over the session bus (org.freedesktop.Notifications).
// The call is asynchronous, so a slow or missing notification server never
// holds up the poll tick. Without a session bus (a console, CI) or without a
// server, one line goes to stderr and notifications are skipped quietly.

#include <QObject>
#include <QString>

namespace velmor {

class CDesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit CDesktopNotifier(QObject* pParent = nullptr) : QObject(pParent) {}
    // |urgency| is the protocol's hint: 0 low, 1 normal, 2 critical (a
    // critical notification stays until the user dismisses it). False when
    // the notification could not be sent.
    bool Notify(const QString& summary, const QString& body, int urgency = 1);
    int Sent() const { return m_nSent; }
    // Sends over the named connection (QDBusConnection::connectToBus)
    // instead of the session bus; tests use a bus of their own.
    void UseConnection(const QString& name) { m_strConnection = name; }

private:
    void WarnOnce(const QString& why);
    bool m_bWarned = false;
    int m_nSent = 0;
    QString m_strConnection;
};

}  // namespace velmor
