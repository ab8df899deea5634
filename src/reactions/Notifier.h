#pragma once
// Notices through the desktop's notification service
// (org.freedesktop.Notifications on the session bus). Nothing here waits for
// the bus: the connection is made off the UI thread and every call is
// asynchronous. With no session bus or no service a notice is dropped.

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <optional>

namespace fetchora {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject *parent = nullptr);

    // `replacePrevious`: in place of the last notice shown, when the
    // service still has it (the failure a recovery ends).
    void show(const QString &summary, const QString &body, bool replacePrevious = false);
    // A connection or a call is still on its way.
    bool busy() const { return m_connecting || m_calls > 0; }

    // The session bus's address: DBUS_SESSION_BUS_ADDRESS (set but empty:
    // none), else the user bus in XDG_RUNTIME_DIR; empty when there is none.
    // Never a bus that would have to be started first.
    static QString sessionBusAddress();

    // Whether the bus at `address` answers the first words of a connection
    // within `boundMs`: a bus that took the socket and stopped (a frozen
    // daemon) would hold Qt's own synchronous calls, the accessibility
    // bridge's among them, for as long as it stays so. Only unix sockets
    // are asked; a bus that is not there at all fails fast by itself.
    static bool answers(const QString &address, int boundMs);

    // A connection to the bus is on its way or was given up on, and may hang
    // in Qt's own bus thread, which Qt's exit handlers wait for without a
    // bound: the program must then end without them.
    static bool connectionHangs();

signals:
    void idle();

private:
    struct Notice {
        QString summary, body;
        bool replacePrevious;
    };
    void send(const Notice &n);
    void settle();

    std::optional<QDBusConnection> m_bus;  // set once the connection was tried
    bool m_connecting = false;
    int m_calls = 0;
    uint m_lastId = 0;
    QList<Notice> m_waiting;  // while connecting
};

}  // namespace fetchora
