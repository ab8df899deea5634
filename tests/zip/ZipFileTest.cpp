// The ZIP layer: what lands in the save folder, read back with libzip and,
// where it is installed, checked with 7-Zip as another reader would.

#include "components/zip/modZIP32vb.h"
#include "startup/FsHelpers.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zip.h>

#include <fcntl.h>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace fetchora;

namespace {

// ---- reading archives back ------------------------------------------------------

struct ArchiveView {
    bool opened = false;
    zip_int64_t entries = -1;
    QString name;
    zip_uint16_t method = 0;
    zip_uint16_t encryption = 0;
    zip_uint64_t size = 0;
    zip_uint64_t compressedSize = 0;
};

// Opens with the consistency check, so a damaged central directory fails here.
ArchiveView inspect(const QString &path)
{
    ArchiveView view;
    int err = 0;
    zip_t *za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!za)
        return view;
    view.opened = true;
    view.entries = zip_get_num_entries(za, 0);
    zip_stat_t st;
    zip_stat_init(&st);
    if (view.entries > 0 && zip_stat_index(za, 0, 0, &st) == 0) {
        view.name = QString::fromUtf8(st.name);
        view.method = st.comp_method;
        view.encryption = st.encryption_method;
        view.size = st.size;
        view.compressedSize = st.comp_size;
    }
    zip_close(za);
    return view;
}

struct ReadOutcome {
    bool ok = false;       // opened, read to the end and closed without error
    int zipError = 0;      // libzip's code when opening the entry failed
    QByteArray data;
};

// Reads the first entry; a null password opens it as unencrypted.
ReadOutcome readEntry(const QString &path, const char *password)
{
    ReadOutcome out;
    int err = 0;
    zip_t *za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (!za) {
        out.zipError = err;
        return out;
    }
    zip_file_t *f = password ? zip_fopen_index_encrypted(za, 0, 0, password) : zip_fopen_index(za, 0, 0);
    if (!f) {
        out.zipError = zip_error_code_zip(zip_get_error(za));
        zip_discard(za);
        return out;
    }
    char buffer[65536];
    bool readOk = true;
    for (;;) {
        const zip_int64_t n = zip_fread(f, buffer, sizeof buffer);
        if (n < 0) {
            readOk = false;
            break;
        }
        if (n == 0)
            break;
        out.data.append(buffer, qsizetype(n));
    }
    // The AES authentication code and the CRC are checked when the entry ends.
    const int closeErr = zip_fclose(f);
    out.ok = readOk && closeErr == 0;
    zip_discard(za);
    return out;
}

// ---- files and folders ----------------------------------------------------------

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every entry of a folder, hidden ones included, with its bytes: a leftover
// temporary file or a changed archive both show up as a difference.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QFileInfo &info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        files.insert(info.fileName(), info.isDir() ? QByteArray("<folder>") : readFile(info.filePath()));
    }
    return files;
}

QStringList names(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Text that deflates well but differently at each level: words and numbers
// drawn from a fixed seed, so every run packs the same bytes.
QByteArray compressibleText(int bytes)
{
    static const char *const words[] = {"download", "interval", "folder", "archive", "minute", "status",
                                        "Fetchora", "report",   "level",  "deflate", "tray",   "cycle"};
    std::mt19937 rng(20261204);
    QByteArray text;
    text.reserve(bytes + 64);
    while (text.size() < bytes) {
        text += words[rng() % std::size(words)];
        text += ' ';
        text += QByteArray::number(rng() % 1000);
        text += (rng() % 8 == 0) ? '\n' : ' ';
    }
    text.truncate(bytes);
    return text;
}

QByteArray randomBytes(int bytes)
{
    std::mt19937 rng(42);
    QByteArray data(bytes, Qt::Uninitialized);
    for (char &c : data)
        c = char(rng() & 0xFF);
    return data;
}

// ---- the program's folders ----------------------------------------------------------

// An application folder (handed to SaveFolderLocation), its tmp folder where
// downloads land, and a save folder, as the finished-download handler sees them.
class ZipLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkpath(app()));
        ASSERT_TRUE(QDir().mkpath(tmp()));
        ASSERT_TRUE(QDir().mkpath(save()));
        zip::InitZip();
        zip::SetLanguage(1);
        zip::SetCompressionRate(6);
        zip::SaveFolderLocation(app());
    }

    QString root() const { return m_dir.path(); }
    QString app() const { return root() + QStringLiteral("/app"); }
    QString tmp() const { return app() + QStringLiteral("/tmp"); }
    QString save() const { return root() + QStringLiteral("/save"); }

    QString source(const QString &name, const QByteArray &bytes) const
    {
        const QString path = tmp() + u'/' + name;
        EXPECT_TRUE(writeFile(path, bytes)) << path.toStdString();
        return path;
    }

    // Packs bytes, downloaded as fileName, at the given level; returns the archive.
    QString pack(const QString &fileName, const QByteArray &bytes, long rate, const QString &password = {})
    {
        zip::SetCompressionRate(rate);
        const QString archive = save() + u'/' + QFileInfo(fileName).completeBaseName() + QStringLiteral(".zip");
        EXPECT_EQ(zip::ZipFile(archive, source(fileName, bytes), password, -1, 0), 0) << zip::lastZipError().toStdString();
        return archive;
    }

private:
    QTemporaryDir m_dir;
};

// ---- the one entry --------------------------------------------------------------------

struct EntryRow {
    const char *fileName;  // UTF-8, as taken from the URL
    QByteArray content;
};

void PrintTo(const EntryRow &row, std::ostream *os)
{
    *os << '"' << row.fileName << '"';
}

class ZipEntry : public ZipLayer, public ::testing::WithParamInterface<EntryRow> {};

TEST_P(ZipEntry, archiveHoldsOnlyTheFileUnderItsOwnName)
{
    const QString fileName = QString::fromUtf8(GetParam().fileName);
    const QByteArray &content = GetParam().content;
    const QString src = source(fileName, content);
    // Stamped archive name, as with the date and time option on.
    const QString archive = save() + QStringLiteral("/stamped_04.12.2026_19-59-58.zip");

    ASSERT_EQ(zip::ZipFile(archive, src, QString(), -1, 0), 0) << zip::lastZipError().toStdString();

    const ArchiveView view = inspect(archive);
    ASSERT_TRUE(view.opened);
    EXPECT_EQ(view.entries, 1);
    EXPECT_EQ(view.name, fileName) << "no folder part, no stamp: the name from the URL";
    EXPECT_EQ(view.encryption, ZIP_EM_NONE);
    EXPECT_EQ(view.size, zip_uint64_t(content.size()));
    const ReadOutcome read = readEntry(archive, nullptr);
    ASSERT_TRUE(read.ok) << read.zipError;
    EXPECT_EQ(read.data, content);

    // The source stays for the program to delete; nothing else is left anywhere.
    EXPECT_EQ(readFile(src), content);
    EXPECT_EQ(names(save()), QStringList{QFileInfo(archive).fileName()});
    EXPECT_EQ(names(tmp()), QStringList{fileName});
    EXPECT_EQ(names(app()), QStringList{QStringLiteral("tmp")});
}

INSTANTIATE_TEST_SUITE_P(Files, ZipEntry,
                         ::testing::Values(EntryRow{"report.txt", compressibleText(20000)},
                                           EntryRow{"page", QByteArray("<html>no extension</html>")},
                                           EntryRow{"backup.tar.gz", randomBytes(5000)},
                                           EntryRow{"Bericht Ü 2026.csv", QByteArray("a;b\n1;2\n")},
                                           EntryRow{"empty.bin", QByteArray()}));

// ---- compression levels -------------------------------------------------------------------

struct LevelRow {
    long rate;
    zip_uint16_t method;
};

void PrintTo(const LevelRow &row, std::ostream *os)
{
    *os << "rate " << row.rate;
}

class ZipLevel : public ZipLayer, public ::testing::WithParamInterface<LevelRow> {};

TEST_P(ZipLevel, levelChoosesStoreOrDeflate)
{
    const QByteArray content = compressibleText(100000);
    const QString archive = pack(QStringLiteral("report.txt"), content, GetParam().rate);
    const ArchiveView view = inspect(archive);
    ASSERT_TRUE(view.opened);
    EXPECT_EQ(view.method, GetParam().method);
    if (GetParam().method == ZIP_CM_STORE) {
        EXPECT_EQ(view.compressedSize, view.size);
    } else {
        EXPECT_LT(view.compressedSize, view.size / 2);
    }
    const ReadOutcome read = readEntry(archive, nullptr);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.data, content);
}

INSTANTIATE_TEST_SUITE_P(SettingsDialogLevels, ZipLevel,
                         ::testing::Values(LevelRow{0, ZIP_CM_STORE}, LevelRow{1, ZIP_CM_DEFLATE},
                                           LevelRow{6, ZIP_CM_DEFLATE}, LevelRow{9, ZIP_CM_DEFLATE}));

TEST_F(ZipLayer, higherLevelsReallyPackSmaller)
{
    const QByteArray content = compressibleText(400000);
    QMap<long, zip_uint64_t> sizes;
    for (long rate : {0L, 1L, 6L, 9L}) {
        const QString archive = pack(QStringLiteral("level%1.txt").arg(rate), content, rate);
        const ArchiveView view = inspect(archive);
        ASSERT_TRUE(view.opened) << rate;
        sizes[rate] = view.compressedSize;
    }
    EXPECT_GT(sizes[0], sizes[1]);
    EXPECT_GE(sizes[1], sizes[6]);
    EXPECT_GE(sizes[6], sizes[9]);
    EXPECT_GT(sizes[0], sizes[9]);
    EXPECT_GT(sizes[1], sizes[9]) << "level 1 and level 9 gave the same size: the level is not applied";
}

// The settings file can hold any number; whatever it is, a readable archive results.
TEST_F(ZipLayer, ratesOutsideTheDialogsChoicesStillGiveReadableArchives)
{
    const QByteArray content = compressibleText(30000);
    for (long rate : {-1L, 10L, 255L, 100000L}) {
        const QString archive = pack(QStringLiteral("odd%1.txt").arg(rate), content, rate);
        const ReadOutcome read = readEntry(archive, nullptr);
        EXPECT_TRUE(read.ok) << "rate " << rate;
        EXPECT_EQ(read.data, content) << "rate " << rate;
    }
}

// The window hands the compression to a worker thread after setting the rate.
TEST_F(ZipLayer, rateSetOnTheWindowThreadAppliesOnTheWorker)
{
    const QByteArray content = compressibleText(50000);
    const QString src = source(QStringLiteral("report.txt"), content);
    const QString stored = save() + QStringLiteral("/stored.zip");
    const QString deflated = save() + QStringLiteral("/deflated.zip");
    long r1 = -1, r2 = -1;

    zip::SetCompressionRate(0);
    std::thread([&] { r1 = zip::ZipFile(stored, src, QString(), -1, 0); }).join();
    zip::SetCompressionRate(9);
    std::thread([&] { r2 = zip::ZipFile(deflated, src, QString(), -1, 0); }).join();

    EXPECT_EQ(r1, 0);
    EXPECT_EQ(r2, 0);
    EXPECT_EQ(inspect(stored).method, ZIP_CM_STORE);
    EXPECT_EQ(inspect(deflated).method, ZIP_CM_DEFLATE);
}

// The window reports a failure with the text after the worker has ended.
TEST_F(ZipLayer, failureTextIsReadableFromTheThreadThatWaited)
{
    long result = 0;
    std::thread([&] {
        result = zip::ZipFile(save() + QStringLiteral("/report.zip"), tmp() + QStringLiteral("/gone.txt"), QString(),
                              -1, 0);
    }).join();
    EXPECT_EQ(result, 53);
    EXPECT_FALSE(zip::lastZipError().isEmpty());
}

// The folder handed over before each compression is not written to.
TEST_F(ZipLayer, folderLocationAndLanguageLeaveNoTrace)
{
    const QString elsewhere = root() + QStringLiteral("/elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    zip::SaveFolderLocation(elsewhere);
    zip::SetLanguage(0);
    const QString archive = pack(QStringLiteral("report.txt"), "text", 6);
    EXPECT_TRUE(readEntry(archive, nullptr).ok);
    EXPECT_TRUE(names(elsewhere).isEmpty());
    zip::SaveFolderLocation(root() + QStringLiteral("/never-made"));
    EXPECT_EQ(zip::ZipFile(archive, tmp() + QStringLiteral("/report.txt"), QString(), -1, 0), 0);
    EXPECT_FALSE(QFileInfo::exists(root() + QStringLiteral("/never-made")));
}

// ---- password --------------------------------------------------------------------------------

const char kPassword[] = "Gehe!m 2026 $x";

class ZipPassword : public ZipLayer, public ::testing::WithParamInterface<long> {};

TEST_P(ZipPassword, entryIsAes256AndOpensOnlyWithThePassword)
{
    ASSERT_TRUE(zip_encryption_method_supported(ZIP_EM_AES_256, 0)) << "libzip built without AES";
    const QByteArray content = compressibleText(20000);
    const QString archive = pack(QStringLiteral("report.txt"), content, GetParam(), QString::fromUtf8(kPassword));

    const ArchiveView view = inspect(archive);
    ASSERT_TRUE(view.opened);
    EXPECT_EQ(view.entries, 1);
    EXPECT_EQ(view.name, QStringLiteral("report.txt"));
    EXPECT_EQ(view.encryption, ZIP_EM_AES_256);
    EXPECT_EQ(view.method, GetParam() == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE);

    const ReadOutcome right = readEntry(archive, kPassword);
    ASSERT_TRUE(right.ok) << right.zipError;
    EXPECT_EQ(right.data, content);

    const ReadOutcome none = readEntry(archive, nullptr);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.zipError, ZIP_ER_NOPASSWD);

    // The two-byte verifier lets one wrong password in 65536 past the open;
    // the authentication code then fails the read.
    for (const char *wrong : {"gehe!m 2026 $x", "wrong", "Gehe!m 2026 $"}) {
        const ReadOutcome bad = readEntry(archive, wrong);
        EXPECT_FALSE(bad.ok) << wrong;
        EXPECT_NE(bad.data, content) << wrong;
    }

    // The plain text must not show through.
    EXPECT_FALSE(readFile(archive).contains(content.left(64)));
}

INSTANTIATE_TEST_SUITE_P(StoredAndDeflated, ZipPassword, ::testing::Values(0L, 6L));

// ---- 7-Zip as another reader ------------------------------------------------------------------

struct ToolRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
};

ToolRun run7z(const QStringList &args)
{
    ToolRun run;
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    // 7-Zip asks for a missing password on the terminal; a closed input makes it give up.
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStandardPaths::findExecutable(QStringLiteral("7z")), args);
    run.finished = p.waitForFinished(20000);
    if (!run.finished) {
        p.kill();
        p.waitForFinished(2000);
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    return run;
}

class SevenZip : public ZipLayer {
protected:
    void SetUp() override
    {
        ZipLayer::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("7z")).isEmpty())
            GTEST_SKIP() << "7z (p7zip-full) is not installed";
    }
};

TEST_F(SevenZip, testsAndExtractsWithThePasswordOnly)
{
    const QByteArray content = compressibleText(50000);
    const QString archive = pack(QStringLiteral("report.txt"), content, 9, QString::fromUtf8(kPassword));
    const QString pw = QStringLiteral("-p") + QString::fromUtf8(kPassword);

    const ToolRun ok = run7z({QStringLiteral("t"), pw, archive});
    ASSERT_TRUE(ok.finished);
    EXPECT_EQ(ok.exitCode, 0) << ok.out.toStdString();

    const ToolRun list = run7z({QStringLiteral("l"), QStringLiteral("-slt"), pw, archive});
    ASSERT_TRUE(list.finished);
    EXPECT_TRUE(list.out.contains("Path = report.txt")) << list.out.toStdString();
    EXPECT_TRUE(list.out.contains("AES-256")) << list.out.toStdString();

    const ToolRun extract = run7z({QStringLiteral("e"), QStringLiteral("-so"), pw, archive});
    ASSERT_TRUE(extract.finished);
    EXPECT_EQ(extract.exitCode, 0);
    EXPECT_EQ(extract.out, content);

    const ToolRun wrong = run7z({QStringLiteral("t"), QStringLiteral("-pwrong"), archive});
    ASSERT_TRUE(wrong.finished) << "7z hung on a wrong password";
    EXPECT_NE(wrong.exitCode, 0);

    const ToolRun without = run7z({QStringLiteral("t"), archive});
    ASSERT_TRUE(without.finished) << "7z hung without a password";
    EXPECT_NE(without.exitCode, 0);
}

TEST_F(SevenZip, testsUnencryptedArchivesAtEveryLevel)
{
    const QByteArray content = compressibleText(50000);
    for (long rate : {0L, 1L, 6L, 9L}) {
        const QString archive = pack(QStringLiteral("level%1.txt").arg(rate), content, rate);
        const ToolRun t = run7z({QStringLiteral("t"), archive});
        ASSERT_TRUE(t.finished);
        EXPECT_EQ(t.exitCode, 0) << "rate " << rate << ": " << t.out.toStdString();
        const ToolRun extract = run7z({QStringLiteral("e"), QStringLiteral("-so"), archive});
        EXPECT_EQ(extract.out, content) << "rate " << rate;
    }
}

// ---- an archive already in place --------------------------------------------------------------

struct ExistingRow {
    const char *name;
    std::function<void(const QString &archive, const QString &scratch)> make;
};

void PrintTo(const ExistingRow &row, std::ostream *os)
{
    *os << row.name;
}

class ZipReplace : public ZipLayer, public ::testing::WithParamInterface<ExistingRow> {};

// With the date and time option off every cycle writes the same report.zip.
TEST_P(ZipReplace, existingArchiveIsReplacedWhole)
{
    const QString archive = save() + QStringLiteral("/report.zip");
    const QString scratch = root() + QStringLiteral("/scratch");
    ASSERT_TRUE(QDir().mkpath(scratch));
    GetParam().make(archive, scratch);
    ASSERT_TRUE(QFileInfo::exists(archive));

    const QByteArray content = compressibleText(10000);
    const QString src = source(QStringLiteral("report.txt"), content);
    ASSERT_EQ(zip::ZipFile(archive, src, QString(), -1, 0), 0) << zip::lastZipError().toStdString();

    const ArchiveView view = inspect(archive);
    ASSERT_TRUE(view.opened);
    EXPECT_EQ(view.entries, 1);
    EXPECT_EQ(view.name, QStringLiteral("report.txt"));
    EXPECT_EQ(view.encryption, ZIP_EM_NONE) << "an earlier password must not carry over";
    const ReadOutcome read = readEntry(archive, nullptr);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.data, content);
    EXPECT_EQ(names(save()), QStringList{QStringLiteral("report.zip")});
}

void zipInto(const QString &archive, const QString &scratch, const char *fileName, const QByteArray &bytes,
             const QString &password = {})
{
    const QString path = scratch + u'/' + QString::fromUtf8(fileName);
    ASSERT_TRUE(writeFile(path, bytes));
    ASSERT_EQ(zip::ZipFile(archive, path, password, -1, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ZipReplace,
    ::testing::Values(
        ExistingRow{"ArchiveOfAnotherFile",
                    [](const QString &a, const QString &s) { zipInto(a, s, "other.txt", "another file"); }},
        ExistingRow{"EarlierCycleSameEntry",
                    [](const QString &a, const QString &s) { zipInto(a, s, "report.txt", "yesterday's report"); }},
        ExistingRow{"EarlierCycleWithPassword",
                    [](const QString &a, const QString &s) {
                        zipInto(a, s, "report.txt", "secret report", QStringLiteral("pw"));
                    }},
        ExistingRow{"NotAZipFile", [](const QString &a, const QString &) { writeFile(a, "just some text"); }},
        ExistingRow{"EmptyFile", [](const QString &a, const QString &) { writeFile(a, QByteArray()); }}),
    [](const ::testing::TestParamInfo<ExistingRow> &info) { return std::string(info.param.name); });

// ---- failures leave things as they were ----------------------------------------------------

struct Scene {
    QString root, save, tmp;
    QString archive;  // archive path handed to ZipFile
    QString file;     // file path handed to ZipFile
    QString watched;  // folder that must come out unchanged
    std::vector<std::shared_ptr<void>> guards;  // undone before the folders are removed
};

const QByteArray kOldArchiveMarker = "an older archive, kept byte for byte";

// Puts an old archive at save/report.zip so that its survival can be checked.
void oldArchive(Scene &s)
{
    s.archive = s.save + QStringLiteral("/report.zip");
    zipInto(s.archive, s.root, "old.txt", kOldArchiveMarker);
    s.watched = s.save;
}

// Makes a folder unwritable. Root ignores permission bits, so the immutable
// attribute stands in; returns an empty reason when it worked.
std::string makeUnwritable(Scene &s, const QString &folder)
{
    ::chmod(QFile::encodeName(folder).constData(), 0555);
    s.guards.push_back(std::shared_ptr<void>(nullptr, [folder](void *) {
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    }));
    const QString probe = folder + QStringLiteral("/.probe");
    if (!writeFile(probe, "x"))
        return {};
    QFile::remove(probe);
    auto immutable = std::make_shared<fetchora::testing::Immutable>(folder);
    if (!immutable->ok())
        return "folder permissions are ignored (root) and the immutable attribute cannot be set";
    s.guards.push_back(immutable);
    if (writeFile(probe, "x")) {
        QFile::remove(probe);
        return "the folder stays writable whatever is tried";
    }
    return {};
}

struct FailureRow {
    const char *name;
    long expected;
    // Builds the scene; returns a reason to skip when it cannot be built here.
    std::function<std::string(Scene &)> prepare;
};

void PrintTo(const FailureRow &row, std::ostream *os)
{
    *os << row.name;
}

class ZipFailure : public ZipLayer, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(ZipFailure, errorNumberAndNothingChanged)
{
    Scene scene;
    scene.root = root();
    scene.save = save();
    scene.tmp = tmp();
    scene.file = source(QStringLiteral("report.txt"), compressibleText(20000));
    const std::string skip = GetParam().prepare(scene);
    if (!skip.empty())
        GTEST_SKIP() << skip;

    const auto before = snapshot(scene.watched);
    const QByteArray sourceBefore = readFile(scene.file);
    const long result = zip::ZipFile(scene.archive, scene.file, QStringLiteral("pw"), -1, 0);
    const QString text = zip::lastZipError();
    const auto after = snapshot(scene.watched);
    scene.guards.clear();

    EXPECT_EQ(result, GetParam().expected) << text.toStdString();
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(after.keys(), before.keys()) << "a temporary file stayed behind or the old archive went";
    EXPECT_TRUE(after == before) << "the old archive was changed";
    if (QFileInfo(scene.file).isFile()) {
        EXPECT_EQ(readFile(scene.file), sourceBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZipFailure,
    ::testing::Values(
        FailureRow{"SourceMissing", 53,
                   [](Scene &s) {
                       oldArchive(s);
                       s.file = s.tmp + QStringLiteral("/gone.txt");
                       return std::string();
                   }},
        FailureRow{"SourceIsAFolder", 53,
                   [](Scene &s) {
                       oldArchive(s);
                       s.file = s.tmp + QStringLiteral("/folder.txt");
                       QDir().mkpath(s.file);
                       return std::string();
                   }},
        FailureRow{"SaveFolderMissing", 76,
                   [](Scene &s) {
                       s.archive = s.save + QStringLiteral("/gone/report.zip");
                       s.watched = s.save;
                       return std::string();
                   }},
        FailureRow{"FolderInTheArchivesPlace", 75,
                   [](Scene &s) {
                       s.archive = s.save + QStringLiteral("/report.zip");
                       QDir().mkpath(s.archive);
                       writeFile(s.archive + QStringLiteral("/inside.txt"), "kept");
                       s.watched = s.archive;
                       return std::string();
                   }},
        FailureRow{"SaveFolderReadOnly", 70,
                   [](Scene &s) {
                       oldArchive(s);
                       return makeUnwritable(s, s.save);
                   }},
        FailureRow{"DiskFull", 61,
                   [](Scene &s) -> std::string {
                       auto mount = std::make_shared<fetchora::testing::TmpfsMount>(s.save, "size=128k");
                       if (!mount->ok())
                           return "cannot mount a small tmpfs here";
                       s.guards.push_back(mount);
                       oldArchive(s);
                       // Random bytes do not shrink: twice the room is too much.
                       if (!writeFile(s.file, randomBytes(256 * 1024)))
                           return "cannot write the source";
                       return {};
                   }}),
    [](const ::testing::TestParamInfo<FailureRow> &info) { return std::string(info.param.name); });

// ---- a file past the 32-bit sizes ---------------------------------------------------------

// A sparse file costs no disk, but deflating and checking 4 GiB takes far
// longer than the rest of the suite together; run it by hand with
// --gtest_also_run_disabled_tests.
TEST_F(ZipLayer, DISABLED_fileOverFourGibibytes)
{
    const qint64 size = (qint64(1) << 32) + 4096;
    const QString src = tmp() + QStringLiteral("/huge.bin");
    {
        QFile f(src);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size - 4));
        ASSERT_TRUE(f.seek(size - 4));
        ASSERT_EQ(f.write("tail", 4), 4);
    }
    const QString archive = save() + QStringLiteral("/huge.zip");
    zipInto(archive, root(), "old.txt", kOldArchiveMarker);
    const auto before = snapshot(save());

    zip::SetCompressionRate(1);
    QElapsedTimer clock;
    clock.start();
    const long result = zip::ZipFile(archive, src, QString(), -1, 0);
    std::cout << "[          ] " << size << " bytes in " << clock.elapsed() << " ms, result " << result << '\n';

    if (result == 0) {
        const ArchiveView view = inspect(archive);
        ASSERT_TRUE(view.opened);
        EXPECT_EQ(view.entries, 1);
        EXPECT_EQ(view.size, zip_uint64_t(size));
        EXPECT_EQ(names(save()), QStringList{QStringLiteral("huge.zip")});
    } else {
        EXPECT_TRUE(snapshot(save()) == before) << "a failed large file must leave the old archive";
    }
}

}  // namespace
