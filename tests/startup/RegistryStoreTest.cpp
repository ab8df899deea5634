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
