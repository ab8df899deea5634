#pragma once
// The shared file-system object (objFSO): path parts, existence tests, folder
// creation, delete and move. Failures raise RuntimeError with the classic
// numbers (53 file not found, 58 file already exists, 61 disk full,
// 70 permission denied, 76 path not found) and a description that names the
// path in the way.

#include "core/RuntimeError.h"

#include <QString>

#include <functional>
#include <optional>
#include <sys/types.h>

namespace fetchora {

// The seam to the disk. Every call that changes what is on disk while a copy
// is stored (and every sync that makes such a change last) goes through the
// functions of `fsio` below, so a test can watch each one and make any one
// fail, as a crash, a full disk or another program would. Reads do not come
// here, nor the ZIP layer's own calls (its working folder, the archive and
// the rename over an old one); the numbered rename and the removal of its
// working folder do.
//
// The hook is process-wide and consulted before each call, on the thread
// making it. It returns nothing to let the call go ahead, or an errno (not
// 0): the call then fails with it and leaves the disk untouched. For a
// write, kShortWrite lets only half the bytes (at least one) through, as a
// nearly full disk does; the writer asks again for the rest. The hook may
// change the disk itself before it returns (put a FIFO or a folder under a
// name) to play something that acts between two calls, but must not call
// the seam. A test installs it with setFileSystemHook(hook) and removes it
// with setFileSystemHook({}) once the calls it watches are over.
enum class FsOp {
    Open,          // path, flags: the open(2) flags (only opens for writing come here)
    Write,         // path: the file the descriptor was opened as
    Truncate,      // path
    Sync,          // path: a file, or a folder whose entries are made to last
    Rename,        // path to `to`; flags: 1 when a file at `to` may be replaced
    Unlink,        // path
    MakeFolder,    // path
    RemoveFolder,  // path
};
struct FsCall {
    FsOp op;
    QString path;
    QString to;
    int flags = 0;
};
inline constexpr int kShortWrite = -1;
using FsHook = std::function<std::optional<int>(const FsCall &call)>;
// Installs the hook for every thread (an empty one: none) and returns the
// one it replaces.
FsHook setFileSystemHook(FsHook hook);

namespace fsio {
// Each returns 0 or the errno of the failure, except openFile: the
// descriptor, or -1 with errno set.
int openFile(const QString &path, int flags, mode_t mode = 0600);
int writeAll(int fd, const QString &path, const char *data, size_t size);  // goes on after short writes
int truncateFile(int fd, const QString &path, off_t size);
int syncFile(int fd, const QString &path);
// Opens the file (never through a link) or folder without waiting on a FIFO
// and syncs it; anything else than what was asked for under the name fails
// (EISDIR, EINVAL, ELOOP), so a copy is never called safe that is not there.
int syncPath(const QString &path, bool folder);
int renameFile(const QString &from, const QString &to, bool replace);  // EEXIST: taken, without replace
int unlinkFile(const QString &path);
int unlinkIn(int folderFd, const QString &folder, const char *name);  // the entry `name` of an open folder
int makeFolder(const QString &path, mode_t mode = 0777);
int removeFolder(const QString &path);
}  // namespace fsio

class FileSystem {
public:
    // Errors are described in `language`; a job off the UI thread makes its
    // own instance with the language it was handed.
    explicit FileSystem(Language language) : m_language(language) {}
    virtual ~FileSystem() = default;
    void setLanguage(Language language) { m_language = language; }
    Language language() const { return m_language; }
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
