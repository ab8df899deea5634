#include "startup/RegistryStore.h"

#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fetchora;

namespace {

TEST(NativeRegistryStore, writesStringValuesUnderApplicationAndSection)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    // Must be set before the process's first native QSettings: the folder is looked up once.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));

    NativeRegistryStore store;
    store.SaveSetting(QStringLiteral("Fetchora"), QStringLiteral("Options"), QStringLiteral("BGColor"),
                      QStringLiteral("&H8000000F"));
    store.SaveSetting(QStringLiteral("Fetchora"), QStringLiteral("Options"), QStringLiteral("Language"),
                      QStringLiteral("Deutsch"));
    store.SaveSetting(QStringLiteral("Fetchora"), QStringLiteral("Options"), QStringLiteral("Language"),
                      QStringLiteral("English"));

    const QString file = config.filePath(QStringLiteral("Fetchora/Fetchora.conf"));
    ASSERT_TRUE(QFileInfo::exists(file)) << file.toStdString();
    QSettings written(file, QSettings::IniFormat);
    EXPECT_EQ(written.value(QStringLiteral("Options/BGColor")).toString(), QStringLiteral("&H8000000F"));
    EXPECT_EQ(written.value(QStringLiteral("Options/Language")).toString(), QStringLiteral("English"));
    EXPECT_EQ(written.childGroups(), QStringList{QStringLiteral("Options")});
}

}  // namespace

#include "startup/modGlobal.h"

TEST(AppFolderTest, TheExecutablesFolderUnlessItIsAnInstalledOrReadOnlyOne)
{
    using fetchora::chooseAppFolder;
    const QString user = QStringLiteral("/home/u/.local/share/Fetchora");
    EXPECT_EQ(chooseAppFolder("/opt/tools/fetchora", true, false, user), "/opt/tools/fetchora");
    EXPECT_EQ(chooseAppFolder("/opt/tools/fetchora/", true, false, user), "/opt/tools/fetchora");
    EXPECT_EQ(chooseAppFolder("/usr/bin", false, true, user), user) << "installed system-wide";
    EXPECT_EQ(chooseAppFolder("/usr/bin", true, true, user), user) << "root must not write into /usr/bin";
    EXPECT_EQ(chooseAppFolder("/mnt/cd", false, false, user), user) << "read-only medium";
    EXPECT_EQ(chooseAppFolder("/", true, false, user), "/");
    EXPECT_EQ(chooseAppFolder("/mnt/cd", false, false, QString()), "/mnt/cd") << "no data folder: nothing better";
    EXPECT_EQ(fetchora::installedDataFolder("/usr/bin"), "/usr/share/fetchora");
}
