// fetchora-trace: the trace viewer. A window titled "Tracewright" that
// receives the program's trace lines over the local socket of that name and
// keeps them in order, with Clear and Save.
//
//   fetchora-trace [--log FILE]
//
// --log also appends every line to FILE as it arrives, so a trace of a run
// of days survives the viewer window and can be searched afterwards.

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace {

const char *const kName = "Tracewright";

class Viewer : public QWidget {
public:
    Viewer()
    {
        setWindowTitle(QString::fromLatin1(kName));
        resize(760, 480);
        m_log = new QPlainTextEdit(this);
        m_log->setReadOnly(true);
        m_log->setMaximumBlockCount(100000);
        m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
        m_log->setFont(QFont(QStringLiteral("monospace")));
        auto *clear = new QPushButton(QStringLiteral("Clear"), this);
        auto *save = new QPushButton(QStringLiteral("Save..."), this);
        connect(clear, &QPushButton::clicked, m_log, &QPlainTextEdit::clear);
        connect(save, &QPushButton::clicked, this, [this] {
            const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save trace"),
                                                              QStringLiteral("trace.txt"));
            if (path.isEmpty())
                return;
            QFile f(path);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(m_log->toPlainText().toUtf8());
        });
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(clear);
        buttons->addWidget(save);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(m_log);
        layout->addLayout(buttons);
    }

    bool openLog(const QString &path)
    {
        m_file.setFileName(path);
        return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
    }

    bool listen()
    {
        // A socket left behind by a viewer that crashed would block the name.
        QLocalSocket probe;
        probe.connectToServer(QString::fromLatin1(kName));
        if (probe.waitForConnected(200))
            return false;
        QLocalServer::removeServer(QString::fromLatin1(kName));
        if (!m_server.listen(QString::fromLatin1(kName)))
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
            if (m_file.isOpen()) {
                m_file.write(line + "\n");
                m_file.flush();
            }
            client->write("+", 1);
        }
        client->flush();
    }

    QPlainTextEdit *m_log = nullptr;
    QLocalServer m_server;
    QHash<QLocalSocket *, QByteArray> m_pending;
    QFile m_file;
};

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Append every line to <file>."),
                                       QStringLiteral("file"));
    options.addOption(logOption);
    options.process(app);
    Viewer viewer;
    if (options.isSet(logOption) && !viewer.openLog(options.value(logOption))) {
        QMessageBox::warning(nullptr, QString::fromLatin1(kName),
                             QStringLiteral("Cannot write the log file %1.").arg(options.value(logOption)));
        return 1;
    }
    if (!viewer.listen()) {
        QMessageBox::warning(nullptr, QString::fromLatin1(kName),
                             QStringLiteral("Another trace viewer is already running."));
        return 1;
    }
    viewer.show();
    return app.exec();
}
