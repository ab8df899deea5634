#pragma once
// The main window's own words beyond the interface texts it shares with the
// service: the offer to make a missing save folder, and the last attempt.

#include "core/RuntimeError.h"

#include <QDateTime>
#include <QString>

namespace fetchora {

struct HistoryEntry;

QString createFolderQuestion(Language language, const QString &folder);
QString folderNotMadeText(Language language, const QString &folder, const QString &why);
// Beside the countdown and in the tray: "Last: stored, 14:05" (with the date
// when it was not today).
QString lastAttemptLine(Language language, const HistoryEntry &attempt, const QDateTime &now);
// The whole of it, with the copy or the error.
QString lastAttemptTip(Language language, const HistoryEntry &attempt);

}  // namespace fetchora
