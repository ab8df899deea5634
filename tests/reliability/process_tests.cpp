// The program itself, started unattended ("-s -m") in an application folder
// of its own and killed at the worst moments: nothing half-written may be
// left as a copy, and the next start must work.

#include "support/QStringPrinter.h"
#include "support/TestFiles.h"
#include "support/TestHttpServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>
#include <zip.h>

using namespace fetchora::testing;

namespace {

class KilledProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listening());
        app = dir.filePath("app");
        save = dir.filePath("save");
        ASSERT_TRUE(QDir().mkpath(app) && QDir().mkpath(save));
        // The folder of the executable is the application folder.
        ASSERT_TRUE(QFile::copy(QStringLiteral(FETCHORA_EXE), app + "/fetchora"));
        QFile::setPermissions(app + "/fetchora", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }

    void writeIni(const QByteArray &options)
    {
        QFile ini(app + "/fcr.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Global]\r\nLanguage=English\r\n[Options]\r\nURL=" + server.url("/files/report.bin").toUtf8()
                  + "\r\nSavePath=" + save.toUtf8() + "\r\nStart=1\r\nIntervall=1\r\nMode1=0\r\nShowErrors=0\r\n" + options);
    }

    void start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", dir.filePath("home"));
        env.insert("XDG_CONFIG_HOME", dir.filePath("home/.config"));
        for (const char *v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
            env.remove(v);
        program.setProcessEnvironment(env);
        program.setProgram(app + "/fetchora");
        program.setArguments({"-s", "-m"});
        program.start();
        ASSERT_TRUE(program.waitForStarted(10000));
    }

    void kill()
    {
        program.kill();
        ASSERT_TRUE(program.waitForFinished(10000));
    }

    TestHttpServer server;
    QTemporaryDir dir;
    QString app;
    QString save;
    QProcess program;
};

TEST_F(KilledProgram, DuringATransferTheOldCopyStaysAndTheNextStartStoresTheFile)
{
    {
        QFile old(save + "/report.bin");
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("previous copy");
    }
    Reply slow = Reply::ok(4 << 20);
    slow.dripDelayMs = 10;
    slow.dripChunk = 8192;
    server.route("/files/report.bin", slow);
    writeIni({});
    start();
    const QString part = app + "/tmp/report.bin.part";
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(part).size() > 0; }, 20000)) << "the transfer never began";
    kill();
    EXPECT_EQ(readAll(save + "/report.bin"), "previous copy");
    EXPECT_EQ(entries(save), QStringList{"report.bin"});

    server.route("/files/report.bin", Reply::ok(300000));
    start();
    ASSERT_TRUE(waitUntil([&] { return fileHoldsBody(save + "/report.bin", 300000); }, 20000));
    kill();
    EXPECT_EQ(entries(save), QStringList{"report.bin"});
    EXPECT_FALSE(QFile::exists(part)) << "the partial download of the killed run is gone";
}

bool isArchiveOf(const QString &path, qint64 size, const char *password)
{
    int error = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!z)
        return false;
    bool ok = zip_get_num_entries(z, 0) == 1;
    zip_stat_t st;
    ok = ok && zip_stat_index(z, 0, 0, &st) == 0 && qint64(st.size) == size
         && st.encryption_method == (password ? ZIP_EM_AES_256 : ZIP_EM_NONE);
    if (ok && password) {
        zip_file_t *f = zip_fopen_index_encrypted(z, 0, 0, password);
        QByteArray buffer(int(size), 0);
        ok = f && zip_fread(f, buffer.data(), zip_uint64_t(size)) == zip_int64_t(size);
        if (f)
            zip_fclose(f);
    }
    zip_discard(z);
    return ok;
}

TEST_F(KilledProgram, DuringCompressionTheOldArchiveStaysAndTheNextStartReplacesIt)
{
    {
        QFile old(save + "/report.zip");
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("previous archive");
    }
    // Incompressible and large enough that level 9 takes a while.
    server.route("/files/report.bin", Reply::ok(160 << 20));
    writeIni("Compress=True\r\nCompRate=9\r\nPwd=geheim\r\n");
    start();
    const auto compressing = [&] {
        for (const QString &name : entries(save))
            if (name.startsWith('.'))
                return true;
        return false;
    };
    if (!waitUntil(compressing, 60000)) {
        kill();
        GTEST_SKIP() << "compression ended before it could be caught: " << entries(save).join(',').toStdString();
    }
    kill();
    EXPECT_EQ(readAll(save + "/report.zip"), "previous archive");

    server.route("/files/report.bin", Reply::ok(5000));
    start();
    ASSERT_TRUE(waitUntil([&] { return isArchiveOf(save + "/report.zip", 5000, "geheim"); }, 30000))
        << entries(save).join(',').toStdString();
    kill();
    EXPECT_EQ(entries(save), QStringList{"report.zip"}) << "the killed run's half archive is gone";
}

// The trace viewer built with the program, run first, receives the trace of
// the program's start: the START line and Sub Main's enter and exit.
TEST_F(KilledProgram, TheViewerReceivesTheStartOfTheProgram)
{
    // The local socket lives in the temporary folder: a private one keeps a
    // developer's own viewer out of the test.
    const QString sockets = dir.filePath("sockets");
    ASSERT_TRUE(QDir().mkpath(sockets));
    const QString log = dir.filePath("trace.log");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", sockets);
    QProcess viewer;
    viewer.setProcessEnvironment(env);
    viewer.start(QStringLiteral(FETCHORA_TRACE_EXE), {"--log", log});
    ASSERT_TRUE(viewer.waitForStarted(10000));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(sockets + "/Tracewright"); }, 10000));

    writeIni({});
    env.insert("HOME", dir.filePath("home"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("home/.config"));
    program.setProcessEnvironment(env);
    program.start(app + "/fetchora", {});
    ASSERT_TRUE(program.waitForStarted(10000));
    const auto lines = [&] { return QString::fromUtf8(readAll(log)).split(u'\n', Qt::SkipEmptyParts); };
    const bool subMainDone = waitUntil([&] {
        return lines().filter(QRegularExpression(R"(\] <-modGlobal : Sub Main : $)")).size() == 1;
    }, 20000);
    kill();
    viewer.kill();
    viewer.waitForFinished(5000);
    ASSERT_TRUE(subMainDone) << readAll(log).toStdString();

    const QStringList got = lines();
    EXPECT_TRUE(QRegularExpression(R"(^fetchora START TRACEWRIGHT 6\.60 LITE \d\d-\d\d-\d{4},\d\d:\d\d:\d\d$)")
                    .match(got.value(0)).hasMatch()) << got.value(0).toStdString();
    EXPECT_TRUE(QRegularExpression(R"(^\[fetchora\] \[00001\] \[\d{5}\.\d{3}\] ->modGlobal : Sub Main : $)")
                    .match(got.value(1)).hasMatch()) << got.value(1).toStdString();
    // Everything Sub Main calls is traced one level deeper, between the two.
    const int exitAt = int(got.indexOf(QRegularExpression(R"(.*\] <-modGlobal : Sub Main : $)")));
    ASSERT_GT(exitAt, 2);
    for (int i = 2; i < exitAt; ++i)
        EXPECT_TRUE(got[i].contains("] ->\t") || got[i].contains("] <-\t")) << got[i].toStdString();
}

}  // namespace
