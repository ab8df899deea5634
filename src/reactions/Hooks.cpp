#include "reactions/Hooks.h"

#include "core/Names.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace fetchora {

std::optional<QStringList> splitShellWords(const QString &command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    enum { Plain, Single, Double } quote = Plain;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (quote == Single) {
            if (c == u'\'')
                quote = Plain;
            else
                word += c;
        } else if (quote == Double) {
            if (c == u'"')
                quote = Plain;
            else if (c == u'\\' && i + 1 < command.size() && QStringView(u"\"\\$`").contains(command.at(i + 1)))
                word += command.at(++i);
            else
                word += c;
        } else if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord)
                words << std::exchange(word, {});
            inWord = false;
        } else {
            inWord = true;
            if (c == u'\'')
                quote = Single;
            else if (c == u'"')
                quote = Double;
            else if (c == u'\\' && i + 1 < command.size())
                word += command.at(++i);
            else
                word += c;
        }
    }
    if (quote != Plain)
        return std::nullopt;
    if (inWord)
        words << word;
    return words;
}

QList<std::pair<QString, QString>> hookVariables(const HistoryEntry &a)
{
    const bool stored = a.outcome == QLatin1String("stored");
    return {{QStringLiteral("FETCHORA_OUTCOME"), a.outcome},
            {QStringLiteral("FETCHORA_FILE"), stored ? a.detail : QString()},
            {QStringLiteral("FETCHORA_URL"), displayUrl(a.url)},
            {QStringLiteral("FETCHORA_STATUS"), QString::number(a.httpStatus)},
            {QStringLiteral("FETCHORA_BYTES"), QString::number(a.bytes)},
            {QStringLiteral("FETCHORA_SHA256"), a.sha256},
            {QStringLiteral("FETCHORA_ERROR"), stored ? QString() : a.detail}};
}

namespace {

QString says(Language language, const char *english, const char *german)
{
    return QString::fromUtf8(language == Language::English ? english : german);
}

}  // namespace

HookRunner::HookRunner(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        endGroup();
    });
}

HookRunner::~HookRunner()
{
    if (m_process) {
        m_process->disconnect(this);
        endGroup();
        m_process->waitForFinished(1000);
    }
}

void HookRunner::endGroup()
{
    // The hook leads a process group of its own: whatever it started goes too.
    if (m_process && m_process->processId() > 0)
        ::kill(-pid_t(m_process->processId()), SIGKILL);
}

void HookRunner::run(const QString &key, const QString &command, const HistoryEntry &attempt, int timeoutSec,
                     Language language)
{
    const std::optional<QStringList> words = splitShellWords(command);
    // Only the program is named: the arguments may carry a token or a password.
    const QString shown = words && !words->isEmpty() ? QFileInfo(words->first()).fileName() : QString();
    if (m_process) {
        emit said(
            says(language, "hook %1 skipped: %2 (%3) is still running", "Hook %1 übersprungen: %2 (%3) läuft noch")
                .arg(key, m_key, m_shown));
        return;
    }
    m_key = key;
    m_shown = shown;
    m_language = language;
    m_timeoutSec = timeoutSec > 0 ? timeoutSec : kDefaultHookTimeoutSec;
    m_timedOut = false;
    if (!words || words->isEmpty()) {
        done(says(language, "a quote is not closed", "ein Anführungszeichen ist nicht geschlossen"));
        return;
    }
    m_process = new QProcess(this);
    m_process->setProgram(words->first());
    m_process->setArguments(words->mid(1));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : hookVariables(attempt))
        env.insert(name, value);
    m_process->setProcessEnvironment(env);
    // Its output joins the program's (the journal, for a service).
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setChildProcessModifier([] { ::setsid(); });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(m_process->errorString());
    });
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (m_timedOut)
            done(says(m_language, "ran longer than %1 s and was ended", "lief länger als %1 s und wurde beendet")
                     .arg(m_timeoutSec));
        else if (status == QProcess::CrashExit)
            done(says(m_language, "was ended by a signal", "wurde durch ein Signal beendet"));
        else if (code != 0)
            done(says(m_language, "ended with status %1", "endete mit Status %1").arg(code));
        else
            done({});
    });
    m_timer->start(m_timeoutSec * 1000);
    m_process->start();
}

void HookRunner::done(const QString &problem)
{
    m_timer->stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    if (!problem.isEmpty()) {
        const QString text = says(m_language, "hook %1 (%2): %3", "Hook %1 (%2): %3").arg(m_key, m_shown, problem);
        emit said(text);
        emit failed(text);
    }
    emit idle();
}

}  // namespace fetchora
