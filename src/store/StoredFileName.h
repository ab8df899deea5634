#pragma once
// Names under which a finished download is stored in the save folder.
//
// A stored name carries the completion date and time as the user's locale
// writes them, with the characters a file name cannot hold turned into "-".
// Everything here is pure text work: no file is touched.

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace fetchora {

// The locale's short date with a four-digit year, as the Windows platform shows
// it ("04.12.2026" German, "12/4/2026" US English); "2026-12-04" under the
// C/POSIX locale.
QString shortDateText(const QDate &d, const QLocale &locale);

// The locale's long time without a time-zone part ("19:59:58", "7:59:58 PM";
// 24 hours under the C/POSIX locale).
// No-break spaces come out as plain blanks, so the name is typeable.
QString longTimeText(const QTime &t, const QLocale &locale);

// ":" then "/" then "\" become "-"; every other character stays.
QString stampText(QString text);

struct StoredPaths {
    QString archivePath;  // where the ZIP archive goes (no file extension kept)
    QString targetPath;   // where the uncompressed file goes
};

// The folder is used as typed: a folder ending in "/" gives a doubled
// separator, and the "." before the extension is written even when it is empty.
// A name that would be too long (kMaxCopyNameBytes) is cut at the end of its
// base name: the stamp and the extension stay whole.
StoredPaths storedPaths(const QString &folder, const QString &baseName, const QString &fileExt, bool mode1,
                        const QString &sDate, const QString &sTime);

// The locale that names the time as POSIX picks it: the first of LC_ALL,
// LC_TIME and LANG that is set and not empty, else "C".
QString timeLocaleName(const QString &lcAll, const QString &lcTime, const QString &lang);
// The locale of such a name ("de_DE.UTF-8"); "C", "POSIX" and names of no
// known language give the C locale, whose stamps are ISO dates and times.
QLocale stampLocale(const QString &posixName);
// The locale the stamps follow: the one the environment names for the time.
QLocale fileStampLocale();

}  // namespace fetchora
