#include "core/Profile.h"

#include "core/FileSystem.h"
#include "core/PrivateFiles.h"
#include "core/RegistryStore.h"
#include "core/Texts.h"
#include "core/Trace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace fetchora {


Profile::Profile(QString folder, const Clock *clock)
    : m_folder(std::move(folder)), m_settings(m_folder + QStringLiteral("/fcr.ini")),
      m_files(std::make_unique<FileSystem>(Language::German)), m_clock(clock ? clock : &systemClock())
{
}

Profile::~Profile() = default;

namespace {

bool namesLanguage(const Settings &settings)
{
    // No value can hold a line break, so this fallback tells a missing key.
    const SettingRow &row = rowOf(Setting::Language);
    return settings.file().readQuietly(QLatin1String(row.section), QLatin1String(row.name), QStringLiteral("\n"))
           != QLatin1String("\n");
}

}  // namespace

QString localeLanguageName()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value.startsWith("de") ? QStringLiteral("Deutsch") : QStringLiteral("English");
    }
    return QStringLiteral("English");
}

QString languageSetting(const Settings &settings, bool service)
{
    return service && !namesLanguage(settings) ? localeLanguageName() : settings.textQuietly(Setting::Language);
}

void Profile::readLanguage()
{
    const QString named = m_settings.text(Setting::Language);
    setLanguageName(m_service && !namesLanguage(m_settings) ? localeLanguageName() : named);
}

void Profile::setLanguageName(const QString &name)
{
    m_languageName = name;
    m_files->setLanguage(language());
}

namespace {
RegistryStore *g_registry = nullptr;
}  // namespace

QString chooseAppFolder(const QString &executableFolder, bool executableFolderWritable, bool installed,
                        const QString &perUserFolder)
{
    const bool own = executableFolderWritable && !installed;
    QString folder = own || perUserFolder.isEmpty() ? executableFolder : perUserFolder;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString installedDataFolder(const QString &executableFolder)
{
    return QDir::cleanPath(executableFolder + QStringLiteral("/../share/fetchora"));
}

namespace {

QString shippedBanner()
{
    return installedDataFolder(QCoreApplication::applicationDirPath()) + QStringLiteral("/bin/banner.bmp");
}

}  // namespace

void provideBanner(const QString &folder)
{
    const QString banner = folder + QStringLiteral("/bin/banner.bmp");
    if (QFileInfo::exists(shippedBanner()) && !QFileInfo::exists(banner)) {
        QDir().mkpath(folder + QStringLiteral("/bin"));
        QFile::copy(shippedBanner(), banner);
    }
}

namespace {

// Decided once: the answer must not change while the program runs.
QString resolveAppFolder()
{
    const QString exeFolder = QCoreApplication::applicationDirPath();
    const bool installed = QFileInfo::exists(shippedBanner());
    const QString folder = chooseAppFolder(exeFolder, QFileInfo(exeFolder).isWritable(), installed,
                                           QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    if (folder == exeFolder)
        return folder;
    QDir().mkpath(folder);
    provideBanner(folder);
    return folder;
}

}  // namespace

QString defaultAppFolder()
{
    if (!QCoreApplication::instance())
        return QDir::currentPath();
    static const QString resolved = resolveAppFolder();
    return resolved;
}

void makeAppFilesPrivate(const QString &folder, const QString &module, const QString &procedure)
{
    for (const char *name : kPrivateAppFiles) {
        if (const auto was = closeToOthers(folder + u'/' + QLatin1String(name)))
            TraceNote(module, procedure,
                      QStringLiteral("%1 was open to other users (%2): now only its owner's (%3)")
                          .arg(QLatin1String(name), QString::number(*was, 8).rightJustified(4, u'0'),
                               QString::number(*was & 0700, 8).rightJustified(4, u'0')));
    }
    makePrivateFolder(folder + QStringLiteral("/tmp"));
}

void openProfile(TraceScope &t, Profile &profile)
{
    // The settings hold passwords and the downloads may be anybody's
    // business: what an older version left open to other users is closed
    // before anything is read or written, and tmp/ is made private.
    t.step([&] { makeAppFilesPrivate(profile.folder(), t.module(), t.procedure()); });
    t.step([&] { profile.readLanguage(); });
}

RegistryStore &registry()
{
    static NativeRegistryStore native;
    return g_registry ? *g_registry : native;
}

void setRegistry(RegistryStore *store)
{
    g_registry = store;
}

void SetLanguage(Profile &profile)
{
    TraceScope t("modGlobal", "Sub SetLanguage");
    t.step([&] {
        if (profile.language() == Language::English)
            InitEnglishLabels(profile.m_texts);
        else
            InitGermanLabels(profile.m_texts);
        if (profile.m_service)
            nameSettingsKeys(profile.m_texts, profile.language(),
                             QDir::toNativeSeparators(profile.settings().file().path()));
        setTraceLanguage(profile.language());
        applyToolkitLanguage(profile.languageName());
    });
}

}  // namespace fetchora
