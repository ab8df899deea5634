#include "reactions/Notifier.h"

#include "core/HandOver.h"
#include "core/LocalSocket.h"

#include <QDBusMessage>
#include <QFile>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fetchora {

namespace {
// A bus that does not answer holds nothing up for longer than these: the
// notice is dropped, and the program ends within its bound after a signal.
constexpr int kCallTimeoutMs = 1500;
constexpr int kConnectTimeoutMs = 1500;

// Connections to the bus still being made. One that hangs (a bus that takes
// the socket and never says hello) is given up on; the end of the process
// waits for it only briefly.
DetachedThreads &busConnects()
{
    static DetachedThreads connects(300);
    return connects;
}

std::atomic<bool> g_connectionHangs{false};
std::atomic<int> g_connecting{0};  // connections still on their way, on any thread
}  // namespace

bool DesktopNotifier::connectionHangs()
{
    return g_connectionHangs || g_connecting > 0;
}

DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent) {}

QString DesktopNotifier::sessionBusAddress()
{
    // Set but empty: no bus, on purpose.
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists())
        return QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus");
    return {};
}

bool DesktopNotifier::answers(const QString &address, int boundMs)
{
    // The first of its transports, as "unix:path=/run/user/1000/bus,guid=…".
    const QString first = address.section(u';', 0, 0);
    if (!first.startsWith(QLatin1String("unix:")))
        return true;
    int fd = -1;
    for (const QString &pair : first.mid(5).split(u',')) {
        const QString key = pair.section(u'=', 0, 0);
        if (fd < 0 && (key == QLatin1String("path") || key == QLatin1String("abstract")))
            fd = connectLocalSocket(QByteArray::fromPercentEncoding(QFile::encodeName(pair.section(u'=', 1))),
                                    key == QLatin1String("abstract"));
    }
    bool answered = true;
    if (fd >= 0) {
        // What every client says first; any reply at all is an answer.
        const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL "
                                 + QByteArray::number(::getuid()).toHex() + "\r\n";
        pollfd p{fd, POLLOUT, 0};
        answered = ::poll(&p, 1, boundMs) == 1;
        // A socket that takes nothing more is closed: that fails fast.
        if (answered && ::send(fd, hello.constData(), size_t(hello.size()), MSG_NOSIGNAL) > 0) {
            p = {fd, POLLIN, 0};
            answered = ::poll(&p, 1, boundMs) == 1;
        }
        ::close(fd);
    }
    return answered;
}

void DesktopNotifier::show(const QString &summary, const QString &body, bool replacePrevious)
{
    const Notice n{summary, body, replacePrevious};
    if (m_bus) {
        send(n);
        return;
    }
    m_waiting << n;
    if (m_connecting)
        return;
    const QString address = sessionBusAddress();
    if (address.isEmpty()) {
        m_bus = QDBusConnection(QString());
        m_waiting.clear();
        return;
    }
    // Saying hello to a bus that does not answer could take for ever: the
    // connection is made off this thread and given up on after a while.
    m_connecting = true;
    auto *watcher = new QFutureWatcher<QDBusConnection>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (!m_connecting)
            return;  // given up on meanwhile
        m_bus = watcher->result();
        m_connecting = false;
        for (const Notice &w : std::exchange(m_waiting, {}))
            send(w);
        settle();
    });
    QTimer::singleShot(kConnectTimeoutMs, this, [this] {
        if (!m_connecting)
            return;
        m_bus = QDBusConnection(QString());
        m_connecting = false;
        m_waiting.clear();
        g_connectionHangs = true;
        settle();
    });
    ++g_connecting;
    watcher->setFuture(runOffUiThreadIn(busConnects(), [address] {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("fetchora-notifications"));
        --g_connecting;
        return bus;
    }));
}

void DesktopNotifier::send(const Notice &n)
{
    if (!m_bus->isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("fetchora")},
                            {QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
    call << QStringLiteral("Fetchora") << uint(n.replacePrevious ? m_lastId : 0) << QStringLiteral("fetchora")
         << n.summary << n.body << QStringList() << hints << int(-1);
    ++m_calls;
    auto *watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isValid())
            m_lastId = reply.value();
        w->deleteLater();
        --m_calls;
        settle();
    });
}

void DesktopNotifier::settle()
{
    if (!busy())
        emit idle();
}

}  // namespace fetchora
