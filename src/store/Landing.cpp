#include "store/Landing.h"

#include "store/StoreJob.h"
#include "core/FileSystem.h"
#include "core/Names.h"
#include "core/PrivateFiles.h"
#include "core/Texts.h"
#include "core/Trace.h"

#include <QFileInfo>

namespace fetchora {

Refusal cannotBegin(const Texts &texts, const FileSystem &fs, const QString &saveFolder, const QString &url, const QString &tmpFolder)
{
    // Copies stored into tmp/ would be swept away as leftovers by the next Start.
    const bool isTmp = QFileInfo(saveFolder).canonicalFilePath() == QFileInfo(tmpFolder).canonicalFilePath();
    if (saveFolder.isEmpty())
        return {texts.msgNoFolder, texts.msgNoFolder};
    if (!fs.FolderExists(saveFolder) || isTmp)
        return {texts.msgFolderMissing, fileError(err::PathNotFound, saveFolder, FileNote::None, fs.language())
                                      .describe(fs.language())};
    if (url.isEmpty())
        return {texts.msgNoURL, texts.msgNoURL};
    return {};
}

Landing prepareLanding(TraceScope &t, FileSystem &fs, const QString &url, const QString &appFolder,
                       const QString &tmpFolder)
{
    Landing l;
    t.step([&] {
        const UrlFileName name = fileNameFromUrl(url);
        l.fileName = name.fileName;
        l.ext = name.ext;
        l.baseName = name.baseName;
    });
    t.step([&] {
        // Even when it has to be made again while the program runs.
        if (!makePrivateFolder(tmpFolder))
            throw fileError(err::PathNotFound, tmpFolder, FileNote::None, fs.language());
    });
    t.step([&] { l.notes = removeLeftovers(appFolder, tmpFolder); });
    t.step([&] {
        l.tmpFile = tmpFolder + l.fileName;
        if (fs.FileExists(l.tmpFile))
            fs.DeleteFile(l.tmpFile, false);
    });
    return l;
}

}  // namespace fetchora
