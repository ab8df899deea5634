#include "store/StoredFileName.h"

#include "core/Names.h"

#include <algorithm>

namespace fetchora {

namespace {

// Qt date/time formats quote literal text with '...' ('' is a literal quote).
// The helpers below walk the format token by token and leave quoted text alone.
bool isBlank(QChar c)
{
    return c == u' ' || c == QChar(0x00A0) || c == QChar(0x202F);
}

// Index just past the quoted section that starts at i (format[i] == '\'').
qsizetype skipQuoted(const QString &format, qsizetype i)
{
    ++i;
    while (i < format.size()) {
        if (format.at(i) == u'\'') {
            if (i + 1 < format.size() && format.at(i + 1) == u'\'') {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

// Rewrites a format: quoted text is copied as it stands, and at every other
// position token() appends what it makes of the format there and returns the
// index just past what it used.
template <typename Token>
QString rewriteFormat(const QString &format, Token token)
{
    QString out;
    out.reserve(format.size() + 2);
    for (qsizetype i = 0; i < format.size();) {
        if (format.at(i) == u'\'') {
            const qsizetype end = skipQuoted(format, i);
            out += QStringView(format).mid(i, end - i);
            i = end;
        } else {
            i = token(out, i);
        }
    }
    return out;
}

// The C/POSIX locale (no LANG, as under autostart and services) has no
// national short forms: its stamps are ISO dates and times, without blanks.
bool isPlainC(const QLocale &locale)
{
    return locale.language() == QLocale::C;
}

}  // namespace

QString shortDateText(const QDate &d, const QLocale &locale)
{
    if (isPlainC(locale))
        return d.toString(u"yyyy-MM-dd");
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const QString wide = rewriteFormat(format, [&](QString &out, qsizetype i) {
        if (format.at(i) != u'y') {
            out += format.at(i);
            return i + 1;
        }
        qsizetype run = 0;
        while (i + run < format.size() && format.at(i + run) == u'y')
            ++run;
        out += run < 4 ? QStringLiteral("yyyy") : format.mid(i, run);
        return i + run;
    });
    return locale.toString(d, wide);
}

QString longTimeText(const QTime &t, const QLocale &locale)
{
    if (isPlainC(locale))
        return t.toString(u"HH:mm:ss");
    const QString format = locale.timeFormat(QLocale::LongFormat);
    const QString plain = rewriteFormat(format, [&](QString &out, qsizetype i) {
        if (format.at(i) != u't') {
            out += format.at(i);
            return i + 1;
        }
        // Drop the zone token with the blanks on both sides; if it sat
        // between two other parts, one blank keeps them apart.
        const bool blankBefore = !out.isEmpty() && isBlank(out.back());
        while (!out.isEmpty() && isBlank(out.back()))
            out.chop(1);
        while (i < format.size() && format.at(i) == u't')
            ++i;
        bool blankAfter = false;
        while (i < format.size() && isBlank(format.at(i))) {
            blankAfter = true;
            ++i;
        }
        if (blankBefore && blankAfter && !out.isEmpty() && i < format.size())
            out += u' ';
        return i;
    });
    QString text = locale.toString(t, plain);
    text.replace(QChar(0x202F), u' ');
    text.replace(QChar(0x00A0), u' ');
    // Brackets that held only the zone go with it, and so do the blanks
    // that separated it.
    for (const char16_t *empty : {u"()", u"[]", u"\uFF08\uFF09"})
        text.remove(QString::fromUtf16(empty));
    while (text.contains(QStringLiteral("  ")))
        text.replace(QStringLiteral("  "), QStringLiteral(" "));
    return text.trimmed();
}

QString stampText(QString text)
{
    text.replace(u':', u'-');
    text.replace(u'/', u'-');
    text.replace(u'\\', u'-');
    return text;
}

StoredPaths storedPaths(const QString &folder, const QString &baseName, const QString &fileExt, bool mode1,
                        const QString &sDate, const QString &sTime)
{
    const QString stamp = mode1 ? u'_' + sDate + u'_' + sTime : QString();
    // The stamp stays whole, however long the locale writes it; the base
    // name gives way to it.
    const qsizetype tail = stamp.toUtf8().size() + std::max<qsizetype>(fileExt.toUtf8().size() + 1, 4);
    const QString stem =
        folder + u'/' + cutToBytes(baseName, int(std::max<qsizetype>(kMaxCopyNameBytes - tail, 0))) + stamp;
    return {stem + QStringLiteral(".zip"), stem + u'.' + fileExt};
}

QString timeLocaleName(const QString &lcAll, const QString &lcTime, const QString &lang)
{
    for (const QString &name : {lcAll, lcTime, lang})
        if (!name.isEmpty())
            return name;
    return QStringLiteral("C");
}

QLocale stampLocale(const QString &posixName)
{
    // Only language, script and territory count: "de_DE.UTF-8@euro" is German.
    const QString name = posixName.section(u'.', 0, 0).section(u'@', 0, 0);
    if (name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX"))
        return QLocale::c();
    return QLocale(name);
}

QLocale fileStampLocale()
{
    return stampLocale(
        timeLocaleName(qEnvironmentVariable("LC_ALL"), qEnvironmentVariable("LC_TIME"), qEnvironmentVariable("LANG")));
}

}  // namespace fetchora
