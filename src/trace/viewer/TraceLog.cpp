#include "TraceLog.h"

TraceLog::TraceLog(const QString &path, qint64 maxWaiting) : m_path(path), m_file(path), m_maxWaiting(maxWaiting)
{
    retry();
}

void TraceLog::append(const QByteArray &line)
{
    if (m_waiting.size() + line.size() > m_maxWaiting)
        ++m_lost;
    else
        m_waiting += line;
    retry();
}

bool TraceLog::retry()
{
    if (!m_file.isOpen() && !m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    while (!m_waiting.isEmpty()) {
        const qint64 written = m_file.write(m_waiting);
        if (written <= 0) {
            m_error = m_file.errorString();
            // Opened afresh next time: the file may have been removed or its disk replaced meanwhile.
            m_file.close();
            return false;
        }
        m_waiting.remove(0, written);
    }
    m_error.clear();
    return true;
}

QString TraceLog::problem() const
{
    QString text;
    if (!m_error.isEmpty())
        text = QStringLiteral("cannot write the log %1 (%2), trying again").arg(m_path, m_error);
    if (m_lost > 0)
        text += (text.isEmpty() ? QString() : QStringLiteral("; "))
                + QStringLiteral("%1 lines missing from the log %2").arg(m_lost).arg(m_path);
    return text;
}
