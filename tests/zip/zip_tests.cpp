#include "components/zip/modZIP32vb.h"
#include "mainwindow/cycle/StoredFileName.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"

#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zip.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

// An archive read back with libzip.
struct Archive {
    explicit Archive(const QString &path) { z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr); }
    ~Archive() { z ? zip_discard(z) : void(); }
    zip_stat_t entry() const
    {
        zip_stat_t st{};
        EXPECT_EQ(zip_get_num_entries(z, 0), 1);
        zip_stat_index(z, 0, 0, &st);
        return st;
    }
    // The first entry's bytes, or "error <libzip code>".
    QByteArray read(const char *password) const
    {
        zip_file_t *f = zip_fopen_index_encrypted(z, 0, 0, password);
        if (!f)
            return "error " + QByteArray::number(zip_error_code_zip(zip_get_error(z)));
        QByteArray out;
        char buffer[1 << 16];
        for (zip_int64_t n; (n = zip_fread(f, buffer, sizeof buffer)) > 0;)
            out.append(buffer, n);
        zip_fclose(f);
        return out;
    }
    zip_t *z = nullptr;
};

class Zip : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 20000; ++i)
            data += "line " + QByteArray::number(i * i % 977) + "\n";
        ASSERT_TRUE(writeFile(source(), data));
        QDir(dir.path()).mkpath("save/in the way.zip");
    }
    void TearDown() override { zip::SetCompressionRate(6); }
    QString source() const { return dir.filePath("report.txt"); }
    QString archive() const { return dir.filePath("save/report.zip"); }

    QTemporaryDir dir;
    QByteArray data;
};

TEST_F(Zip, TheRateDecidesStoredOrDeflatedAndHowHard)
{
    QMap<long, zip_uint64_t> packed;
    for (auto [rate, method] : {std::pair{0L, ZIP_CM_STORE}, {1L, ZIP_CM_DEFLATE}, {9L, ZIP_CM_DEFLATE}}) {
        zip::SetCompressionRate(rate);
        ASSERT_EQ(zip::ZipFile(archive(), source(), "", -1, 0), 0) << qPrintable(zip::lastZipError());
        Archive a(archive());
        EXPECT_EQ(a.entry().comp_method, method) << rate;
        EXPECT_EQ(a.read(nullptr), data);
        packed[rate] = a.entry().comp_size;
    }
    EXPECT_LT(packed[9], packed[1]);
}

TEST_F(Zip, APasswordIsRequiredAndItIsTheOneGiven)
{
    for (const char *password : {"", "s3cret"}) {
        ASSERT_EQ(zip::ZipFile(archive(), source(), password, -1, 0), 0) << qPrintable(zip::lastZipError());
        Archive a(archive());  // the second call replaces the first archive
        if (!*password) {
            EXPECT_EQ(a.entry().encryption_method, ZIP_EM_NONE);
            EXPECT_EQ(a.read(nullptr), data);
            continue;
        }
        EXPECT_EQ(a.entry().encryption_method, ZIP_EM_AES_256);
        EXPECT_EQ(a.read(nullptr), "error " + QByteArray::number(ZIP_ER_NOPASSWD));
        EXPECT_EQ(a.read("wrong"), "error " + QByteArray::number(ZIP_ER_WRONGPASSWD));
        EXPECT_EQ(a.read(password), data);
    }
}

TEST_F(Zip, AFailureLeavesTheFolderAsItWas)
{
    ASSERT_EQ(zip::ZipFile(archive(), source(), "", -1, 0), 0);
    auto snapshot = [&] {
        QMap<QString, QByteArray> files;
        for (const QString &name : entries(dir.filePath("save")))
            files[name] = readAll(dir.filePath("save/" + name));
        return files;
    };
    const auto before = snapshot();
    const struct {
        QString archive, source;
        long number;
    } cases[] = {
        {archive(), dir.filePath("missing.txt"), 53},
        {dir.filePath("gone/report.zip"), source(), 76},
        {dir.filePath("save/in the way.zip"), source(), 75},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(zip::ZipFile(c.archive, c.source, "pw", -1, 0), c.number) << qPrintable(c.archive);
        EXPECT_FALSE(zip::lastZipError().isEmpty());
        EXPECT_EQ(snapshot(), before);
    }
}

struct NameCase {
    const char *locale;
    bool mode1;
    const char *folder, *ext, *target, *archive;
};

TEST(StoredName, StampsFollowTheLocaleAndThePathsTheRule)
{
    const QDate day(2026, 12, 4);
    const QTime time(19, 59, 58);
    const NameCase cases[] = {
        {"de_DE", true, "/s", "txt", "/s/report_04.12.2026_19-59-58.txt", "/s/report_04.12.2026_19-59-58.zip"},
        {"en_US", true, "/s", "txt", "/s/report_12-4-2026_7-59-58 PM.txt", "/s/report_12-4-2026_7-59-58 PM.zip"},
        {"de_DE", false, "/s", "txt", "/s/report.txt", "/s/report.zip"},
        {"en_US", false, "/s", "", "/s/report.", "/s/report.zip"},
        {"de_DE", true, "/s/", "", "/s//report_04.12.2026_19-59-58.", "/s//report_04.12.2026_19-59-58.zip"},
    };
    for (const NameCase &c : cases) {
        const QLocale locale(c.locale);
        const StoredPaths p = storedPaths(c.folder, "report", c.ext, c.mode1, stampText(shortDateText(day, locale)),
                                          stampText(longTimeText(time, locale)));
        EXPECT_EQ(p.targetPath, c.target) << c.locale << " " << c.mode1;
        EXPECT_EQ(p.archivePath, c.archive) << c.locale << " " << c.mode1;
    }
}

}  // namespace

FETCHORA_QT_TEST_MAIN("fetchora-zip-tests-no-viewer")
