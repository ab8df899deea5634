#pragma once
// The program's own files of lines (history.log, the manifest of stored
// copies, the journal of working names): fields that read back exactly, and
// writes that a crash cannot turn into a damaged file.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace fetchora {

inline constexpr int kLineFileLockMs = 200;

// A field may hold anything, the separators of the format included: a
// backslash, a tab, a line feed and a carriage return are written as "\\",
// "\t", "\n" and "\r", and read back.
QString escapeField(QStringView text);
QString unescapeField(QStringView text);

// Appends one line (ending in '\n') in a single write. The file is created
// private (0600, whatever the umask) and made so when it is wider. A line a
// crash cut short before is ended first, so the crash costs that line
// alone. A write that fails leaves the file as it was. Durable: on disk
// before it returns, for a line something else waits on. Returns 0 or the
// errno of the failure.
int appendLine(const QString &path, const QByteArray &line, bool durable = false);

// Replaces the file's content as a whole: written under a working name
// beside it (noted in `journal` first, when one is given), put on disk, then
// renamed over it; private like appendLine's. Returns 0 or an errno.
int replaceContent(const QString &path, const QByteArray &content, const QString &journal = {});

// Takes flock(LOCK_EX) on `fd` for up to `boundMs`. Another program holding
// the file (a backup, a viewer that forgot it) must not stop the cycle: past
// the bound the caller goes on without the lock, whose writes are single
// appends anyway. True when taken.
bool lockWithin(int fd, int boundMs = kLineFileLockMs);

// Content of a file of ours, or empty when it cannot be read.
QByteArray readContent(const QString &path);

}  // namespace fetchora
