// Names a finished download is stored under: the locale's date and time,
// made fit for a file name, between the base name and the extension.

#include "mainwindow/cycle/StoredFileName.h"

#include <QDate>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTime>

#include <gtest/gtest.h>

using namespace fetchora;

namespace {

const QDate kDay(2026, 12, 4);
const QTime kMoment(19, 59, 58);

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

// ---- date and time as the locale writes them ----------------------------------

struct StampRow {
    const char *locale;
    QDate date;
    QTime time;
    const char *dateText;  // UTF-8
    const char *timeText;  // UTF-8
};

void PrintTo(const StampRow &row, std::ostream *os)
{
    *os << row.locale << ' ' << row.date.toString(Qt::ISODate).toStdString() << ' '
        << row.time.toString(Qt::ISODate).toStdString();
}

class LocaleStamps : public ::testing::TestWithParam<StampRow> {};

TEST_P(LocaleStamps, shortDateHasFourDigitYearAndLongTimeHasNoZone)
{
    const StampRow &row = GetParam();
    const QLocale locale(QString::fromLatin1(row.locale));
    EXPECT_EQ(shortDateText(row.date, locale), u8(row.dateText));
    EXPECT_EQ(longTimeText(row.time, locale), u8(row.timeText));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LocaleStamps,
    ::testing::Values(
        StampRow{"de_DE", kDay, kMoment, "04.12.2026", "19:59:58"},
        StampRow{"de_DE", QDate(2026, 1, 5), QTime(7, 5, 9), "05.01.2026", "07:05:09"},
        StampRow{"en_US", kDay, kMoment, "12/4/2026", "7:59:58 PM"},
        StampRow{"en_US", QDate(2026, 1, 5), QTime(7, 5, 9), "1/5/2026", "7:05:09 AM"},
        StampRow{"en_US", QDate(2027, 1, 1), QTime(0, 0, 0), "1/1/2027", "12:00:00 AM"},
        StampRow{"en_GB", kDay, kMoment, "04/12/2026", "19:59:58"},
        StampRow{"fi_FI", kDay, kMoment, "4.12.2026", "19.59.58"},
        // Two-digit year with blanks between the parts, and a time made of words.
        StampRow{"ko_KR", kDay, kMoment, "2026. 12. 4.", "오후 7시 59분 58초"},
        // The zone comes first in this locale's long time.
        StampRow{"zh_CN", kDay, kMoment, "2026/12/4", "19:59:58"},
        // Quoted literal text after the year and after the time.
        StampRow{"bg_BG", kDay, kMoment, "4.12.2026 г.", "19:59:58 ч."},
        // The zone sits in brackets: they go with it.
        StampRow{"fa_IR", kDay, kMoment, "۲۰۲۶/۱۲/۴", "۱۹:۵۹:۵۸"}));

// The designator "P. M." of this locale is held with a no-break space; newer
// locale data also puts a narrow no-break space before AM/PM in US English.
TEST(LocaleStampBlanks, noBreakSpacesBecomePlainBlanks)
{
    EXPECT_EQ(longTimeText(kMoment, QLocale(QStringLiteral("es_US"))), QStringLiteral("7:59:58 P. M."));

    QStringList offenders;
    for (const QLocale &locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        const QString text = longTimeText(kMoment, locale) + shortDateText(kDay, locale);
        if (text.contains(QChar(0x00A0)) || text.contains(QChar(0x202F)))
            offenders << locale.name();
    }
    EXPECT_TRUE(offenders.isEmpty()) << offenders.join(u' ').toStdString();
}

// Whatever a locale's data looks like, the stamps keep their promises: the
// full year, no zone, no leftovers of the zone, no stray blanks.
TEST(LocaleStampBlanks, everyLocaleGivesFullYearAndNoZone)
{
    QStringList noYear, zoneLeft, untidy;
    for (const QLocale &locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        const QString date = shortDateText(kDay, locale);
        if (!date.contains(locale.toString(kDay, QStringLiteral("yyyy"))))
            noYear << locale.name() + u'=' + date;

        const QString time = longTimeText(kMoment, locale);
        const QString zone = locale.toString(kMoment, QStringLiteral("t"));
        if (!time.contains(locale.toString(kMoment, QStringLiteral("mm")))
            || (!zone.isEmpty() && time.contains(zone)))
            zoneLeft << locale.name() + u'=' + time;
        for (const char *empty : {"()", "[]", "（）", "  "}) {
            if (time.contains(u8(empty)))
                untidy << locale.name() + u'=' + time;
        }
        if (time != time.trimmed() || date != date.trimmed())
            untidy << locale.name() + u'=' + date + u'|' + time;
    }
    EXPECT_TRUE(noYear.isEmpty()) << noYear.join(u' ').toStdString();
    EXPECT_TRUE(zoneLeft.isEmpty()) << zoneLeft.join(u' ').toStdString();
    EXPECT_TRUE(untidy.isEmpty()) << untidy.join(u' ').toStdString();
}

// ---- characters a file name cannot hold ------------------------------------------

struct ReplaceRow {
    const char *in;
    const char *out;
};

void PrintTo(const ReplaceRow &row, std::ostream *os)
{
    *os << '"' << row.in << '"';
}

class StampReplacement : public ::testing::TestWithParam<ReplaceRow> {};

TEST_P(StampReplacement, separatorsBecomeDashesAndAllElseStays)
{
    EXPECT_EQ(stampText(u8(GetParam().in)), u8(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(Rows, StampReplacement,
                         ::testing::Values(ReplaceRow{"12/4/2026", "12-4-2026"},
                                           ReplaceRow{"7:59:58 PM", "7-59-58 PM"},
                                           ReplaceRow{"04.12.2026", "04.12.2026"},
                                           ReplaceRow{"4\\12\\2026", "4-12-2026"},
                                           ReplaceRow{":/\\::", "-----"},
                                           ReplaceRow{"7:59:58 P. M.", "7-59-58 P. M."},
                                           ReplaceRow{"19時59分58秒", "19時59分58秒"},
                                           ReplaceRow{"", ""}));

// ---- the two paths of a finished download -------------------------------------------

struct PathRow {
    const char *name;
    const char *locale;
    const char *folder;
    const char *baseName;
    const char *fileExt;
    bool mode1;
    const char *archivePath;
    const char *targetPath;
};

void PrintTo(const PathRow &row, std::ostream *os)
{
    *os << row.name;
}

class StoredPathRows : public ::testing::TestWithParam<PathRow> {};

// The whole chain the finished-download handler runs: stamps, replacement, paths.
TEST_P(StoredPathRows, archiveAndTargetPath)
{
    const PathRow &row = GetParam();
    const QLocale locale(QString::fromLatin1(row.locale));
    const QString sDate = stampText(shortDateText(kDay, locale));
    const QString sTime = stampText(longTimeText(kMoment, locale));
    const StoredPaths paths = storedPaths(u8(row.folder), u8(row.baseName), u8(row.fileExt), row.mode1, sDate, sTime);
    EXPECT_EQ(paths.archivePath, u8(row.archivePath));
    EXPECT_EQ(paths.targetPath, u8(row.targetPath));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StoredPathRows,
    ::testing::Values(
        PathRow{"GermanStamped", "de_DE", "/srv/save", "report", "txt", true,
                "/srv/save/report_04.12.2026_19-59-58.zip", "/srv/save/report_04.12.2026_19-59-58.txt"},
        PathRow{"UsStampedKeepsBlankAndDesignator", "en_US", "/srv/save", "report", "txt", true,
                "/srv/save/report_12-4-2026_7-59-58 PM.zip", "/srv/save/report_12-4-2026_7-59-58 PM.txt"},
        PathRow{"PlainName", "de_DE", "/srv/save", "report", "txt", false, "/srv/save/report.zip",
                "/srv/save/report.txt"},
        PathRow{"NoExtensionKeepsTheDot", "de_DE", "/srv/save", "page", "", false, "/srv/save/page.zip",
                "/srv/save/page."},
        PathRow{"NoExtensionStamped", "de_DE", "/srv/save", "page", "", true,
                "/srv/save/page_04.12.2026_19-59-58.zip", "/srv/save/page_04.12.2026_19-59-58."},
        PathRow{"FolderWithSeparatorDoublesIt", "de_DE", "/srv/save/", "report", "txt", false,
                "/srv/save//report.zip", "/srv/save//report.txt"},
        PathRow{"FolderWithSeparatorStamped", "en_US", "/srv/save/", "report", "txt", true,
                "/srv/save//report_12-4-2026_7-59-58 PM.zip", "/srv/save//report_12-4-2026_7-59-58 PM.txt"},
        PathRow{"StampBeforeTheLastExtensionOnly", "de_DE", "/srv/save", "backup.tar", "gz", true,
                "/srv/save/backup.tar_04.12.2026_19-59-58.zip", "/srv/save/backup.tar_04.12.2026_19-59-58.gz"},
        PathRow{"DotsInTheTimeStay", "fi_FI", "/srv/save", "report", "txt", true,
                "/srv/save/report_4.12.2026_19.59.58.zip", "/srv/save/report_4.12.2026_19.59.58.txt"},
        PathRow{"DashedIsoDate", "sv_SE", "/srv/save", "report", "txt", true,
                "/srv/save/report_2026-12-04_19-59-58.zip", "/srv/save/report_2026-12-04_19-59-58.txt"},
        PathRow{"NonAsciiFolderAndName", "de_DE", "/srv/Ablage Ü", "Bericht ä", "csv", false,
                "/srv/Ablage Ü/Bericht ä.zip", "/srv/Ablage Ü/Bericht ä.csv"}),
    [](const ::testing::TestParamInfo<PathRow> &info) { return std::string(info.param.name); });

// ---- which locale the stamps follow -----------------------------------------------

struct EnvRow {
    const char *name;
    const char *lcAll;
    const char *lcTime;
    const char *lang;
    const char *expected;  // date|time
};

void PrintTo(const EnvRow &row, std::ostream *os)
{
    *os << row.name;
}

class StampLocaleFromEnvironment : public ::testing::TestWithParam<EnvRow> {};

TEST_P(StampLocaleFromEnvironment, followsTheUsersTimeSettings)
{
    const EnvRow &row = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *key : {"LC_ALL", "LC_TIME", "LANG", "LANGUAGE", "LC_NUMERIC", "LC_MESSAGES"})
        env.remove(QString::fromLatin1(key));
    const auto set = [&](const char *key, const char *value) {
        if (value)
            env.insert(QString::fromLatin1(key), QString::fromLatin1(value));
    };
    set("LC_ALL", row.lcAll);
    set("LC_TIME", row.lcTime);
    set("LANG", row.lang);

    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.setStandardInputFile(QProcess::nullDevice());
    probe.start(QStringLiteral(FETCHORA_STAMP_PROBE), {});
    ASSERT_TRUE(probe.waitForFinished(10000)) << "stamp probe did not finish";
    ASSERT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()), u8(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StampLocaleFromEnvironment,
    ::testing::Values(EnvRow{"LangGerman", nullptr, nullptr, "de_DE.UTF-8", "04.12.2026|19:59:58"},
                      EnvRow{"LangUs", nullptr, nullptr, "en_US.UTF-8", "12/4/2026|7:59:58 PM"},
                      EnvRow{"LcAllWinsOverLang", "en_US.UTF-8", nullptr, "de_DE.UTF-8", "12/4/2026|7:59:58 PM"},
                      EnvRow{"LcTimeWinsOverLang", nullptr, "de_DE.UTF-8", "en_US.UTF-8", "04.12.2026|19:59:58"},
                      EnvRow{"LcAllWinsOverLcTime", "de_DE.UTF-8", "en_US.UTF-8", nullptr, "04.12.2026|19:59:58"}),
    [](const ::testing::TestParamInfo<EnvRow> &info) { return std::string(info.param.name); });

}  // namespace
