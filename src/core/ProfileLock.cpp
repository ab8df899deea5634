#include "core/ProfileLock.h"

#include "core/Profile.h"
#include "core/Texts.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

// QLockFile does not say what the system answered; a file written beside the
// lock does.
QString whyNotWritable(const QString &folder)
{
    const QByteArray probe = QFile::encodeName(folder + QStringLiteral("/fcr.lock.probe"));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (::write(fd, "0\n", 2) != 2 || ::fsync(fd) != 0)
            error = errno;
        ::close(fd);
        ::unlink(probe.constData());
    }
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString();
}

}  // namespace

ProfileLock lockProfile(const Profile &profile, Language language)
{
    ProfileLock result;
    const QString folder = profile.folder();
    const QString path = profile.path(QStringLiteral("fcr.lock"));
    if (!QDir().mkpath(folder)) {
        result.problem = says(language, "%1: the folder cannot be made (%2)", "%1: der Ordner kann nicht angelegt werden (%2)")
                             .arg(QDir::toNativeSeparators(folder), whyNotWritable(folder));
        result.exitCode = 2;
        return result;
    }
    auto lock = std::make_unique<QLockFile>(path);
    if (lock->tryLock(0)) {
        result.lock = std::move(lock);
        return result;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host, program;
        lock->getLockInfo(&pid, &host, &program);
        result.problem = alreadyRunningText(profile.languageName().isEmpty() ? QStringLiteral("Deutsch")
                                                                             : profile.languageName())
                             .arg(QDir::toNativeSeparators(folder))
                         + says(language, " (process %1, %2 on %3)", " (Prozess %1, %2 auf %3)").arg(pid).arg(program, host);
        result.exitCode = 1;
        return result;
    }
    const QString why = whyNotWritable(folder);
    result.problem = says(language, "%1: the lock cannot be taken (%2)", "%1: die Sperre kann nicht gesetzt werden (%2)")
                         .arg(QDir::toNativeSeparators(path),
                              why.isEmpty() ? says(language, "not writable", "nicht beschreibbar") : why);
    result.exitCode = 2;
    return result;
}

}  // namespace fetchora
