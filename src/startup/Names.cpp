#include "startup/Names.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

namespace fetchora {

namespace {

// Room kept for the date and time stamp and the working names around a
// copy's name: "_" date "_" time, and "." … ".fetchora-new".
constexpr int kReservedBytes = 75;
constexpr int kMaxExtBytes = 32;

// The longest start of `text` that is at most `bytes` long in UTF-8.
QString cutToBytes(const QString &text, int bytes)
{
    qsizetype n = 0;
    int used = 0;
    while (n < text.size()) {
        const qsizetype step = text.at(n).isHighSurrogate() && n + 1 < text.size() ? 2 : 1;
        const int size = int(text.mid(n, step).toUtf8().size());
        if (used + size > bytes)
            break;
        used += size;
        n += step;
    }
    return text.left(n);
}

int utf8Bytes(const QString &text)
{
    return int(text.toUtf8().size());
}

}  // namespace

UrlFileName fileNameFromUrl(const QString &url)
{
    const qsizetype cut = std::max(url.lastIndexOf(QLatin1Char('/')), url.lastIndexOf(QLatin1Char('\\')));
    UrlFileName n;
    n.fileName = url.mid(cut + 1);
    if (n.fileName.isEmpty())
        n.fileName = QStringLiteral("index.html");
    const qsizetype dot = n.fileName.lastIndexOf(QLatin1Char('.'));
    n.ext = dot >= 0 ? n.fileName.mid(dot + 1) : QString();
    n.baseName = dot >= 0 ? n.fileName.left(dot) : n.fileName;
    const int budget = kMaxNameBytes - kReservedBytes;
    if (utf8Bytes(n.fileName) > budget) {
        if (utf8Bytes(n.ext) > kMaxExtBytes)
            n.ext = cutToBytes(n.ext, kMaxExtBytes);
        const int dotBytes = dot >= 0 ? 1 : 0;
        n.baseName = cutToBytes(n.baseName, budget - dotBytes - utf8Bytes(n.ext));
        n.fileName = dot >= 0 ? n.baseName + u'.' + n.ext : n.baseName;
    }
    return n;
}

QString sideName(const QString &prefix, const QString &name, const QString &suffix)
{
    const int room = kMaxNameBytes - utf8Bytes(prefix) - utf8Bytes(suffix);
    return prefix + cutToBytes(name, std::max(room, 0)) + suffix;
}

QString workingName(const QString &name, const QString &tag)
{
    return sideName(QStringLiteral("."), name,
                    QLatin1Char('.') + QString::number(QCoreApplication::applicationPid())
                        + QStringLiteral(".fetchora-") + tag);
}

qint64 workingNameOwner(const QString &fileName)
{
    static const QRegularExpression working(QStringLiteral("^\\..*\\.(\\d+)\\.fetchora-[a-z0-9]+$"));
    const QRegularExpressionMatch m = working.match(fileName);
    return m.hasMatch() ? m.captured(1).toLongLong() : 0;
}

QString displayUrl(const QString &url)
{
    static const QRegularExpression userInfo(QStringLiteral("^((?:[A-Za-z][A-Za-z0-9+.-]*://)?)([^/?#@]*)@"));
    const QRegularExpressionMatch m = userInfo.match(url);
    if (!m.hasMatch())
        return url;
    return m.captured(1) + m.captured(2).section(QLatin1Char(':'), 0, 0) + QStringLiteral(":***@")
           + url.mid(m.capturedEnd());
}

}  // namespace fetchora
