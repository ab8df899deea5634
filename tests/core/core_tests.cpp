#include "core/Conversions.h"
#include "core/FileSystem.h"
#include "core/Names.h"
#include "core/Profile.h"
#include "core/ProfileLock.h"
#include "core/IniFile.h"
#include "core/Texts.h"
#include "support/AppSandbox.h"
#include "support/QStringPrinter.h"
#include "support/QtTestMain.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

// The runtime error a call raises, 0 for none; its description goes to lastDescription.
QString lastDescription;
long errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const RuntimeError &e) {
        lastDescription = e.description();
        return e.number();
    }
    return 0;
}

// A row with nothing to write only reads: the value or the default, and the file stays as it was, or missing. Blanks at
// the ends and enclosing quotes, which the reader takes off, go inside one more pair of quotes.
TEST(IniFile, AReadNeverChangesTheFileAndAWriteChangesOneKeyAndKeepsEveryOtherLine)
{
    // The older single-byte version wrote Windows-1252: read as its user wrote it, and its first write makes it UTF-8.
    const QByteArray cp1252 = "[Options]\r\nPwd=pa\x80\x84\x93\xfc\xdf\r\nSavePath=/home/j\xfcrgen\r\n";
    const struct {
        QByteArray before;
        const char *key;
        QString read, written = {};
        QByteArray after = {};
    } cases[] = {
        {{}, "URL", "DEF"},  // no file
        {"[options]\r\nurl=http://a/b\r\n", "URL", "http://a/b"},
        {"[Options]\r\nPwd=\r\n", "Pwd", ""},
        {"[Options]\nURL =  \"a b\"  \n", "URL", "a b"},
        {"[Global]\r\nURL=x\r\n[Options]\r\nPwd=1\r\n", "URL", "DEF"},
        {"[Options]\r\nURL=" + QByteArray(300, 'x') + "\r\n", "URL", QString(255, 'x')},
        {{}, "URL", {}, "new", "[Options]\r\nURL=new\r\n"},
        {"[Global]\r\nLanguage=English\r\n[options]\r\nurl=old\r\nPwd=p\r\n; note\r\n", "URL", {}, "new",
         "[Global]\r\nLanguage=English\r\n[options]\r\nurl=new\r\nPwd=p\r\n; note\r\n"},
        {"[Options]\r\nPwd=p\r\n\r\n[Global]\r\nLanguage=English\r\n", "URL", {}, "new",
         "[Options]\r\nPwd=p\r\nURL=new\r\n\r\n[Global]\r\nLanguage=English\r\n"},
        {"[Global]\nLanguage=English", "URL", {}, "new", "[Global]\nLanguage=English\n[Options]\nURL=new\n"},
        {{}, "URL", {}, " a b ", "[Options]\r\nURL=\" a b \"\r\n"},
        {{}, "URL", {}, "\"q\"", "[Options]\r\nURL=\"\"q\"\"\r\n"},
        {{}, "URL", {}, "'s'", "[Options]\r\nURL=\"'s'\"\r\n"},
        {{}, "URL", {}, "\"a", "[Options]\r\nURL=\"a\r\n"},
        {cp1252, "Pwd", "pa€„“üß"},
        {cp1252, "URL", {}, "http://h/ä", "[Options]\r\nPwd=pa€„“üß\r\nSavePath=/home/jürgen\r\nURL=http://h/ä\r\n"},
    };
    for (const auto &c : cases) {
        AppSandbox box;
        if (!c.before.isNull())
            box.writeIni(c.before);
        if (!c.written.isNull())
            box.ini().write("Options", c.key, c.written);
        EXPECT_EQ(box.ini().read("Options", c.key, "DEF", 256), c.written.isNull() ? c.read : c.written);
        EXPECT_EQ(box.readIni(), c.written.isNull() ? c.before : c.after);
        EXPECT_EQ(QFile::exists(box.ini().path()), !c.before.isNull() || !c.written.isNull());
    }
    AppSandbox box;
    box.ini().write("Options", "SavePath", "/home/jürgen/Büro");
    ASSERT_EQ(::chmod(qPrintable(box.ini().path()), 0444), 0);  // a write that cannot happen is silent
    box.ini().write("Options", "SavePath", "elsewhere");
    EXPECT_EQ(box.ini().read("Options", "SavePath", "", 256), "/home/jürgen/Büro");
}

// The lock is held by a live process only: a file left by a killed one (whatever process id it names, even this
// process's own, as after a restart in a fresh PID namespace) is taken over; what is in the way is said with its cause.
TEST(ProfileLock, OnlyALiveHolderKeepsItAndEveryOtherCauseIsNamed)
{
    const struct {
        const char *name;
        std::function<int(const QString &lockPath)> before;  // an open file held locked, or -1
        int exitCode;
        QString says;
    } rows[] = {
        {"held", [](const QString &path) {
             writeFile(path, "4242\nfetchora\nelsewhere\n");
             const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
             ::flock(fd, LOCK_EX);
             return fd;
         }, 1, "(process 4242 of "},
        {"left under this process's id", [](const QString &path) {
             writeFile(path, QByteArray::number(::getpid()) + "\nfetchora\nh\n");
             return -1;
         }, 0, ""},
        {"a folder in its place", [](const QString &path) { QDir().mkpath(path); return -1; }, 2, "(Is a directory)"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        AppSandbox box;
        const int held = row.before(box.path("fcr.lock"));
        ProfileLock lock = lockProfile(*box.profile, Language::English);
        EXPECT_EQ(lock.taken(), row.exitCode == 0);
        EXPECT_EQ(lock.exitCode, row.exitCode);
        EXPECT_TRUE(lock.problem.contains(row.says)) << qPrintable(lock.problem);
        if (lock.taken()) {  // and a second program on it is told whose it is
            EXPECT_TRUE(lockProfile(*box.profile, Language::English).problem.contains(
                QStringLiteral("process %1 of ").arg(::getpid())));
        }
        if (held >= 0)
            ::close(held);
    }
}

TEST(Conversions, BooleansAndNumbersAsTheSettingsFileMeansThem)
{
    // Negative: the error raised (13 type mismatch).
    const std::tuple<const char *, int, int> cases[] = {
        {"0", 0, 0},    {"False", 0, -13}, {"false", 0, -13}, {"True", 1, -13}, {"true", 1, -13},
        {"1", 1, 1},    {"-1", 1, -1},     {"2.5", 1, 2},     {"3.5", 1, 4},    {"yes", -13, -13},
        {"", -13, -13}, {".", -13, -13},   {"&HA", 1, 10},   {"2147483647", 1, 2147483647}};
    for (const auto &[text, boolean, number] : cases) {
        int b = 0, n = 0;
        const long notBoolean = errorOf([&] { b = CBool(text); }), notNumber = errorOf([&] { n = CLng(text); });
        EXPECT_EQ(notBoolean ? -notBoolean : b, boolean) << text;
        EXPECT_EQ(notNumber ? -notNumber : n, number) << text;
    }
}

// A few texts that reach the user outside the window's own captions; the window's tests see the others.
const struct {
    QString Texts::*text;
    const char *de, *en;
} kTexts[] = {
    {&Texts::msgFinished, "Download beendet.", "Download competed"},
    {&Texts::capTrayOpen, "Ö&ffnen", "&Open"},
    {&Texts::capCompressing, "Komprimiere Datei ...", "Compress file ..."},
};

TEST(Texts, OnlyExactlyEnglishGivesTheEnglishColumn)
{
    for (const QString language : {"English", "English", "Deutsch", "english", "ENGLISH", "", "English "}) {
        Profile profile(QDir::tempPath());
        profile.setLanguageName(language);
        SetLanguage(profile);
        for (const auto &row : kTexts)
            EXPECT_EQ(profile.texts().*row.text, QString::fromUtf8(language == "English" ? row.en : row.de)) << qPrintable(language);
    }
}

// clang-format off
TEST(Names, APasswordNeverShows)
{
    // "/", "?" or "#" in a password end the host part of the URL: masked from "://" to the last "@". A user
    // part alone may be a token: masked too.
    const std::pair<const char *, const char *> rows[] = {
        {"http://me:secret@h/a.txt", "http://me:***@h/a.txt"}, {"https://me:pa#ss@h/a", "https://***@h/a"},
        {"https://me:pa?ss@h/a?x=1", "https://***@h/a?x=1"},  {"https://me:pa/ss@h/a", "https://***@h/a"},
        {"https://me:12/ss@h:80/a", "https://***@h:80/a"},     {"https://me:p@ss@h/a@b", "https://me:***@h/a@b"},
        {"https://me:p:ss@h/a", "https://me:***@h/a"},         {"http://me:p%40s@[::1]:8/a", "http://me:***@[::1]:8/a"},
        {" me:secret@h/a.txt", "me:***@h/a.txt"},              {"http://me@h/a.txt", "http://***@h/a.txt"},
        {"https://TOKEN@h:8/a", "https://***@h:8/a"},          {"https://:pw@h/a", "https://:***@h/a"},
        {"https://@h/a", "https://@h/a"},                      {"https://h/@me.rss?a@b", "https://h/@me.rss?a@b"}};
    for (const auto &[url, shown] : rows)
        EXPECT_EQ(displayUrl(url), shown) << url;
}

TEST(Names, TheNameComesFromThePathAsABrowserResolvesIt)
{
    // Nothing of a password; a long name cut to leave room beside it.
    const QString longBase = QString(200, u'a') + QString(30, u'\u00fc');
    const std::pair<QString, QString> rows[] = {
        {"http://h/a/b.tar.gz#p/2", "b.tar.gz"},     {"http://h/?id=5", "index.html"},
        {"http://h/a/.", "index.html"},              {"http://h/a/%2E%2e", "index.html"},
        {"http://h/a/b/../c.txt", "c.txt"},          {"http://h/a/./b\\c.txt", "c.txt"},
        {"h/x/page", "page"},                        {"https://me:pa/ss@h", "index.html"},
        {"http://h/" + longBase + ".txt", QString(200, u'a') + QString(9, u'\u00fc') + ".txt"}};
    for (const auto &[url, name] : rows)
        EXPECT_EQ(fileNameFromUrl(url).fileName, name) << qPrintable(url);
    EXPECT_EQ(fileNameFromUrl("http://h/b.tar.gz").baseName, "b.tar") << "split at the last dot";
}
// clang-format on

TEST(Fs, MovesNeverReplaceForceDeletesAndFilesAndFoldersAreToldApart)
{
    QTemporaryDir dir;
    const auto at = [&](const QString &name) { return dir.filePath(name); };
    FileSystem fso{Language::English};
    ASSERT_TRUE(writeFile(at("a"), "new") && writeFile(at("b"), "old"));
    EXPECT_EQ(RuntimeError(1234).describe(Language::English), "Application-defined or object-defined error")
        << "no text of its own";
    for (const auto &[from, to, number, said] : {std::tuple{at("a"), at("b"), 58L, "File already exists: " + at("b")},
                                                 {at("missing"), at("c"), 53L, "File not found: " + at("missing")},
                                                 {at("a"), at("gone/c"), 76L, "Path not found: " + at("gone")}}) {
        EXPECT_EQ(errorOf([&] { fso.MoveFile(from, to); }), number) << qPrintable(to);
        EXPECT_EQ(lastDescription, said);
        EXPECT_EQ(readAll(at("a")) + readAll(at("b")), "newold");
    }
    ASSERT_TRUE(writeFile(at("f"), "x") && ::chmod(qPrintable(at("f")), 0444) == 0);  // read-only
    EXPECT_EQ(errorOf([&] { fso.CreateFolder(at("tmp")); }), 0);
    EXPECT_EQ(errorOf([&] { fso.CreateFolder(at("gone/tmp")); }), 76);
    EXPECT_TRUE(fso.FileExists(at("f")) && fso.FolderExists(at("tmp")));
    EXPECT_FALSE(fso.FileExists(at("tmp")) || fso.FolderExists(at("f")) || fso.FileExists(at("gone")));
    EXPECT_EQ(errorOf([&] { fso.DeleteFile(at("f"), false); }), 70);
    EXPECT_TRUE(fso.FileExists(at("f")));
    EXPECT_EQ(errorOf([&] { fso.DeleteFile(at("f"), true); }), 0);
    EXPECT_EQ(errorOf([&] { fso.DeleteFile(at("f"), true); }), 53);
}

}  // namespace

FETCHORA_CORE_TEST_MAIN("fetchora-startup-tests-no-viewer")
