#include "trace/Tracewright.h"

#include "core/Trace.h"
#include "trace/TraceSocket.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLocale>
#include <algorithm>
#include <memory>

namespace fetchora {

namespace {

// Module state: one set per process, as the error scheme wants it.
struct TraceState {
    std::unique_ptr<QLocalSocket> viewer;  // null and !toSink: tracing is off
    std::function<void(const QString &)> sink;
    bool toSink = false;
    bool bTraceInit = false;
    long lTraceSeq = 0;
    long lTraceDepth = 0;
    QString sTraceLine;
    QChar sDecimalSep = QLatin1Char('.');
    QElapsedTimer lTraceStart;
    QString viewerName = QStringLiteral("Tracewright");
    bool decimalOverride = false;
    QChar decimalOverrideSep;
    qint64 unanswered = 0;  // lines the viewer has not acknowledged yet
    qint64 dropped = 0;     // lines not sent since the viewer fell behind
};

TraceState &state()
{
    static TraceState s;
    return s;
}

QString exePath()
{
    return traceProgramPath();
}

QString exeName()
{
    return QFileInfo(exePath()).completeBaseName();
}

bool tracing()
{
    return state().viewer || state().toSink;
}

// A line of its own between the procedure lines, counted in none of them.
QString noteLine(const QString &text, const QString &where = {})
{
    return QLatin1Char('[') + exeName() + QStringLiteral("] NOTE \"") + text + u'"'
           + (where.isEmpty() ? QString() : QStringLiteral(" at ") + where) + QStringLiteral("\r\n");
}

// Takes the acknowledgements (one byte a line) that have come in, waiting
// for the rest until `deadline`; an expired one still takes what is there.
// False when the viewer has gone.
bool takeAnswers(QLocalSocket &viewer, QDeadlineTimer deadline)
{
    TraceState &s = state();
    for (bool last = false;;) {
        s.unanswered -= viewer.read(s.unanswered).size();
        if (s.unanswered == 0 || last || viewer.state() != QLocalSocket::ConnectedState)
            break;
        last = deadline.hasExpired();
        const int left = int(std::max<qint64>(deadline.remainingTime(), 0));
        if (viewer.bytesToWrite() > 0)
            viewer.waitForBytesWritten(left);
        else
            viewer.waitForReadyRead(left);
    }
    return viewer.state() == QLocalSocket::ConnectedState;
}

// A viewer that keeps up answers a line within a few milliseconds.
constexpr int kLineWaitMs = 100;

// Sends one line and waits until the viewer has taken it, for kLineWaitMs at
// most. A viewer that has not answered by then is behind: the lines that
// follow are dropped, without a wait, until it has answered everything sent,
// and the first line sent after that is preceded by the number dropped. A
// viewer that has gone switches tracing off; the traced program goes on.
void send(const QString &line)
{
    TraceState &s = state();
    if (s.toSink) {
        if (s.sink)
            s.sink(line);
        return;
    }
    if (!s.viewer)
        return;
    QLocalSocket &viewer = *s.viewer;
    bool alive = takeAnswers(viewer, QDeadlineTimer(0));
    if (alive && s.unanswered > 0) {
        ++s.dropped;
        return;
    }
    if (alive) {
        QByteArray bytes;
        if (s.dropped > 0) {
            bytes =
                noteLine(QStringLiteral("%1 lines dropped while the viewer did not answer").arg(s.dropped)).toUtf8();
            ++s.unanswered;
            s.dropped = 0;
        }
        bytes += line.toUtf8();
        ++s.unanswered;
        viewer.write(bytes);
        alive = takeAnswers(viewer, QDeadlineTimer(kLineWaitMs));
    }
    if (!alive)
        s.viewer.reset();
}

QString elapsedField()
{
    TraceState &s = state();
    const double seconds = double(s.lTraceStart.isValid() ? s.lTraceStart.elapsed() : 0) / 1000.0;
    // Formatted as the user's locale would ("00012,345"), then the separator
    // becomes a point so every viewer reads the same field.
    QString field = QString::asprintf("%09.3f", seconds);
    field.replace(QLatin1Char('.'), s.sDecimalSep);
    const qsizetype at = field.indexOf(s.sDecimalSep);
    if (at >= 0)
        field[at] = QLatin1Char('.');
    return field;
}

void traceLine(const QString &module, const QString &procedure, const QString &extra, bool enter)
{
    TraceState &s = state();
    if (!s.bTraceInit)
        TraceInit();
    if (!tracing())
        return;
    ++s.lTraceSeq;
    if (enter)
        ++s.lTraceDepth;
    const long tabs = s.lTraceDepth - 1 > 0 ? s.lTraceDepth - 1 : 0;
    s.sTraceLine = QLatin1Char('[') + exeName() + QStringLiteral("] [")
                   + QStringLiteral("%1").arg(s.lTraceSeq, 5, 10, QLatin1Char('0')) + QStringLiteral("] [")
                   + elapsedField() + (enter ? QStringLiteral("] ->") : QStringLiteral("] <-"))
                   + QString(tabs, QLatin1Char('\t')) + module + QStringLiteral(" : ") + procedure
                   + QStringLiteral(" : ") + extra + QStringLiteral("\r\n");
    send(s.sTraceLine);
    if (!enter) {
        --s.lTraceDepth;
        if (s.lTraceDepth < 0)
            s.lTraceDepth = 0;
    }
}

}  // namespace

void TraceInit()
{
    TraceState &s = state();
    s.bTraceInit = true;
    try {
        if (s.sink) {
            s.toSink = true;
        } else {
            // Only in the user's own runtime folder: a socket of that name
            // anywhere others can write may belong to anybody.
            const QString path = traceSocketPath(s.viewerName);
            auto socket = std::make_unique<QLocalSocket>();
            socket->connectToServer(path);
            if (path.isEmpty() || !socket->waitForConnected(200))
                return;  // no viewer: tracing stays off for the whole run
            s.viewer = std::move(socket);
        }
        s.sDecimalSep = s.decimalOverride ? s.decimalOverrideSep : QLocale::system().decimalPoint().at(0);
        const QDateTime now = QDateTime::currentDateTime();
        s.sTraceLine = exeName() + QStringLiteral(" START TRACEWRIGHT 6.60 LITE ")
                       + now.toString(QStringLiteral("MM-dd-yyyy")) + QLatin1Char(',')
                       + now.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("\r\n");
        s.lTraceStart.start();
        send(s.sTraceLine);
    } catch (...) {
        s.viewer.reset();
        s.toSink = false;
    }
}

namespace {

class TracewrightLines final : public TraceLines {
public:
    void enter(const QString &module, const QString &procedure, const QString &extra) override
    {
        traceLine(module, procedure, extra, true);
    }
    void exit(const QString &module, const QString &procedure, const QString &extra) override
    {
        traceLine(module, procedure, extra, false);
    }
    void error(const QString &module, const QString &procedure, long number, const QString &description) override
    {
        TraceState &s = state();
        if (!s.bTraceInit)
            TraceInit();
        if (tracing())
            send(QLatin1Char('[') + exeName() + QStringLiteral("] ERROR ") + QString::number(number)
                 + QStringLiteral(" \"") + description + QStringLiteral("\" at ") + module + QStringLiteral(" : ")
                 + procedure + QStringLiteral(" : 0\r\n"));
    }
    void note(const QString &module, const QString &procedure, const QString &text) override
    {
        if (!state().bTraceInit)
            TraceInit();
        if (tracing())
            send(noteLine(text, module + QStringLiteral(" : ") + procedure));
    }
};

}  // namespace

void installTracewright()
{
    static TracewrightLines lines;
    setTraceLines(&lines);
}

namespace tracetest {

void reset()
{
    TraceState &s = state();
    s.viewer.reset();
    s.toSink = false;
    s.bTraceInit = false;
    s.lTraceSeq = 0;
    s.lTraceDepth = 0;
    s.unanswered = 0;
    s.dropped = 0;
    s.sTraceLine.clear();
    s.lTraceStart.invalidate();
}

void setViewerName(const QString &socketName)
{
    state().viewerName = socketName;
}

void setDecimalSeparator(QChar sep)
{
    state().decimalOverride = !sep.isNull();
    state().decimalOverrideSep = sep;
}

void setLineSink(std::function<void(const QString &line)> sink)
{
    state().sink = std::move(sink);
}

}  // namespace tracetest

}  // namespace fetchora
