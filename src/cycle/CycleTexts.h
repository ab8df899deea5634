#pragma once
// The texts the cycle shows and writes, put together from the interface
// texts of the moment (UI thread only). The history's own few words come in
// the interface language too.

#include "core/RuntimeError.h"

#include <QString>
#include <QtGlobal>

namespace fetchora {

QString bytesText(qint64 loaded, qint64 size);  // "1 of 200 Bytes"
QString countdownText(long seconds);            // "59 seconds until next download"
QString notFoundText();                         // the 404 box
QString connectErrorText(long number, const QString &descr);
QString connectErrorTitle();
QString invalidUrlText(const QString &url);  // the password masked

// Why a transfer ended without the Cancel button, or why one never began.
QString replacedReason(Language language);
QString programEndedReason(Language language);
QString couldNotBeginReason(Language language, const QString &url);

}  // namespace fetchora
