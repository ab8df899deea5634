#include "zip/Zip.h"
#include "store/StoredFileName.h"
#include "core/FileSystem.h"
#include "core/Names.h"
#include "core/Profile.h"
#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"
#include "support/ZipRead.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

TEST(Zip, TheArchiveHasTheRateAndThePasswordItWasGivenAndAFailureChangesNothing)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("report.txt"), archive = dir.filePath("save/report.zip");
    QByteArray data;
    for (int i = 0; i < 20000; ++i)
        data += "line " + QByteArray::number(i * i % 977) + "\n";
    ASSERT_TRUE(writeFile(source, data) && QDir(dir.path()).mkdir("save"));
    const std::tuple<long, const char *, zip_uint16_t, zip_uint16_t> cases[] = {
        {1, "", ZIP_CM_DEFLATE, ZIP_EM_NONE},
        {9, "s3cret", ZIP_CM_DEFLATE, ZIP_EM_AES_256}};
    for (const auto &[rate, password, method, encryption] : cases) {  // each archive replaces the one before
        const zip::ZipResult r = zip::packFile(archive, source, password, rate, Language::English);
        ASSERT_TRUE(r.ok()) << qPrintable(r.description);
        zip_stat_t stat{};
        QByteArray entry;
        EXPECT_EQ(unzipOnly(archive, password, &stat, &entry), data);
        EXPECT_EQ(entry, "1 report.txt") << "one entry, named as its file";
        EXPECT_EQ(stat.comp_method, method) << rate;
        EXPECT_EQ(stat.encryption_method, encryption) << rate;
    }
    // A failure leaves the folder as it was and names the file in the way, in the language asked for.
    ASSERT_EQ(zip::ZipFile(archive, source, "", -1, 0), 0);
    const QByteArray before = readAll(archive);
    for (const auto &[to, from, number, named] :
         {std::tuple{archive, dir.filePath("missing.txt"), 53L, "Datei nicht gefunden: " + dir.filePath("missing.txt")},
          {dir.filePath("gone/report.zip"), source, 76L, "Pfad nicht gefunden: " + dir.filePath("gone")},
          {dir.filePath("save"), source, 75L, dir.filePath("save") + " ist ein Ordner"}}) {
        const zip::ZipResult r = zip::packFile(to, from, "pw", 6, Language::German);
        EXPECT_EQ(r.number, number) << qPrintable(to);
        EXPECT_TRUE(r.description.endsWith(named)) << qPrintable(r.description);
        EXPECT_EQ(entries(dir.filePath("save")), QStringList{"report.zip"});
        EXPECT_EQ(readAll(archive), before);
    }
}

TEST(StoredName, StampsFollowTheLocaleAndThePathsTheRule)
{
    const struct {
        const char *locale;  // as the environment names it
        bool mode1;
        const char *folder, *ext, *target, *archive;
    } cases[] = {
        {"en_US.UTF-8", true, "/s", "txt", "/s/report_12-4-2026_7-59-58 PM.txt", "/s/report_12-4-2026_7-59-58 PM.zip"},
        {"en_US", false, "/s", "", "/s/report.", "/s/report.zip"},
        {"de_DE@euro", true, "/s/", "", "/s//report_04.12.2026_19-59-58.", "/s//report_04.12.2026_19-59-58.zip"},
        {"C.UTF-8", true, "/s", "txt", "/s/report_2026-12-04_19-59-58.txt", "/s/report_2026-12-04_19-59-58.zip"},
    };
    for (const auto &c : cases) {
        const QLocale locale = stampLocale(c.locale);
        const QString date = stampText(shortDateText(QDate(2026, 12, 4), locale));
        const StoredPaths p =
            storedPaths(c.folder, "report", c.ext, c.mode1, date, stampText(longTimeText(QTime(19, 59, 58), locale)));
        EXPECT_EQ(QStringList({p.targetPath, p.archivePath}), QStringList({c.target, c.archive})) << c.locale;
    }
    // The locale's name: LC_ALL, else LC_TIME, else LANG.
    EXPECT_EQ(QStringList({timeLocaleName("", "", ""), timeLocaleName("", "C.UTF-8", "de_DE"),
                           timeLocaleName("en_US", "de_DE", "C"), timeLocaleName("", "", "de_DE")}),
              QStringList({"C", "C.UTF-8", "en_US", "de_DE"}));
    // The room kept for the stamp is its own, so no locale makes a name too long.
    for (const QLocale &locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const QString stamp = stampText(shortDateText(QDate(2026, 12, 4), locale)) + '_'
                              + stampText(longTimeText(QTime(19, 59, 58), locale));
        const StoredPaths p =
            storedPaths("/s", QString(300, u'r'), "txt", true, stamp.section('_', 0, 0), stamp.section('_', 1));
        EXPECT_EQ(p.targetPath.mid(3).toUtf8().size(), kMaxCopyNameBytes) << qPrintable(locale.name());
        EXPECT_TRUE(p.archivePath.endsWith('_' + stamp + ".zip")) << qPrintable(locale.name());
    }
    // A copy kept beside another of its name takes a number before the last dot of its file name, not of its folder's.
    EXPECT_EQ(numberedPath("/s.d/report", 7), "/s.d/report-7");
}

}  // namespace

FETCHORA_CORE_TEST_MAIN("fetchora-zip-tests-no-viewer")
