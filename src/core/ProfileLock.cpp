#include "core/ProfileLock.h"

#include "core/FileSystem.h"
#include "core/Profile.h"
#include "core/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fetchora {

ProfileLock::ProfileLock() = default;
ProfileLock::ProfileLock(ProfileLock &&other) noexcept
    : fd(std::exchange(other.fd, -1)), problem(std::move(other.problem)), exitCode(other.exitCode)
{
}
ProfileLock &ProfileLock::operator=(ProfileLock &&other) noexcept
{
    if (this != &other) {
        if (fd >= 0)
            ::close(fd);  // lets go of the lock with the file
        fd = std::exchange(other.fd, -1);
        problem = std::move(other.problem);
        exitCode = other.exitCode;
    }
    return *this;
}
ProfileLock::~ProfileLock()
{
    if (fd >= 0)
        ::close(fd);
}

namespace {

QString says(Language language, const char *english, const char *german)
{
    return QString::fromUtf8(language == Language::English ? english : german);
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
    auto cannot = [&](int error) {
        result.problem = says(language, "%1: the lock cannot be taken (%2)", "%1: die Sperre kann nicht gesetzt werden (%2)")
                             .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(error)));
        result.exitCode = 2;
        return std::move(result);
    };
    const int fd = fsio::openFile(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return cannot(errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // Who holds it, for a second program's message: best effort, the
        // lock is the kernel's whatever the disk lets us write.
        const QByteArray who = QByteArray::number(::getpid()) + "\nfetchora\n" + QSysInfo::machineHostName().toUtf8() + '\n';
        if (fsio::truncateFile(fd, path, 0) == 0 && fsio::writeAll(fd, path, who.constData(), size_t(who.size())) != 0)
            fsio::truncateFile(fd, path, 0);
        result.fd = fd;
        return result;
    }
    const int error = errno;
    if (error != EWOULDBLOCK) {
        ::close(fd);
        return cannot(error);
    }
    char buffer[512] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    ::close(fd);
    const QList<QByteArray> lines = QByteArray(buffer, n > 0 ? n : 0).split('\n');
    const qint64 pid = lines.value(0).toLongLong();
    result.problem = alreadyRunningText(language == Language::English ? QStringLiteral("English")
                                                                      : QStringLiteral("Deutsch"))
                         .arg(QDir::toNativeSeparators(folder))
                     + (pid > 0 ? holder(language, path, pid, QString::fromUtf8(lines.value(2))) : QString());
    result.exitCode = 1;
    return result;
}

}  // namespace fetchora
