#include "store/Landing.h"

#include "store/StoreJob.h"
#include "core/FileSystem.h"
#include "core/Names.h"
#include "core/PrivateFiles.h"
#include "core/Profile.h"
#include "core/Texts.h"
#include "core/Trace.h"

#include <QFileInfo>

namespace fetchora {

Refusal cannotBegin(const QString &saveFolder, const QString &url, const QString &tmpFolder)
{
    // Copies stored into tmp/ would be swept away as leftovers by the next Start.
    const bool isTmp = QFileInfo(saveFolder).canonicalFilePath() == QFileInfo(tmpFolder).canonicalFilePath();
    if (saveFolder.isEmpty())
        return {msgNoFolder, msgNoFolder};
    if (!objFSO->FolderExists(saveFolder) || isTmp)
        return {msgFolderMissing, fileError(err::PathNotFound, saveFolder, FileNote::None, interfaceLanguage())
                                      .describe(interfaceLanguage())};
    if (url.isEmpty())
        return {msgNoURL, msgNoURL};
    return {};
}

Landing prepareLanding(TraceScope &t, const QString &url, const QString &appFolder, const QString &tmpFolder)
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
            throw fileError(err::PathNotFound, tmpFolder, FileNote::None, interfaceLanguage());
    });
    t.step([&] { l.notes = removeLeftovers(appFolder, tmpFolder); });
    t.step([&] {
        l.tmpFile = tmpFolder + l.fileName;
        if (objFSO->FileExists(l.tmpFile))
            objFSO->DeleteFile(l.tmpFile, false);
    });
    return l;
}

}  // namespace fetchora
