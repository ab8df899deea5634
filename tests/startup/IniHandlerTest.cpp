#include "startup/Conversions.h"
#include "trace/RuntimeError.h"
#include "startup/modGlobal.h"
#include "startup/modINIHandler.h"
#include "startup/FsHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace fetchora;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("fcr.ini"));
        strINIFile = m_path;
    }
    void TearDown() override { strINIFile.clear(); }

    void put(const QByteArray &content)
    {
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(content), content.size());
    }
    QByteArray content() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QString read(const char *section, const char *key, const char *def = "<default>", short size = 256)
    {
        return GetINIString(QString::fromLatin1(section), QString::fromLatin1(key), QString::fromLatin1(def), size);
    }
    void write(const char *section, const char *key, const QString &value)
    {
        WriteINIString(QString::fromLatin1(section), QString::fromLatin1(key), value);
    }

    QTemporaryDir m_dir;
    QString m_path;
};

// ---- reading ----------------------------------------------------------------

struct ReadRow {
    const char *name;
    QByteArray file;
    const char *section;
    const char *key;
    QString expected;
};

void PrintTo(const ReadRow &row, std::ostream *os)
{
    *os << row.name;
}

class IniReadRows : public IniFileTest, public ::testing::WithParamInterface<ReadRow> {};

TEST_P(IniReadRows, readsValueAsTheProfileReaderDoes)
{
    const ReadRow &row = GetParam();
    put(row.file);
    EXPECT_EQ(read(row.section, row.key), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IniReadRows,
    ::testing::Values(
        ReadRow{"crlfFile", "[Options]\r\nURL=http://a/b.txt\r\nPwd=x\r\n", "Options", "URL",
                QStringLiteral("http://a/b.txt")},
        ReadRow{"lfFile", "[Options]\nURL=http://a/b.txt\nPwd=x\n", "Options", "Pwd", QStringLiteral("x")},
        ReadRow{"lastLineWithoutNewline", "[Options]\nURL=last", "Options", "URL", QStringLiteral("last")},
        ReadRow{"blanksAroundEverything", "  [Options]  \r\n   URL   =   two words  \r\n", "Options", "URL",
                QStringLiteral("two words")},
        ReadRow{"tabsAroundNameAndValue", "[Options]\n\tURL\t=\tv\t\n", "Options", "URL", QStringLiteral("v")},
        ReadRow{"blanksInsideBrackets", "[ Options ]\nURL=v\n", "Options", "URL", QStringLiteral("v")},
        ReadRow{"doubleQuotesDropped", "[Options]\nPwd=\"  padded  \"\n", "Options", "Pwd",
                QStringLiteral("  padded  ")},
        ReadRow{"singleQuotesDropped", "[Options]\nPwd='q'\n", "Options", "Pwd", QStringLiteral("q")},
        ReadRow{"onlyOnePairOfQuotes", "[Options]\nPwd=\"\"x\"\"\n", "Options", "Pwd", QStringLiteral("\"x\"")},
        ReadRow{"unmatchedQuoteKept", "[Options]\nPwd=\"abc\n", "Options", "Pwd", QStringLiteral("\"abc")},
        ReadRow{"mixedQuotesKept", "[Options]\nPwd=\"abc'\n", "Options", "Pwd", QStringLiteral("\"abc'")},
        ReadRow{"loneQuoteKept", "[Options]\nPwd=\"\n", "Options", "Pwd", QStringLiteral("\"")},
        ReadRow{"sectionAndKeyIgnoreCase", "[oPtIoNs]\nurl=v\n", "OPTIONS", "Url", QStringLiteral("v")},
        ReadRow{"firstDuplicateKeyWins", "[Options]\nURL=first\nURL=second\n", "Options", "URL",
                QStringLiteral("first")},
        ReadRow{"onlyFirstDuplicateSectionCounts", "[Options]\nA=1\n[Global]\n[OPTIONS]\nURL=second\nA=2\n",
                "Options", "URL", QStringLiteral("<default>")},
        ReadRow{"firstSectionsKeyWins", "[Options]\nA=1\n[Global]\n[OPTIONS]\nA=2\n", "Options", "A",
                QStringLiteral("1")},
        ReadRow{"lineWithoutEqualsIgnored", "[Options]\nURL\nURL=real\n", "Options", "URL",
                QStringLiteral("real")},
        ReadRow{"commentIsNoKey", "[Options]\n;URL=commented\n", "Options", "URL", QStringLiteral("<default>")},
        ReadRow{"keyAfterComment", "[Options]\n; URL=commented\nURL=real\n", "Options", "URL",
                QStringLiteral("real")},
        ReadRow{"emptyValueIsNotDefault", "[Options]\nPwd=\n", "Options", "Pwd", QString()},
        ReadRow{"blankValueIsEmpty", "[Options]\nPwd=   \t\n", "Options", "Pwd", QString()},
        ReadRow{"equalsInsideValue", "[Options]\nURL=http://h/get?a=b&c=d\n", "Options", "URL",
                QStringLiteral("http://h/get?a=b&c=d")},
        ReadRow{"keyOfOtherSection", "[Global]\nURL=g\n[Options]\nPwd=p\n", "Options", "URL",
                QStringLiteral("<default>")},
        ReadRow{"keyBeforeAnySection", "URL=x\n[Options]\n", "Options", "URL", QStringLiteral("<default>")},
        ReadRow{"missingSection", "[Global]\nLanguage=English\n", "Options", "URL", QStringLiteral("<default>")},
        ReadRow{"singleByteCodePage", "[Options]\nPwd=Gr\xfc\xdf" "e\n", "Options", "Pwd",
                QString::fromUtf8("Grüße")},
        ReadRow{"nulEndsValue", QByteArray("[Options]\nURL=ab\0cd\n", 20), "Options", "URL",
                QStringLiteral("ab")},
        ReadRow{"mixedLineEndings", "[Global]\r\nLanguage=English\n[Options]\r\nURL=u\r\n", "Options", "URL",
                QStringLiteral("u")}),
    [](const ::testing::TestParamInfo<ReadRow> &info) { return std::string(info.param.name); });

TEST_F(IniFileTest, missingFileGivesDefaultAndIsNotCreated)
{
    EXPECT_EQ(read("Global", "Language", "Deutsch"), QStringLiteral("Deutsch"));
    EXPECT_EQ(read("Options", "URL", ""), QString());
    EXPECT_FALSE(QFileInfo::exists(m_path));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 0);
}

TEST_F(IniFileTest, defaultLosesTrailingBlanksAndIsCutToo)
{
    EXPECT_EQ(read("Options", "URL", "abc  "), QStringLiteral("abc"));
    EXPECT_EQ(read("Options", "URL", "abcdefgh", 4), QStringLiteral("abc"));
}

TEST_F(IniFileTest, longValueIsCutToSizeMinusOne)
{
    const QByteArray value(300, 'v');
    put("[Options]\r\nURL=" + value + "\r\n");
    EXPECT_EQ(read("Options", "URL"), QString(255, QLatin1Char('v')));
    EXPECT_EQ(read("Options", "URL", "", 10), QString(9, QLatin1Char('v')));
    EXPECT_EQ(read("Options", "URL", "", 1), QString());
}

TEST_F(IniFileTest, binaryGarbageDoesNotCrash)
{
    QByteArray garbage;
    quint32 seed = 12345;
    for (int i = 0; i < 64 * 1024; ++i) {
        seed = seed * 1103515245u + 12345u;
        garbage += char(seed >> 24);
    }
    put(garbage);
    EXPECT_EQ(read("Options", "URL"), QStringLiteral("<default>"));

    // What still parses after the garbage is found.
    put(garbage + QByteArray("\0\0\n[Options]\nURL=found\n", 23));
    EXPECT_EQ(read("Options", "URL"), QStringLiteral("found"));

    write("Options", "Pwd", QStringLiteral("p"));
    EXPECT_EQ(read("Options", "Pwd"), QStringLiteral("p"));
    EXPECT_TRUE(content().startsWith(garbage));
}

// The Boolean keys as the callers read them.
struct BoolRow {
    const char *name;
    QByteArray file;
    const char *def;
    bool expected;
};

class IniBooleanRows : public IniFileTest, public ::testing::WithParamInterface<BoolRow> {};

TEST_P(IniBooleanRows, compressKeyConvertsToBoolean)
{
    const BoolRow &row = GetParam();
    if (!row.file.isNull())
        put(row.file);
    EXPECT_EQ(CBool(read("Options", "Compress", row.def)), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, IniBooleanRows,
                         ::testing::Values(BoolRow{"zero", "[Options]\nCompress=0\n", "False", false},
                                           BoolRow{"falseWord", "[Options]\nCompress=False\n", "True", false},
                                           BoolRow{"one", "[Options]\nCompress=1\n", "False", true},
                                           BoolRow{"trueWord", "[Options]\nCompress=True\n", "False", true},
                                           BoolRow{"keyMissing", "[Options]\nURL=x\n", "False", false},
                                           BoolRow{"fileMissing", QByteArray(), "False", false},
                                           BoolRow{"mode1Default", QByteArray(), "True", true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(IniFileTest, emptyBooleanValueIsATypeMismatchForTheCaller)
{
    put("[Options]\nCompress=\n");
    try {
        CBool(read("Options", "Compress", "False"));
        FAIL() << "no error";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), err::TypeMismatch);
    }
}

// ---- writing ----------------------------------------------------------------

TEST_F(IniFileTest, writeCreatesFileWithSectionAndKey)
{
    write("Options", "URL", QStringLiteral("http://h/f.txt"));
    EXPECT_EQ(content(), QByteArray("[Options]\r\nURL=http://h/f.txt\r\n"));
    write("Global", "Language", QStringLiteral("English"));
    EXPECT_EQ(content(), QByteArray("[Options]\r\nURL=http://h/f.txt\r\n[Global]\r\nLanguage=English\r\n"));
    EXPECT_EQ(read("Options", "URL"), QStringLiteral("http://h/f.txt"));
    EXPECT_EQ(read("Global", "Language"), QStringLiteral("English"));
}

struct WriteRow {
    const char *name;
    QByteArray before;
    const char *section;
    const char *key;
    const char *value;
    QByteArray after;
};

void PrintTo(const WriteRow &row, std::ostream *os)
{
    *os << row.name;
}

class IniWriteRows : public IniFileTest, public ::testing::WithParamInterface<WriteRow> {};

TEST_P(IniWriteRows, writeChangesOnlyWhatItMust)
{
    const WriteRow &row = GetParam();
    put(row.before);
    write(row.section, row.key, QString::fromLatin1(row.value));
    EXPECT_EQ(content(), row.after);
    EXPECT_EQ(read(row.section, row.key), QString::fromLatin1(row.value).trimmed());
}

const QByteArray kCrlfFile = "; Fetchora settings\r\n"
                             "[Global]\r\n"
                             "Language=English\r\n"
                             "\r\n"
                             "[Options]\r\n"
                             "; the address\r\n"
                             "URL = http://old/x.txt   \r\n"
                             "Unknown=keep me\r\n"
                             "SavePath=/srv/save";  // no newline at the end

INSTANTIATE_TEST_SUITE_P(
    Rows, IniWriteRows,
    ::testing::Values(
        WriteRow{"crlfReplaceKeepsEveryOtherByte", kCrlfFile, "Options", "URL", "http://new/y.zip",
                 QByteArray(kCrlfFile).replace("URL = http://old/x.txt   ", "URL =http://new/y.zip")},
        WriteRow{"lfReplaceKeepsEveryOtherByte", QByteArray(kCrlfFile).replace("\r\n", "\n"), "Global",
                 "Language", "Deutsch",
                 QByteArray(kCrlfFile).replace("\r\n", "\n").replace("Language=English", "Language=Deutsch")},
        WriteRow{"lastLineWithoutNewlineStaysSo", kCrlfFile, "Options", "SavePath", "/new",
                 QByteArray(kCrlfFile).replace("SavePath=/srv/save", "SavePath=/new")},
        WriteRow{"caseOfFileNamesKept", "[OPTIONS]\nurl=old\n", "Options", "URL", "new", "[OPTIONS]\nurl=new\n"},
        WriteRow{"firstDuplicateUpdated", "[Options]\nURL=1\nURL=2\n", "Options", "URL", "3",
                 "[Options]\nURL=3\nURL=2\n"},
        WriteRow{"newKeyAfterLastKeyOfSection", QByteArray(kCrlfFile).replace("\r\n", "\n"), "Global", "Extra",
                 "e",
                 QByteArray(kCrlfFile).replace("\r\n", "\n").replace("Language=English\n",
                                                                     "Language=English\nExtra=e\n")},
        WriteRow{"newKeyInLastSectionWithoutNewline", kCrlfFile, "Options", "Pwd", "secret",
                 kCrlfFile + "\r\nPwd=secret"},
        WriteRow{"newKeyInEmptySection", "[Options]\r\n[Global]\r\n", "Options", "Start", "True",
                 "[Options]\r\nStart=True\r\n[Global]\r\n"},
        WriteRow{"newSectionAppendedWithFilesLineEnding", "[Global]\nLanguage=English\n", "Options", "Intervall",
                 "5", "[Global]\nLanguage=English\n[Options]\nIntervall=5\n"},
        WriteRow{"newSectionAfterMissingNewline", "[Global]\r\nLanguage=English", "Options", "Intervall", "5",
                 "[Global]\r\nLanguage=English\r\n[Options]\r\nIntervall=5\r\n"},
        WriteRow{"emptyValueWritten", "[Options]\nPwd=old\n", "Options", "Pwd", "", "[Options]\nPwd=\n"},
        WriteRow{"commentedKeyIsNotReused", "[Options]\n;Pwd=old\n", "Options", "Pwd", "p",
                 "[Options]\n;Pwd=old\nPwd=p\n"}),
    [](const ::testing::TestParamInfo<WriteRow> &info) { return std::string(info.param.name); });

TEST_F(IniFileTest, textIsStoredInTheSystemEncodingAndOldSingleByteFilesStillRead)
{
    // Folders with umlauts or CJK names must survive a write and a read.
    write("Options", "SavePath", QString::fromUtf8("/Ablage/äöü ß €/日本語"));
    EXPECT_EQ(content(), QByteArray("[Options]\r\nSavePath=/Ablage/äöü ß €/日本語\r\n"));
    EXPECT_EQ(read("Options", "SavePath"), QString::fromUtf8("/Ablage/äöü ß €/日本語"));

    // A file from a single-byte system is not valid UTF-8: read byte by byte.
    put("[Options]\r\nSavePath=C:\\Ablage\\B\xfcro\r\n");
    EXPECT_EQ(read("Options", "SavePath"), QString::fromUtf8("C:\\Ablage\\Büro"));
}

TEST_F(IniFileTest, lineBreakInValueCannotAddLines)
{
    put("[Options]\nURL=old\n");
    write("Options", "URL", QStringLiteral("a\r\n[Global]\nLanguage=English"));
    EXPECT_EQ(read("Global", "Language"), QStringLiteral("<default>"));
    EXPECT_EQ(content().count('\n'), 2);
}

TEST_F(IniFileTest, writeKeepsPermissionsAndLeavesNoTemporaryFile)
{
    put("[Options]\nURL=old\n");
    ASSERT_EQ(::chmod(QFile::encodeName(m_path).constData(), 0640), 0);
    write("Options", "URL", QStringLiteral("new"));
    EXPECT_EQ(read("Options", "URL"), QStringLiteral("new"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(m_path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("fcr.ini")});
}

TEST_F(IniFileTest, missingFolderIsNotCreatedAndWriteIsSilent)
{
    strINIFile = m_dir.filePath(QStringLiteral("nope/fcr.ini"));
    write("Options", "URL", QStringLiteral("x"));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("nope"))));
    EXPECT_EQ(read("Options", "URL"), QStringLiteral("<default>"));
}

TEST_F(IniFileTest, fileInPlaceOfFolderMakesWriteSilent)
{
    QFile blocker(m_dir.filePath(QStringLiteral("app")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    strINIFile = m_dir.filePath(QStringLiteral("app/fcr.ini"));
    write("Options", "URL", QStringLiteral("x"));
    EXPECT_EQ(read("Options", "URL"), QStringLiteral("<default>"));
    EXPECT_EQ(QFileInfo(blocker.fileName()).size(), 0);
}

TEST_F(IniFileTest, readOnlyFileStaysUnchanged)
{
    const QByteArray before = "[Options]\r\nURL=old\r\n";
    put(before);
    ASSERT_EQ(::chmod(QFile::encodeName(m_path).constData(), 0444), 0);
    write("Options", "URL", QStringLiteral("new"));
    write("Options", "Pwd", QStringLiteral("p"));
    EXPECT_EQ(content(), before);
    EXPECT_EQ(read("Options", "URL"), QStringLiteral("old"));
}

TEST_F(IniFileTest, immutableFileStaysUnchanged)
{
    const QByteArray before = "[Options]\r\nURL=old\r\n";
    put(before);
    fetchora::testing::Immutable guard(m_path);
    if (!guard.ok())
        GTEST_SKIP() << "cannot set the immutable attribute here (needs CAP_LINUX_IMMUTABLE and ext4/xfs)";
    write("Options", "URL", QStringLiteral("new"));
    EXPECT_EQ(content(), before);
}

TEST_F(IniFileTest, readOnlyFolderGetsNoFile)
{
    // Permission bits do not stop root, the immutable attribute does.
    fetchora::testing::Immutable guard(m_dir.path());
    if (!guard.ok())
        GTEST_SKIP() << "cannot set the immutable attribute here (needs CAP_LINUX_IMMUTABLE and ext4/xfs)";
    write("Options", "URL", QStringLiteral("x"));
    EXPECT_FALSE(QFileInfo::exists(m_path));
    EXPECT_EQ(read("Options", "URL"), QStringLiteral("<default>"));
}

}  // namespace
