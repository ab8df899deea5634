#pragma once
// copies.manifest, beside history.log in the application folder: the copies
// this program stored, so that retention works on what it wrote, over
// months, whatever has become of the history. Private (0600). UTF-8, one
// record a line, tab-separated, fields escaped (LineFile.h):
//   stored  time (ISO 8601 with UTC offset)  size  mtime (ns)  SHA-256  path  URL (password hidden)
//   gone    path
// The last record of a path counts. Records are appended in one write each,
// so a crash costs at most the one being written. A copy's record goes
// before the copy does, or is replaced: the manifest may miss a copy after a
// crash, but never names one that is not there. When the records of copies
// that are gone outnumber the others, the file is rewritten whole beside
// itself and renamed over the old one, so it stays as long as what it keeps.

#include "store/LastCopy.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace fetchora {

class RegularFile;

struct StoredCopy {
    QString path;  // absolute and clean
    qint64 size = 0;
    qint64 mtimeNs = 0;
    QByteArray sha256;  // hex
    QString url;        // as displayUrl() shows it
    QDateTime at;       // when it was stored
};

QString manifestIn(const QString &appFolder);

// Returns 0 or the errno of the failure. Durable: on disk before it returns,
// for a record that must not be lost when the copy it names goes.
int recordStored(const QString &manifest, const StoredCopy &copy);
int recordGone(const QString &manifest, const QStringList &paths, bool durable = false);

struct ManifestContent {
    QList<StoredCopy> copies;  // oldest first
    qsizetype records = 0;     // lines in the file
};
ManifestContent readManifest(const QString &manifest);

// The newest copy of `url` (as displayUrl() shows it) stored whole in
// `folder`, so that a run after a restart, or one --once after another, knows
// an unchanged body. Copies packed into archives are not matched: their
// fingerprint is not the body's.
LastCopy lastCopyIn(const QString &manifest, const QString &folder, const QString &url);

// Writes only `copies`; `journal` notes the working name it is written under.
int rewriteManifest(const QString &manifest, const QList<StoredCopy> &copies, const QString &journal);

// What stands under a stored copy's name now. Only Intact is still the
// copy as stored: a regular file of this user with the recorded size and
// modification time (the content is not read). Unreadable: it could not be
// opened (no rights, an I/O error), so nothing is known.
enum class CopyState { Intact, Gone, Changed, NotAFile, Unreadable };
CopyState stateOf(const StoredCopy &copy, const RegularFile &file);

}  // namespace fetchora
