#pragma once
// Where the trace viewer's local socket lives: in a folder only this user can
// enter. In the shared temporary folder a process of another user could take
// the name first and hold up every traced call of the program.
//
// Header-only: the viewer shares it without linking the program's libraries.

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace fetchora {

// $XDG_RUNTIME_DIR, else <temporary folder>/fetchora-<uid> made with mode
// 0700. Empty when neither is a real folder of this user closed to others.
inline QString privateRuntimeFolder()
{
    const auto ours = [](const QString &folder) {
        struct stat st {};
        return !folder.isEmpty() && ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode)
               && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
    };
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (ours(runtime))
        return runtime;
    const QString own = QDir::tempPath() + QStringLiteral("/fetchora-") + QString::number(::geteuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return ours(own) ? own : QString();
}

// Qt warns at every start when XDG_RUNTIME_DIR is unset (root on a console,
// a container) and then picks a folder of its own: the private folder above
// serves it instead, the one the trace socket uses anyway. Call before the
// application object exists.
inline void provideRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QString folder = privateRuntimeFolder();
    if (!folder.isEmpty())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
}

// The socket of the viewer of that name; empty when there is no safe folder.
inline QString traceSocketPath(const QString &name)
{
    const QString folder = privateRuntimeFolder();
    return folder.isEmpty() ? QString() : folder + u'/' + name;
}

}  // namespace fetchora
