#pragma once
// The shared file-system object (objFSO): path parts, existence tests, folder
// creation, delete and move. Failures raise RuntimeError with the classic
// numbers (53 file not found, 58 file already exists, 61 disk full,
// 70 permission denied, 76 path not found) and a description that names the
// path in the way.

#include "core/RuntimeError.h"

#include <QString>

namespace fetchora {

class FileSystem {
public:
    // Errors are described in `language`; a job off the UI thread makes its
    // own instance with the language it was handed.
    explicit FileSystem(Language language) : m_language(language) {}
    virtual ~FileSystem() = default;
    void setLanguage(Language language) { m_language = language; }
    // Where the working names of moves across file systems are noted
    // (WorkJournal.h); empty: nowhere.
    void setWorkJournal(const QString &journal) { m_journal = journal; }

    virtual QString BuildPath(const QString &path, const QString &name) const;
    virtual QString GetFileName(const QString &path) const;       // after the last separator
    virtual QString GetExtensionName(const QString &path) const;  // after the last '.' of the file name
    virtual QString GetBaseName(const QString &path) const;       // file name without that extension
    virtual QString GetParentFolderName(const QString &path) const;

    virtual bool FileExists(const QString &path) const;
    virtual bool FolderExists(const QString &path) const;
    virtual void CreateFolder(const QString &path);
    // Deletes a file; with force also a read-only one.
    virtual void DeleteFile(const QString &path, bool force = false);
    // Moves a file; fails with 58 if the destination exists. Across file
    // systems the data is copied to a working name beside the destination
    // (hidden, with this process's id), flushed to disk and renamed into
    // place, then the source is removed: the destination is either absent or
    // complete, never half-written.
    virtual void MoveFile(const QString &source, const QString &destination);

private:
    [[noreturn]] void raiseErrno(int error, const QString &path, long notFound = err::FileNotFound) const;
    [[noreturn]] void raiseFor(long number, const QString &path, FileNote note = FileNote::None) const;

    Language m_language;
    QString m_journal;
};

// Renames without ever replacing a file at `to`. Returns 0 or the errno
// (EEXIST when the name is taken).
int renameWithoutReplacing(const QString &from, const QString &to);

// "report.csv" numbered n: "report-n.csv" (the number goes before the last
// dot of the file name, or at its end when it has none); 1 is the name itself.
QString numberedPath(const QString &path, int n);

// Renames `from` to *to or, when that name is taken, to the first free one
// of numberedPath(*to, 2), 3 ...; *to becomes the name used. Never replaces
// a file. Returns 0 or the errno (EEXIST when no number up to 9999 is free).
int renameToFreeName(const QString &from, QString *to);

}  // namespace fetchora
