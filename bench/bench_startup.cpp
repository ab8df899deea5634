// Start-up time of the program against an empty Qt Widgets program.
//
//   bench_startup --fetchora PATH --hello PATH --dir TMPDIR [--runs 5]
//
// The program has no switch that reports its first shown window or quits by
// itself, so the moment is taken from its trace: this benchmark plays the
// trace viewer and stops the clock at the exit line of "Sub Main", which is
// sent right after the main window's Show() has returned (the window is
// loaded, laid out and shown; the event loop has not run yet). Tracing costs
// one synchronous round trip per line, so the figure includes that; the
// number of lines is printed beside it. The peer, hello-qt, prints a line
// right after its QWidget::show() has returned.
//
// Both run under QT_QPA_PLATFORM=offscreen with TMPDIR and XDG_RUNTIME_DIR
// pointed into the benchmark's folder: the trace socket then lives there and
// cannot meet a real viewer, and XDG_CONFIG_HOME keeps the per-user settings
// away from the user's own. Every run of the program starts from a fresh application folder
// holding only the executable and an empty fcr.ini.

#include "bench_common.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>

#include <cstring>

namespace {

struct Measure {
    double toConnect = -1;  // the program's first traced call reached us
    double toShown = -1;    // the marker line arrived
    int lines = 0;
};

QProcessEnvironment childEnvironment(const QString &dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TMPDIR"), dir + QStringLiteral("/tmpdir"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir + QStringLiteral("/runtime"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

bool freshAppFolder(const QString &app, const QString &exe)
{
    QDir(app).removeRecursively();
    if (!QDir().mkpath(app) || !QFile::copy(exe, app + QStringLiteral("/fetchora")))
        return false;
    QFile ini(app + QStringLiteral("/fcr.ini"));
    return ini.open(QIODevice::WriteOnly);
}

Measure runFetchora(QLocalServer &server, const QString &app, const QProcessEnvironment &env)
{
    Measure m;
    QEventLoop loop;
    QElapsedTimer clock;
    QByteArray pending;
    QLocalSocket *peer = nullptr;

    QObject::connect(&server, &QLocalServer::newConnection, &loop, [&] {
        while (QLocalSocket *s = server.nextPendingConnection()) {
            if (peer) {
                s->deleteLater();
                continue;
            }
            peer = s;
            m.toConnect = clock.nsecsElapsed() / 1e9;
            QObject::connect(s, &QLocalSocket::readyRead, &loop, [&, s] {
                pending += s->readAll();
                qsizetype end;
                while ((end = pending.indexOf("\r\n")) >= 0) {
                    const QByteArray line = pending.left(end);
                    pending.remove(0, end + 2);
                    ++m.lines;
                    // The program waits for one byte per line before it goes on.
                    s->write("\x06", 1);
                    if (m.toShown < 0 && line.contains("] <-") && line.contains("modGlobal : Sub Main")) {
                        m.toShown = clock.nsecsElapsed() / 1e9;
                        loop.quit();
                    }
                }
                s->flush();
            });
        }
    });

    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(app);
    proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc.setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(&proc, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    clock.start();
    proc.start(app + QStringLiteral("/fetchora"), {});
    loop.exec();

    QObject::disconnect(&server, nullptr, &loop, nullptr);
    proc.kill();
    proc.waitForFinished(5000);
    if (peer)
        delete peer;
    return m;
}

double runHello(const QString &hello, const QProcessEnvironment &env)
{
    QEventLoop loop;
    QElapsedTimer clock;
    double shown = -1;
    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&proc, &QProcess::readyReadStandardOutput, &loop, [&] {
        if (shown < 0 && proc.canReadLine() && proc.readLine().startsWith("shown")) {
            shown = clock.nsecsElapsed() / 1e9;
            loop.quit();
        }
    });
    QObject::connect(&proc, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    clock.start();
    proc.start(hello, {});
    loop.exec();
    if (!proc.waitForFinished(5000))
        proc.kill();
    return shown;
}

}  // namespace

int main(int argc, char **argv)
{
    QString fetchora, hello, dir;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--fetchora"))
            fetchora = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--hello"))
            hello = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--dir"))
            dir = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::atoi(argv[i + 1]);
    }
    if (fetchora.isEmpty() || hello.isEmpty() || dir.isEmpty() || runs < 1) {
        std::fprintf(stderr, "usage: %s --fetchora PATH --hello PATH --dir DIR [--runs N]\n", argv[0]);
        return 2;
    }
    dir = QDir(dir).absolutePath();
    QDir().mkpath(dir + QStringLiteral("/tmpdir"));
    QDir().mkpath(dir + QStringLiteral("/config"));
    QDir().mkpath(dir + QStringLiteral("/runtime"));
    QFile::setPermissions(dir + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("TMPDIR", QFile::encodeName(dir + QStringLiteral("/tmpdir")));
    QCoreApplication app(argc, argv);
    const QProcessEnvironment env = childEnvironment(dir);

    // The program looks for its viewer in its private runtime folder.
    const QString socket = dir + QStringLiteral("/runtime/Tracewright");
    QLocalServer server;
    QLocalServer::removeServer(socket);
    if (!server.listen(socket)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }

    const QString appDir = dir + QStringLiteral("/app");
    std::vector<double> ours, connect, peer;
    int lines = 0;
    // One unmeasured start of each warms the page cache with Qt's libraries
    // and plugins, so neither side pays for loading them from disk.
    for (int r = -1; r < runs; ++r) {
        if (!freshAppFolder(appDir, fetchora)) {
            std::fprintf(stderr, "cannot prepare %s\n", qPrintable(appDir));
            return 1;
        }
        const Measure m = runFetchora(server, appDir, env);
        const double h = runHello(hello, env);
        if (m.toShown < 0 || h < 0) {
            std::fprintf(stderr, "no marker: fetchora %.3f (%d trace lines), hello-qt %.3f\n", m.toShown, m.lines, h);
            return 1;
        }
        std::fprintf(stderr, "  run %d: fetchora %.1f ms (trace connected at %.1f ms, %d lines), hello-qt %.1f ms\n",
                     r + 1, m.toShown * 1e3, m.toConnect * 1e3, m.lines, h * 1e3);
        if (r < 0)
            continue;
        ours.push_back(m.toShown);
        connect.push_back(m.toConnect);
        peer.push_back(h);
        lines = m.lines;
    }
    QDir(appDir).removeRecursively();

    const double a = bench::median(ours), b = bench::median(peer);
    bench::row("start-up: launch to main window Show() returned (\"Sub Main\" exit trace line, " + std::to_string(lines)
                   + " trace lines), offscreen, median of " + std::to_string(runs),
               bench::fmt("%.0f ms", a * 1e3), "hello-qt " + bench::fmt("%.0f ms", b * 1e3), bench::fmt("%.2fx", a / b),
               "none set (info)");
    std::fprintf(stderr, "  median launch to first traced call: %.1f ms\n", bench::median(connect) * 1e3);
    return 0;
}
