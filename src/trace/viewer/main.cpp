// fetchora-trace: the trace viewer. A window titled "Tracewright" that
// receives the program's trace lines over the local socket of that name and
// keeps them in order, with Clear and Save.
//
//   fetchora-trace [--log FILE] [--lines N]
//
// --log also appends every line to FILE as it arrives, byte for byte with its
// CR LF, so a trace of a run of days survives the viewer window and can be
// searched afterwards. The window keeps the last N lines (--lines, 100000 by
// default) and says how many older ones it has dropped; the log keeps all. A
// log that cannot be written is named in the title and the status line and
// tried again, with every line and every few seconds, until it can.

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

#include "TraceLog.h"
#include "trace/TraceSocket.h"

namespace {

const char *const kName = "Tracewright";

class Viewer : public QWidget {
public:
    explicit Viewer(int keptLines)
    {
        setWindowTitle(QString::fromLatin1(kName));
        resize(760, 480);
        m_log = new QPlainTextEdit(this);
        m_log->setReadOnly(true);
        m_log->setMaximumBlockCount(keptLines);
        m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
        m_log->setFont(QFont(QStringLiteral("monospace")));
        auto *clear = new QPushButton(QStringLiteral("Clear"), this);
        auto *save = new QPushButton(QStringLiteral("Save..."), this);
        m_dropped = new QLabel(this);
        connect(clear, &QPushButton::clicked, this, [this] {
            m_log->clear();
            m_shown = 0;
            showState();
        });
        connect(save, &QPushButton::clicked, this, [this] {
            const QString path =
                QFileDialog::getSaveFileName(this, QStringLiteral("Save trace"), QStringLiteral("trace.txt"));
            if (path.isEmpty())
                return;
            QFile f(path);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(m_log->toPlainText().toUtf8());
        });
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(m_dropped);
        buttons->addStretch();
        buttons->addWidget(clear);
        buttons->addWidget(save);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(m_log);
        layout->addLayout(buttons);
    }

    void openLog(const QString &path)
    {
        m_file = std::make_unique<TraceLog>(path);
        connect(&m_retry, &QTimer::timeout, this, [this] {
            m_file->retry();
            showState();
        });
        m_retry.start(2000);
        showState();
    }

    bool listen()
    {
        // A socket left behind by a viewer that crashed would block the name.
        const QString path = fetchora::traceSocketPath(QString::fromLatin1(kName));
        QLocalSocket probe;
        probe.connectToServer(path);
        if (path.isEmpty() || probe.waitForConnected(200))
            return false;
        QLocalServer::removeServer(path);
        if (!m_server.listen(path))
            return false;
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *client = m_server.nextPendingConnection()) {
                connect(client, &QLocalSocket::readyRead, this, [this, client] { take(client); });
                connect(client, &QLocalSocket::disconnected, this, [this, client] {
                    m_pending.remove(client);
                    client->deleteLater();
                });
            }
        });
        return true;
    }

private:
    // Lines end in CR LF; each one is acknowledged with one byte, which is
    // what the traced program waits for.
    void take(QLocalSocket *client)
    {
        QByteArray &pending = m_pending[client];
        pending += client->readAll();
        qsizetype end;
        while ((end = pending.indexOf("\r\n")) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 2);
            m_log->appendPlainText(QString::fromUtf8(line));
            ++m_shown;
            if (m_file)
                m_file->append(line + "\r\n");
            client->write("+", 1);
        }
        client->flush();
        showState();
    }

    // Lines appended since the last Clear beyond what the window keeps, and
    // a log that is behind.
    void showState()
    {
        const qint64 dropped = m_shown - m_log->maximumBlockCount();
        const QString logProblem = m_file ? m_file->problem() : QString();
        QStringList notes;
        QString status;
        if (dropped > 0) {
            notes << QStringLiteral("%1 older lines dropped from this window").arg(dropped);
            status = notes.last()
                     + (m_file && logProblem.isEmpty() ? QStringLiteral("; %1 keeps them all").arg(m_file->path())
                                                       : QString());
        }
        if (!logProblem.isEmpty()) {
            notes << logProblem;
            status += (status.isEmpty() ? QString() : QStringLiteral("; ")) + logProblem;
        }
        if (m_dropped->text() != status)
            m_dropped->setText(status);
        const QString title =
            QString::fromLatin1(kName) + (notes.isEmpty() ? QString() : QStringLiteral(" - ") + notes.join("; "));
        if (windowTitle() != title)
            setWindowTitle(title);
    }

    QPlainTextEdit *m_log = nullptr;
    QLabel *m_dropped = nullptr;
    qint64 m_shown = 0;
    QLocalServer m_server;
    QHash<QLocalSocket *, QByteArray> m_pending;
    std::unique_ptr<TraceLog> m_file;
    QTimer m_retry;
};

}  // namespace

int main(int argc, char *argv[])
{
    fetchora::provideRuntimeFolder();
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Append every line to <file>."),
                                       QStringLiteral("file"));
    options.addOption(logOption);
    const QCommandLineOption linesOption(QStringLiteral("lines"),
                                         QStringLiteral("Keep the last <n> lines in the window (100000)."),
                                         QStringLiteral("n"), QStringLiteral("100000"));
    options.addOption(linesOption);
    options.process(app);
    const int keptLines = options.value(linesOption).toInt();
    if (keptLines < 1)
        options.showHelp(1);
    Viewer viewer(keptLines);
    if (options.isSet(logOption))
        viewer.openLog(options.value(logOption));
    if (!viewer.listen()) {
        QMessageBox::warning(nullptr, QString::fromLatin1(kName),
                             QStringLiteral("Another trace viewer is already running."));
        return 1;
    }
    viewer.show();
    return app.exec();
}
