#include "mainwindow/cycle/StoredFileName.h"

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
    QString wide;
    wide.reserve(format.size() + 2);
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            const qsizetype end = skipQuoted(format, i);
            wide += QStringView(format).mid(i, end - i);
            i = end;
            continue;
        }
        if (c == u'y') {
            qsizetype run = 0;
            while (i + run < format.size() && format.at(i + run) == u'y')
                ++run;
            wide += run < 4 ? QStringLiteral("yyyy") : format.mid(i, run);
            i += run;
            continue;
        }
        wide += c;
        ++i;
    }
    return locale.toString(d, wide);
}

QString longTimeText(const QTime &t, const QLocale &locale)
{
    if (isPlainC(locale))
        return t.toString(u"HH:mm:ss");
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString plain;
    plain.reserve(format.size());
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            const qsizetype end = skipQuoted(format, i);
            plain += QStringView(format).mid(i, end - i);
            i = end;
            continue;
        }
        if (c == u't') {
            // Drop the zone token with the blanks on both sides; if it sat
            // between two other parts, one blank keeps them apart.
            const bool blankBefore = !plain.isEmpty() && isBlank(plain.back());
            while (!plain.isEmpty() && isBlank(plain.back()))
                plain.chop(1);
            while (i < format.size() && format.at(i) == u't')
                ++i;
            bool blankAfter = false;
            while (i < format.size() && isBlank(format.at(i))) {
                blankAfter = true;
                ++i;
            }
            if (blankBefore && blankAfter && !plain.isEmpty() && i < format.size())
                plain += u' ';
            continue;
        }
        plain += c;
        ++i;
    }
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
    QString stem = folder + u'/' + baseName;
    if (mode1)
        stem += u'_' + sDate + u'_' + sTime;
    return {stem + QStringLiteral(".zip"), stem + u'.' + fileExt};
}

QLocale fileStampLocale()
{
    return QLocale::system();
}

}  // namespace fetchora
