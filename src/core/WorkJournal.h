#pragma once
// The journal of working names. Every hidden file this program writes until
// it is complete (a copy on its way into the save folder, an archive being
// written, a file copied across file systems, a rewritten manifest) carries
// the writer's process id in its name and is noted here with the run that
// wrote it, in the application
// folder, before it is created. After a kill the next Start finds what was
// left by reading these few lines, never by listing the save folder, which
// may hold a hundred thousand copies.

#include <QString>
#include <QStringList>

namespace fetchora {

// The journal of the application folder `appFolder`.
QString workJournalIn(const QString &appFolder);

// Notes `path` before it is created. Best effort: a journal that cannot be
// written costs only the cleanup of that file after a crash, never the copy.
// An empty journal path notes nothing.
void noteWorkingFile(const QString &journal, const QString &path);

// Removes the noted files whose writer has ended, and forgets them and those
// already gone. Each name is noted with the run of the program that wrote it;
// as the profile's lock lets one run at a time write, only this run's files
// stay (a restart that got the same process id, in a fresh PID namespace,
// still sweeps what the killed run left).
// Only a regular file of this user goes: anything else under a noted name is
// left alone, and one line of the returned notes names it.
QStringList sweepWorkingFiles(const QString &journal);

// Removes a working folder of this user (as a writer that keeps its pieces
// together leaves it) with the regular files in it. False when anything
// else is in it or it is not ours: it then stays.
bool removeWorkingFolder(const QString &path);

}  // namespace fetchora
