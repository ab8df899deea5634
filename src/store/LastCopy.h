#pragma once
// The copy stored last, as the cycle remembers it to tell an unchanged file.
// "Unchanged" counts only while that copy is still where it was put, as it
// was put: one the user took away, or one of another folder or form, means
// the next copy is fetched whole.

#include <QByteArray>
#include <QFileInfo>
#include <QString>

namespace fetchora {

struct LastCopy {
    QString path, folder;
    qint64 size = -1;
    QByteArray bodySha256;  // of the body it was made from
    bool compress = false;

    bool there(const QString &currentFolder, bool currentCompress) const
    {
        const QFileInfo copy(path);
        return !path.isEmpty() && folder == currentFolder && compress == currentCompress && copy.isFile()
               && !copy.isSymLink() && copy.size() == size;
    }
};

}  // namespace fetchora
