#include "reactions/Hooks.h"

#include "core/Names.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

namespace {

// As the settings reader takes a value's bytes: UTF-8, else one character a byte.
QString fromFileBytes(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// What follows "key=" in the first [Options] section, blanks around it dropped.
std::optional<QString> rawOption(const QString &iniPath, const QString &key)
{
    QFile file(iniPath);
    if (file.size() > (1 << 20) || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString wanted = key.toCaseFolded();
    bool inOptions = false, seenOptions = false;
    for (const QByteArray &rawLine : file.readAll().split('\n')) {
        const QByteArray line = rawLine.trimmed();
        const qsizetype close = line.lastIndexOf(']');
        if (line.startsWith('[') && close > 0) {
            const bool options = fromFileBytes(line.mid(1, close - 1).trimmed()).toCaseFolded() == u"options";
            inOptions = options && !seenOptions;
            seenOptions = seenOptions || options;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inOptions || eq < 0 || line.startsWith(';')
            || fromFileBytes(line.left(eq).trimmed()).toCaseFolded() != wanted)
            continue;
        QByteArray value = line.mid(eq + 1).trimmed();
        if (const qsizetype nul = value.indexOf('\0'); nul >= 0)
            value.truncate(nul);
        return fromFileBytes(value);
    }
    return std::nullopt;
}

}  // namespace

QString hookCommand(const QString &iniPath, const QString &key, const QString &read)
{
    // Only a line that agrees with the reader counts, so the two can never
    // name different hooks.
    const std::optional<QString> raw = rawOption(iniPath, key);
    if (raw && raw->size() == read.size() + 2 && (raw->front() == u'"' || raw->front() == u'\'')
        && raw->back() == raw->front() && QStringView(*raw).mid(1, read.size()) == read)
        return *raw;
    return read;
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

constexpr int kFollowMs = 50;

QString says(Language language, const char *english, const char *german)
{
    return QString::fromUtf8(language == Language::English ? english : german);
}

// Whether a process of the group still runs, that we may end. kill() also
// finds the ones that have ended but were not collected (an orphan whose new
// parent never waits for it, as in some containers); /proc tells those apart.
bool groupRuns(pid_t group)
{
    if (::kill(-group, 0) != 0)
        return false;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return true;
    bool runs = false;
    while (const dirent *e = ::readdir(proc)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        char path[288], buf[512];
        std::snprintf(path, sizeof path, "/proc/%s/stat", e->d_name);
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf - 1);
        ::close(fd);
        if (n <= 0)
            continue;
        buf[n] = '\0';
        // "pid (name) state ppid pgrp …"; the name may hold blanks and parentheses.
        const char *afterName = std::strrchr(buf, ')');
        char state = 0;
        long ppid = 0, pgrp = 0;
        if (afterName && std::sscanf(afterName + 1, " %c %ld %ld", &state, &ppid, &pgrp) == 3 && pgrp == group
            && state != 'Z' && state != 'X') {
            runs = true;
            break;
        }
    }
    ::closedir(proc);
    return runs;
}

}  // namespace

HookRunner::HookRunner(QObject *parent) : QObject(parent), m_timer(new QTimer(this)), m_follow(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        endGroup(m_group, QDeadlineTimer(kGraceMs));
    });
    m_follow->setInterval(kFollowMs);
    connect(m_follow, &QTimer::timeout, this, [this] {
        if (followEnding() && !busy())
            emit idle();
    });
}

HookRunner::~HookRunner()
{
    if (m_process)
        m_process->disconnect(this);
    endGroups(QDeadlineTimer(2 * kGraceMs));
}

void HookRunner::endGroup(pid_t group, QDeadlineTimer killAt)
{
    if (group <= 0)
        return;
    for (Ending &e : m_ending) {
        if (e.group == group) {
            e.killAt = std::min(e.killAt, killAt);
            return;
        }
    }
    if (::kill(-group, SIGTERM) != 0 && errno == ESRCH)
        return;  // nothing of it is left
    m_ending.append({group, killAt});
    m_follow->start();
}

bool HookRunner::followEnding()
{
    for (qsizetype i = m_ending.size() - 1; i >= 0; --i) {
        Ending &e = m_ending[i];
        if (!groupRuns(e.group)) {
            m_ending.removeAt(i);
        } else if (e.killAt.hasExpired()) {
            if (e.killed) {
                // Not even SIGKILL ends it (a process stuck in the kernel): not ours to wait for.
                m_ending.removeAt(i);
                continue;
            }
            ::kill(-e.group, SIGKILL);
            e.killed = true;
            e.killAt = QDeadlineTimer(kGraceMs);
        }
    }
    if (m_ending.isEmpty())
        m_follow->stop();
    return m_ending.isEmpty();
}

void HookRunner::endGroups(QDeadlineTimer deadline)
{
    endGroup(m_group, deadline);
    const QDeadlineTimer killAt(deadline.remainingTime() / 2);
    for (Ending &e : m_ending)
        e.killAt = std::min(e.killAt, killAt);
    // Every wait here ends by the deadline.
    while (!followEnding() && !deadline.hasExpired()) {
        if (m_process && m_process->state() != QProcess::NotRunning)
            m_process->waitForFinished(kFollowMs);
        else
            QThread::msleep(kFollowMs);
    }
    if (m_process && m_process->state() != QProcess::NotRunning)
        m_process->waitForFinished(int(std::max<qint64>(deadline.remainingTime(), 0)));
    m_ending.clear();
    m_follow->stop();
}

void HookRunner::endAll(QDeadlineTimer deadline)
{
    if (!busy())
        return;
    // Reported here, once, whatever it does while it is being ended.
    const bool running = m_process != nullptr;
    if (running)
        m_process->disconnect(this);
    endGroups(deadline);
    if (running)
        done(says(m_language, "was ended as the program ended", "wurde mit dem Programm beendet"));
    else
        emit idle();
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
    // A group of its own (its id is the hook's), so all it starts can be ended with it.
    m_process->setChildProcessModifier([] { ::setsid(); });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(m_process->errorString());
    });
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        // What it left running goes too.
        endGroup(m_group, QDeadlineTimer(kGraceMs));
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
    if (m_process)
        m_group = pid_t(m_process->processId());
}

void HookRunner::done(const QString &problem)
{
    m_timer->stop();
    m_group = 0;
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    QString text;
    if (!problem.isEmpty()) {
        text = says(m_language, "hook %1 (%2): %3", "Hook %1 (%2): %3").arg(m_key, m_shown, problem);
        emit said(text);
    }
    emit ended(m_key, text);
    if (!busy())
        emit idle();
}

}  // namespace fetchora
