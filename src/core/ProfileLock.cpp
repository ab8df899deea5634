#include "core/ProfileLock.h"

#include "core/Profile.h"
#include "core/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fetchora {

ProfileLock::ProfileLock() = default;
ProfileLock::ProfileLock(ProfileLock &&) noexcept = default;
ProfileLock &ProfileLock::operator=(ProfileLock &&) noexcept = default;
ProfileLock::~ProfileLock() = default;

namespace {

QString says(Language language, const char *english, const char *german)
{
    return QString::fromUtf8(language == Language::English ? english : german);
}

// QLockFile does not say what the system answered: opening the lock file
// itself (never truncating it) and writing a file beside it do. Empty when
// both work.
QString whyNotWritable(const QString &lockPath, const QString &folder)
{
    int error = 0;
    const QByteArray lock = QFile::encodeName(lockPath);
    const bool existed = ::access(lock.constData(), F_OK) == 0;
    int fd = ::open(lock.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
    } else {
        ::close(fd);
        if (!existed)
            ::unlink(lock.constData());
        const QByteArray probe = QFile::encodeName(folder + QStringLiteral("/fcr.lock.probe"));
        fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno;
        } else {
            if (::write(fd, "0\n", 2) != 2 || ::fsync(fd) != 0)
                error = errno ? errno : EIO;
            ::close(fd);
            ::unlink(probe.constData());
        }
    }
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString();
}

// Who holds the lock, as the line that says so names it: the process, its
// user (the owner of the lock file it wrote) and host, and on this host
// whether it is the window or the service.
QString holder(Language language, const QString &lockPath, qint64 pid, const QString &host)
{
    QString role;
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (host == QSysInfo::machineHostName() && cmdline.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> arguments = cmdline.readAll().split('\0');
        const bool service = arguments.contains("--headless") || arguments.contains("--once");
        role = service ? says(language, "the service, ", "der Dienst, ") : says(language, "the window, ", "das Fenster, ");
    }
    return says(language, " (%1process %2 of %3 on %4)", " (%1Prozess %2 von %3 auf %4)")
        .arg(role)
        .arg(pid)
        .arg(QFileInfo(lockPath).owner(), host);
}

}  // namespace

ProfileLock lockProfile(const Profile &profile, Language language)
{
    ProfileLock result;
    const QString folder = profile.folder();
    const QString path = profile.path(QStringLiteral("fcr.lock"));
    if (!QDir().mkpath(folder)) {
        // QDir does not say why; the last step of the way, made again, does.
        const int error = ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 ? 0 : errno;
        result.problem = says(language, "%1: the folder cannot be made (%2)", "%1: der Ordner kann nicht angelegt werden (%2)")
                             .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(std::strerror(error)));
        result.exitCode = 2;
        return result;
    }
    auto lock = std::make_unique<QLockFile>(path);
    if (lock->tryLock(0)) {
        result.lock = std::move(lock);
        return result;
    }
    qint64 pid = 0;
    QString host, program;
    // Held only when a program is named in it: a lock that cannot even be
    // read (a folder in its place) holds nothing but the way.
    if (lock->error() == QLockFile::LockFailedError && lock->getLockInfo(&pid, &host, &program) && pid > 0) {
        result.problem = alreadyRunningText(language == Language::English ? QStringLiteral("English")
                                                                          : QStringLiteral("Deutsch"))
                             .arg(QDir::toNativeSeparators(folder))
                         + holder(language, path, pid, host);
        result.exitCode = 1;
        return result;
    }
    const QString why = whyNotWritable(path, folder);
    result.problem = says(language, "%1: the lock cannot be taken (%2)", "%1: die Sperre kann nicht gesetzt werden (%2)")
                         .arg(QDir::toNativeSeparators(path),
                              why.isEmpty() ? says(language, "not writable", "nicht beschreibbar") : why);
    result.exitCode = 2;
    return result;
}

}  // namespace fetchora
