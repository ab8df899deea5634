#pragma once
// Every state the disk passes through while the code under test works, as a
// power cut right before each call of the file-system seam would leave it.
// Two states for each call: everything done so far (a cut after the call
// before), and the same with the bytes written since a file's last sync lost,
// as a file system that orders its metadata but not the data may leave it.
// Renames, creations and removals are taken to last in the order they were
// made; what is written outside the seam (the ZIP library's bytes) counts as
// on disk, and so does every file there before, unless said otherwise.

#include "core/FileSystem.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <fcntl.h>
#include <sys/stat.h>

namespace fetchora::testing {

// Relative path: the bytes of a file; a folder is "<folder>", anything else "<other>".
using DiskState = QMap<QString, QByteArray>;

inline DiskState diskState(const QString &root)
{
    DiskState state;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray &bytes = state[QDir(root).relativeFilePath(path)];
        if (info.isSymLink() || (!info.isFile() && !info.isDir())) {
            bytes = "<other>";
        } else if (info.isDir()) {
            bytes = "<folder>";
        } else {
            QFile f(path);
            bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
        }
    }
    return state;
}

class DiskStates {
public:
    // `fault` may fail a call, or change the disk before it, as a hook of the seam does. `unsynced` was written before
    // and not yet synced (a download as the engine leaves it): a power cut empties it.
    DiskStates(const QString &root, const FsHook &fault, const QString &unsynced) : m_root(QDir(root).absolutePath())
    {
        m_unsynced.insert(rel(unsynced), {});
        m_before = setFileSystemHook([this, fault](const FsCall &call) {
            cut();
            const std::optional<int> failed = fault ? fault(call) : std::nullopt;
            if (!failed || *failed == kShortWrite)
                note(call);
            return failed;
        });
    }
    ~DiskStates() { setFileSystemHook(m_before); }
    DiskStates(const DiskStates &) = delete;
    DiskStates &operator=(const DiskStates &) = delete;

    // The states so far and the one after the last call.
    QList<DiskState> finish()
    {
        cut();
        setFileSystemHook(m_before);
        return m_states;
    }

private:
    QString rel(const QString &path) const { return QDir(m_root).relativeFilePath(QDir::cleanPath(path)); }

    // The previous call has had its effect (or failed): its names are settled.
    void settle()
    {
        if (m_pending.op == FsOp::Rename && !QFile::exists(m_root + u'/' + rel(m_pending.path))) {
            const QString from = rel(m_pending.path), to = rel(m_pending.to);
            m_unsynced.remove(to);
            if (m_unsynced.contains(from))
                m_unsynced.insert(to, m_unsynced.take(from));
        } else if (m_pending.op == FsOp::Unlink && !QFile::exists(m_root + u'/' + rel(m_pending.path))) {
            m_unsynced.remove(rel(m_pending.path));
        }
        m_pending = FsCall{FsOp::Sync, {}, {}, 0};
    }

    void cut()
    {
        settle();
        const DiskState now = diskState(m_root);
        m_states << now;
        DiskState lost = now;
        for (auto it = m_unsynced.cbegin(); it != m_unsynced.cend(); ++it) {
            if (lost.contains(it.key()) && lost[it.key()] != "<folder>")
                lost[it.key()] = *it;
        }
        if (lost != now)
            m_states << lost;
    }

    void note(const FsCall &call)
    {
        const QString path = rel(call.path);
        QFile file(m_root + u'/' + path);
        const bool readable = QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly);
        const QByteArray current = readable ? file.readAll() : QByteArray();
        switch (call.op) {
        case FsOp::Open:
        case FsOp::Write:
        case FsOp::Truncate:
            if (!m_unsynced.contains(path))
                m_unsynced.insert(path, call.op == FsOp::Open && (call.flags & O_TRUNC) ? QByteArray() : current);
            break;
        case FsOp::Sync: m_unsynced.remove(path); break;
        default: m_pending = call;
        }
    }

    QString m_root;
    FsHook m_before;
    QMap<QString, QByteArray> m_unsynced;  // what a power cut leaves of each file written since its last sync
    FsCall m_pending{FsOp::Sync, {}, {}, 0};
    QList<DiskState> m_states;
};

}  // namespace fetchora::testing
