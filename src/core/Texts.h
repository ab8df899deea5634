#pragma once
// The interface texts. Windows hold no texts of their own: they copy their
// profile's onto their controls (SetLabels) or build their messages from
// them. A language switch replaces all of them in one call.

#include "core/RuntimeError.h"

#include <QString>

namespace fetchora {

// The 43 texts of one language, in table order. A profile holds one set and
// a language switch refills it whole.
struct Texts {
    QString capSavePath, capURL, capSettings, capStart, capStop, capCancel, capQuit, capActive, capTitle, capSettingsTitle, capInterval, capStartNow, capCompress, capCompression, capZipPassword, capRateNone, capRateLow, capRateNormal, capRateHigh, capDateTime, capOverwrite, capSave, capBrowseTitle, msgFolderMissing, msgNoFolder, msgNoURL, msgAbortQuery, msgAborted, msgFinished, capDownload, capSecondsToNext, capTrayOpen, capTrayQuit, capOf, capBytes, capCheckVersion, capShowConnErrors, msgConnectError, msgConnectErrorTitle, msgFileNotFound, msgInvalidURL, msgCheckURL, capCompressing;
};

inline constexpr int kTextCount = 43;

void InitGermanLabels(Texts &texts);
void InitEnglishLabels(Texts &texts);

// The texts the service says where the window points at its fields: they
// name the key of fcr.ini (%1 of the texts: `iniPath`) instead.
void nameSettingsKeys(Texts &texts, Language language, const QString &iniPath);

// Said when a second program is started on the same application folder
// (%1: the folder), in the language the settings file names.
QString alreadyRunningText(const QString &language);

// Qt's own texts (standard buttons, standard dialogs, edit menus) in the
// interface language: exactly "English" keeps Qt's English, anything else
// loads its German catalogue. Open windows follow at once. UI thread only.
void applyToolkitLanguage(const QString &language);

// Texts beyond the table, in the language given (as SetLanguage reads it).
struct MoreTexts {
    QString slogan;           // beside the banner's logo
    QString newFolderButton;  // the folder dialog's button, "&" before the access key
    QString newFolderName;    // the name a new folder starts with
    QString newFolderFailed;  // %1: the folder the new one could not be made in
};
MoreTexts moreTexts(const QString &language);

// The members in table order, for code that needs to walk them (and tests).
using TextMember = QString Texts::*;
const TextMember *allTexts();

}  // namespace fetchora
