#include "core/CommandLine.h"

#include "core/LocalSocket.h"

#include <QRegularExpression>

#include <unistd.h>

namespace fetchora {

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine c;
    const auto setMode = [&c](CommandLine::Mode mode) {
        if (c.mode != CommandLine::Mode::Window && c.mode != mode)
            c.error = QStringLiteral("--headless and --once exclude each other");
        c.mode = mode;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--headless")) {
            setMode(CommandLine::Mode::Headless);
        } else if (a == QLatin1String("--once")) {
            setMode(CommandLine::Mode::Once);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.help = true;
        } else if (a == QLatin1String("--version")) {
            c.version = true;
        } else if (a == QLatin1String("--history")) {
            c.history = true;
        } else if (a == QLatin1String("--quiet")) {
            c.quiet = true;
        } else if (a == QLatin1String("--config") || a.startsWith(QLatin1String("--config="))) {
            const bool joined = a.contains(u'=');
            if (!joined && i + 1 >= arguments.size()) {
                c.error = QStringLiteral("--config needs a folder");
                break;
            }
            c.configFolder = joined ? a.mid(a.indexOf(u'=') + 1) : arguments.at(++i);
            if (c.configFolder.isEmpty())
                c.error = QStringLiteral("--config needs a folder");
        } else if (a.startsWith(QLatin1String("--"))) {
            // A mistyped --headless must not open a window on a server.
            c.error = QStringLiteral("unknown option %1").arg(a);
        } else {
            c.rest << a;
        }
    }
    if (c.history && c.mode != CommandLine::Mode::Window && c.error.isEmpty())
        c.error = QStringLiteral("--history opens a window: not with --headless or --once");
    if (c.quiet && c.mode == CommandLine::Mode::Window && !c.help && !c.version && c.error.isEmpty())
        c.error = QStringLiteral("--quiet goes with --headless or --once");
    return c;
}

namespace {

// A local X display (":N", ":N.S") whose server is gone (a stale DISPLAY in
// an SSH session or a container) would make Qt abort; any other form is
// left to Qt to try.
bool x11Answers(const QByteArray &display)
{
    static const QRegularExpression local(QStringLiteral("^:(\\d+)(\\.\\d+)?$"));
    const QRegularExpressionMatch m = local.match(QString::fromLatin1(display));
    if (!m.hasMatch())
        return !display.isEmpty();
    const QByteArray path = "/tmp/.X11-unix/X" + m.captured(1).toLatin1();
    for (const bool abstract : {false, true}) {  // the socket file, then the abstract name Linux servers also listen on
        if (const int fd = connectLocalSocket(path, abstract); fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    return false;
}

}  // namespace

bool hasDisplay(const QByteArray &platform, const QByteArray &display, const QByteArray &waylandDisplay)
{
    if (platform.isEmpty())
        return x11Answers(display) || !waylandDisplay.isEmpty();
    for (const QByteArray &name : platform.split(';')) {
        // Anything but X11 and Wayland (offscreen, vnc, eglfs …) needs no display named.
        const bool x11 = name == "xcb", wayland = name.startsWith("wayland");
        if ((x11 && x11Answers(display)) || (wayland && !waylandDisplay.isEmpty()) || (!x11 && !wayland))
            return true;
    }
    return false;
}

QString usageText()
{
    return QStringLiteral("Usage: fetchora [-s [-m]] [--config DIR]\n"
                          "       fetchora --headless [--quiet] [--config DIR]\n"
                          "       fetchora --once [--quiet] [--config DIR]\n"
                          "       fetchora --history [--config DIR]\n"
                          "       fetchora --help | --version\n"
                          "\n"
                          "Fetches one file again and again and keeps every copy.\n"
                          "\n"
                          "  -s            switch the download cycle on at once, as if Start had been pressed\n"
                          "  -m            with -s: start in the tray\n"
                          "  --headless    run the download cycle with no window and no display, one line\n"
                          "                per attempt (results on standard output, failures and warnings\n"
                          "                on standard error); SIGTERM, SIGINT and SIGHUP end it\n"
                          "  --once        make one attempt now, with no window, and end\n"
                          "  --history     show the history window alone: every attempt and the stored\n"
                          "                copies compared; it only reads, so a running service may hold\n"
                          "                the folder\n"
                          "  --quiet       with --headless or --once: print only failures and warnings\n"
                          "  --config DIR  use DIR (created if missing) for fcr.ini, history.log, tmp/ and\n"
                          "                the lock, so several profiles can run side by side\n"
                          "  --help        print this and exit\n"
                          "  --version     print the version and exit\n"
                          "\n"
                          "Exit status: 0 done (--once: a copy stored or found unchanged; --headless: ended\n"
                          "by a signal), 1 the attempt failed or another program holds the folder's lock,\n"
                          "2 settings it cannot run with (one line names the key).\n"
                          "See fetchora(1).\n");
}

}  // namespace fetchora
