#include "core/Names.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

namespace fetchora {

namespace {

constexpr int kMaxExtBytes = 32;

int utf8Bytes(const QString &text)
{
    return int(text.toUtf8().size());
}

// Where the parts of a URL lie in its text. The authority is the host and
// port, after a user part ending in "@"; the path, query and fragment
// follow it.
struct UrlLayout {
    qsizetype authorityBegin = 0;  // after "scheme://"; 0 without a scheme
    qsizetype userEnd = -1;        // the "@" that ends the user part; -1: none
    qsizetype authorityEnd = 0;    // where the path, query or fragment begins
    bool certain = true;           // the user part is where the parse says
};

bool endsAuthority(QChar c)
{
    return c == u'/' || c == u'?' || c == u'#' || c == u'\\';
}

qsizetype authorityEndFrom(const QString &url, qsizetype from)
{
    qsizetype i = from;
    while (i < url.size() && !endsAuthority(url.at(i)))
        ++i;
    return i;
}

// "host", "host:port" or "[v6 address]:port"; the port digits only.
bool isHostAndPort(QStringView text, bool *hasPort)
{
    qsizetype hostEnd = 0;
    if (text.startsWith(u'[')) {
        hostEnd = text.indexOf(u']');
        if (hostEnd < 0)
            return false;
        ++hostEnd;
    } else {
        const auto hostChar = [](QChar c) {
            return c.unicode() > 127 || c.isLetterOrNumber() || QStringView(u"-._~!$&'()*+,;=%").contains(c);
        };
        while (hostEnd < text.size() && hostChar(text.at(hostEnd)))
            ++hostEnd;
    }
    if (hostEnd == 0)
        return false;
    *hasPort = hostEnd < text.size();
    if (!*hasPort)
        return true;
    if (text.at(hostEnd) != u':')
        return false;
    for (QChar c : text.mid(hostEnd + 1))
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

UrlLayout layoutOf(const QString &url)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    UrlLayout l;
    const QRegularExpressionMatch m = scheme.match(url);
    l.authorityBegin = m.hasMatch() ? m.capturedEnd() : 0;
    l.authorityEnd = authorityEndFrom(url, l.authorityBegin);
    const qsizetype at = QStringView(url).left(l.authorityEnd).lastIndexOf(u'@');
    l.userEnd = at >= l.authorityBegin ? at : -1;
    const qsizetype hostBegin = l.userEnd >= 0 ? l.userEnd + 1 : l.authorityBegin;
    bool hasPort = false;
    l.certain = isHostAndPort(QStringView(url).mid(hostBegin, l.authorityEnd - hostBegin), &hasPort);
    // "http://me:12/ab@host/" parses as host "me", port 12; but it may as
    // well be the password "12/ab" typed without its "/" escaped.
    if (l.certain && l.userEnd < 0 && hasPort && url.indexOf(u'@', l.authorityEnd) >= 0)
        l.certain = false;
    if (!l.certain) {
        const qsizetype last = url.lastIndexOf(u'@');
        if (last >= l.authorityBegin) {
            l.userEnd = last;
            l.authorityEnd = authorityEndFrom(url, last + 1);
        }
    }
    return l;
}

bool isDot(QStringView segment)
{
    return segment == u"." || segment.compare(u"%2e", Qt::CaseInsensitive) == 0;
}

bool isDotDot(QStringView segment)
{
    for (const char16_t *form : {u"..", u".%2e", u"%2e.", u"%2e%2e"})
        if (segment.compare(QStringView(form), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The last segment of a path once "." and ".." are resolved.
QString lastSegment(QStringView path)
{
    QList<QStringView> kept;
    qsizetype from = 0;
    while (from < path.size() && (path.at(from) == u'/' || path.at(from) == u'\\'))
        ++from;
    while (from <= path.size()) {
        qsizetype end = from;
        while (end < path.size() && path.at(end) != u'/' && path.at(end) != u'\\')
            ++end;
        const QStringView segment = path.mid(from, end - from);
        const bool last = end >= path.size();
        if (isDotDot(segment)) {
            if (!kept.isEmpty())
                kept.removeLast();
            if (last)
                kept.append(QStringView());
        } else if (isDot(segment)) {
            if (last)
                kept.append(QStringView());
        } else {
            kept.append(segment);
        }
        from = end + 1;
    }
    return kept.isEmpty() ? QString() : kept.last().toString();
}

}  // namespace

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

UrlFileName fileNameFromUrl(const QString &url)
{
    const QString text = url.trimmed();
    const UrlLayout l = layoutOf(text);
    QStringView path = QStringView(text).mid(l.authorityEnd);
    for (const QChar end : {u'?', u'#'})
        path = path.left(path.indexOf(end) < 0 ? path.size() : path.indexOf(end));
    UrlFileName n;
    n.fileName = lastSegment(path);
    if (n.fileName.isEmpty())
        n.fileName = QStringLiteral("index.html");
    const qsizetype dot = n.fileName.lastIndexOf(QLatin1Char('.'));
    n.ext = dot >= 0 ? n.fileName.mid(dot + 1) : QString();
    n.baseName = dot >= 0 ? n.fileName.left(dot) : n.fileName;
    const int budget = kMaxCopyNameBytes;
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
    const QString text = url.trimmed();
    const UrlLayout l = layoutOf(text);
    if (l.userEnd <= l.authorityBegin)
        return text;  // no user part, or an empty one
    // A user part without a password is as often a token ("https://TOKEN@host/").
    const qsizetype colon = text.indexOf(u':', l.authorityBegin);
    const qsizetype masked = l.certain && colon >= 0 && colon < l.userEnd ? colon + 1 : l.authorityBegin;
    return text.left(masked) + QStringLiteral("***") + text.mid(l.userEnd);
}

}  // namespace fetchora
