#include "startup/FileSystem.h"
#include "startup/FsHelpers.h"
#include "trace/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <sys/stat.h>

using namespace fetchora;

namespace {

// ---- path parts -------------------------------------------------------------

struct PartsRow {
    const char *path;
    const char *fileName;
    const char *extension;
    const char *baseName;
    const char *parent;
};

void PrintTo(const PartsRow &row, std::ostream *os)
{
    *os << '"' << row.path << '"';
}

class PathPartRows : public ::testing::TestWithParam<PartsRow> {};

TEST_P(PathPartRows, splitLikeTheScriptingObject)
{
    const PartsRow &row = GetParam();
    const FileSystem fso;
    const QString path = QString::fromLatin1(row.path);
    EXPECT_EQ(fso.GetFileName(path), QString::fromLatin1(row.fileName));
    EXPECT_EQ(fso.GetExtensionName(path), QString::fromLatin1(row.extension));
    EXPECT_EQ(fso.GetBaseName(path), QString::fromLatin1(row.baseName));
    EXPECT_EQ(fso.GetParentFolderName(path), QString::fromLatin1(row.parent));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PathPartRows,
    ::testing::Values(PartsRow{"/a/b/file.txt", "file.txt", "txt", "file", "/a/b"},
                      PartsRow{"http://host/dir/archive.tar.gz", "archive.tar.gz", "gz", "archive.tar",
                               "http://host/dir"},
                      PartsRow{"C:\\dir\\file.zip", "file.zip", "zip", "file", "C:\\dir"},
                      PartsRow{"/a/b/", "b", "", "b", "/a"}, PartsRow{"/file", "file", "", "file", "/"},
                      PartsRow{"noext", "noext", "", "noext", ""}, PartsRow{".hidden", ".hidden", "hidden", "", ""},
                      PartsRow{"name.", "name.", "", "name", ""}, PartsRow{"a//b.c", "b.c", "c", "b", "a"},
                      PartsRow{"/", "", "", "", ""}, PartsRow{"", "", "", "", ""}));

struct JoinRow {
    const char *path;
    const char *name;
    const char *joined;
};

class BuildPathRows : public ::testing::TestWithParam<JoinRow> {};

TEST_P(BuildPathRows, joinsWithExactlyOneSeparator)
{
    const FileSystem fso;
    EXPECT_EQ(fso.BuildPath(QString::fromLatin1(GetParam().path), QString::fromLatin1(GetParam().name)),
              QString::fromLatin1(GetParam().joined));
}

INSTANTIATE_TEST_SUITE_P(Rows, BuildPathRows,
                         ::testing::Values(JoinRow{"/a", "b", "/a/b"}, JoinRow{"/a/", "b", "/a/b"},
                                           JoinRow{"/a", "/b", "/a/b"}, JoinRow{"/a/", "/b.txt", "/a/b.txt"},
                                           JoinRow{"/", "b", "/b"}, JoinRow{"", "b", "b"},
                                           JoinRow{"/a", "", "/a"}, JoinRow{"C:\\x\\", "y", "C:\\x\\y"}));

// ---- files and folders ------------------------------------------------------

long errorOf(const std::function<void()> &op)
{
    try {
        op();
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.description(), errorDescription(e.number()));
        return e.number();
    }
    return 0;
}

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    static void put(const QString &file, const QByteArray &content)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(content), content.size());
    }
    static QByteArray content(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static QStringList entries(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }
    static void chmodOf(const QString &file, mode_t mode)
    {
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), mode), 0);
    }

    QTemporaryDir m_dir;
    FileSystem m_fso;
};

TEST_F(FileSystemTest, existenceTellsFilesFromFolders)
{
    put(path("f.txt"), "x");
    QDir(m_dir.path()).mkdir(QStringLiteral("sub"));
    EXPECT_TRUE(m_fso.FileExists(path("f.txt")));
    EXPECT_FALSE(m_fso.FolderExists(path("f.txt")));
    EXPECT_TRUE(m_fso.FolderExists(path("sub")));
    EXPECT_TRUE(m_fso.FolderExists(path("sub/")));
    EXPECT_FALSE(m_fso.FileExists(path("sub")));
    EXPECT_FALSE(m_fso.FileExists(path("missing")));
    EXPECT_FALSE(m_fso.FolderExists(path("missing")));
    EXPECT_FALSE(m_fso.FileExists(QString()));
    EXPECT_FALSE(m_fso.FolderExists(QString()));
}

TEST_F(FileSystemTest, createFolderReportsClassicErrors)
{
    EXPECT_EQ(errorOf([&] { m_fso.CreateFolder(path("tmp")); }), 0);
    EXPECT_TRUE(m_fso.FolderExists(path("tmp")));
    EXPECT_EQ(errorOf([&] { m_fso.CreateFolder(path("tmp")); }), err::FileAlreadyExists);
    put(path("file"), "x");
    EXPECT_EQ(errorOf([&] { m_fso.CreateFolder(path("file")); }), err::FileAlreadyExists);
    EXPECT_EQ(errorOf([&] { m_fso.CreateFolder(path("no/such")); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { m_fso.CreateFolder(path("file/sub")); }), err::PathNotFound);
    EXPECT_FALSE(m_fso.FolderExists(path("no")));
}

TEST_F(FileSystemTest, createFolderInLockedFolderIsPermissionDenied)
{
    fetchora::testing::Immutable guard(m_dir.path());
    if (!guard.ok())
        GTEST_SKIP() << "cannot set the immutable attribute here; permission bits do not stop root";
    EXPECT_EQ(errorOf([&] { m_fso.CreateFolder(path("tmp")); }), err::PermissionDenied);
}

TEST_F(FileSystemTest, deleteFileHonoursTheReadOnlyBitUnlessForced)
{
    EXPECT_EQ(errorOf([&] { m_fso.DeleteFile(path("missing")); }), err::FileNotFound);
    QDir(m_dir.path()).mkdir(QStringLiteral("sub"));
    EXPECT_EQ(errorOf([&] { m_fso.DeleteFile(path("sub")); }), err::FileNotFound);
    EXPECT_TRUE(m_fso.FolderExists(path("sub")));

    put(path("plain"), "x");
    EXPECT_EQ(errorOf([&] { m_fso.DeleteFile(path("plain")); }), 0);
    EXPECT_FALSE(m_fso.FileExists(path("plain")));

    put(path("ro"), "x");
    chmodOf(path("ro"), 0444);
    EXPECT_EQ(errorOf([&] { m_fso.DeleteFile(path("ro")); }), err::PermissionDenied);
    EXPECT_EQ(content(path("ro")), QByteArray("x"));
    EXPECT_EQ(errorOf([&] { m_fso.DeleteFile(path("ro"), true); }), 0);
    EXPECT_FALSE(m_fso.FileExists(path("ro")));
}

TEST_F(FileSystemTest, deleteOfImmutableFileFailsEvenWithForce)
{
    put(path("locked"), "x");
    fetchora::testing::Immutable guard(path("locked"));
    if (!guard.ok())
        GTEST_SKIP() << "cannot set the immutable attribute here; permission bits do not stop root";
    EXPECT_EQ(errorOf([&] { m_fso.DeleteFile(path("locked"), true); }), err::PermissionDenied);
    EXPECT_TRUE(m_fso.FileExists(path("locked")));
}

TEST_F(FileSystemTest, moveWithinFileSystemRenames)
{
    put(path("a.txt"), "content");
    QDir(m_dir.path()).mkdir(QStringLiteral("save"));
    EXPECT_EQ(errorOf([&] { m_fso.MoveFile(path("a.txt"), path("save/b.txt")); }), 0);
    EXPECT_FALSE(m_fso.FileExists(path("a.txt")));
    EXPECT_EQ(content(path("save/b.txt")), QByteArray("content"));

    // A destination ending in a separator means "into this folder".
    EXPECT_EQ(errorOf([&] { m_fso.MoveFile(path("save/b.txt"), m_dir.path() + QStringLiteral("/")); }), 0);
    EXPECT_EQ(content(path("b.txt")), QByteArray("content"));
}

struct FailedMoveRow {
    const char *name;
    const char *source;       // created with "source" as content unless it is "missing"
    const char *destination;  // "exists" and the folder "dir" are created beforehand
    long error;
};

class FailedMoveRows : public FileSystemTest, public ::testing::WithParamInterface<FailedMoveRow> {};

TEST_P(FailedMoveRows, leaveSourceAndDestinationAsTheyWere)
{
    const FailedMoveRow &row = GetParam();
    put(path("src"), "source");
    put(path("exists"), "old");
    QDir(m_dir.path()).mkdir(QStringLiteral("dir"));
    const QStringList before = entries(m_dir.path());

    EXPECT_EQ(errorOf([&] { m_fso.MoveFile(path(row.source), path(row.destination)); }), row.error);
    EXPECT_EQ(entries(m_dir.path()), before);
    EXPECT_EQ(content(path("src")), QByteArray("source"));
    EXPECT_EQ(content(path("exists")), QByteArray("old"));
    EXPECT_TRUE(entries(path("dir")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FailedMoveRows,
    ::testing::Values(FailedMoveRow{"ontoExistingFile", "src", "exists", err::FileAlreadyExists},
                      FailedMoveRow{"ontoExistingFolder", "src", "dir", err::FileAlreadyExists},
                      FailedMoveRow{"intoMissingFolder", "src", "nofolder/x", err::PathNotFound},
                      FailedMoveRow{"throughAFile", "src", "exists/x", err::PathNotFound},
                      FailedMoveRow{"missingSource", "missing", "new", err::FileNotFound},
                      FailedMoveRow{"folderAsSource", "dir", "new", err::FileNotFound}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- moves across file systems ----------------------------------------------

dev_t deviceOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

QByteArray patterned(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x);
    }
    return data;
}

class CrossDeviceMoveTest : public FileSystemTest {
protected:
    void SetUp() override
    {
        FileSystemTest::SetUp();
        if (!QFileInfo(QStringLiteral("/dev/shm")).isDir()
            || deviceOf(QStringLiteral("/dev/shm")) == deviceOf(m_dir.path()))
            GTEST_SKIP() << "/dev/shm is not a separate file system from " << m_dir.path().toStdString();
        m_other = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/fetchora-test-XXXXXX"));
        ASSERT_TRUE(m_other->isValid());
    }
    QString other(const char *name) const { return m_other->filePath(QString::fromLatin1(name)); }

    std::unique_ptr<QTemporaryDir> m_other;
};

TEST_F(CrossDeviceMoveTest, copiesCompletelyAndRemovesTheSource)
{
    // Larger than the copy buffer and not a multiple of it.
    const QByteArray data = patterned(3 * 1024 * 1024 + 12345);
    put(path("big.bin"), data);
    chmodOf(path("big.bin"), 0640);
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path("big.bin")).constData(), &before), 0);

    EXPECT_EQ(errorOf([&] { m_fso.MoveFile(path("big.bin"), other("moved.bin")); }), 0);
    EXPECT_FALSE(m_fso.FileExists(path("big.bin")));
    EXPECT_TRUE(content(other("moved.bin")) == data);
    EXPECT_EQ(entries(m_other->path()), QStringList{QStringLiteral("moved.bin")});

    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(other("moved.bin")).constData(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
}

TEST_F(CrossDeviceMoveTest, emptyFileMovesToo)
{
    put(path("empty"), QByteArray());
    EXPECT_EQ(errorOf([&] { m_fso.MoveFile(path("empty"), other("empty")); }), 0);
    EXPECT_EQ(content(other("empty")), QByteArray());
    EXPECT_FALSE(m_fso.FileExists(path("empty")));
}

TEST_F(CrossDeviceMoveTest, existingDestinationIsLeftAlone)
{
    put(path("src"), "new");
    put(other("dst"), "old");
    EXPECT_EQ(errorOf([&] { m_fso.MoveFile(path("src"), other("dst")); }), err::FileAlreadyExists);
    EXPECT_EQ(content(other("dst")), QByteArray("old"));
    EXPECT_EQ(content(path("src")), QByteArray("new"));
}

TEST_F(CrossDeviceMoveTest, sourceThatCannotBeRemovedIsNotCopied)
{
    QDir(m_dir.path()).mkdir(QStringLiteral("locked"));
    put(path("locked/src"), "source");
    fetchora::testing::Immutable guard(path("locked"));
    if (!guard.ok())
        GTEST_SKIP() << "cannot set the immutable attribute here; permission bits do not stop root";

    EXPECT_EQ(errorOf([&] { m_fso.MoveFile(path("locked/src"), other("dst")); }), err::PermissionDenied);
    EXPECT_EQ(content(path("locked/src")), QByteArray("source"));
    EXPECT_TRUE(entries(m_other->path()).isEmpty());
}

TEST_F(CrossDeviceMoveTest, fullDiskLeavesSourceAndNoTemporary)
{
    QDir(m_dir.path()).mkdir(QStringLiteral("small"));
    fetchora::testing::TmpfsMount small(path("small"), "size=64k");
    if (!small.ok())
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs CAP_SYS_ADMIN)";
    const QByteArray data = patterned(1024 * 1024);
    put(other("big"), data);

    EXPECT_EQ(errorOf([&] { m_fso.MoveFile(other("big"), path("small/big")); }), err::DiskFull);
    EXPECT_TRUE(content(other("big")) == data);
    EXPECT_TRUE(entries(path("small")).isEmpty());
}

}  // namespace
