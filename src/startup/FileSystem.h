#pragma once
// The shared file-system object (objFSO): path parts, existence tests, folder
// creation, delete and move. Failures raise RuntimeError with the classic
// numbers (53 file not found, 58 file already exists, 61 disk full,
// 70 permission denied, 76 path not found) and a description that names the
// path in the way.

#include "trace/RuntimeError.h"

#include <QString>

namespace fetchora {

class FileSystem {
public:
    // Errors are described in `language`; a job off the UI thread makes its
    // own instance with the language it was handed.
    explicit FileSystem(Language language) : m_language(language) {}
    virtual ~FileSystem() = default;
    void setLanguage(Language language) { m_language = language; }

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
    // systems the data is copied to a temporary name beside the destination,
    // flushed to disk and renamed into place, then the source is removed: the
    // destination is either absent or complete, never half-written.
    virtual void MoveFile(const QString &source, const QString &destination);

private:
    [[noreturn]] void raiseErrno(int error, const QString &path, long notFound = err::FileNotFound) const;
    [[noreturn]] void raiseFor(long number, const QString &path, FileNote note = FileNote::None) const;

    Language m_language;
};

}  // namespace fetchora
