#pragma once
// The texts the cycle shows and writes, put together from the interface
// texts of its profile. The history's own few words come in
// the interface language too.

#include "core/RuntimeError.h"

#include <QString>
#include <QtGlobal>

namespace fetchora {

struct Texts;

QString bytesText(const Texts &t, qint64 loaded, qint64 size);  // "1 of 200 Bytes"
QString countdownText(const Texts &t, long seconds);            // "59 seconds until next download"
QString notFoundText(const Texts &t);                         // the 404 box
QString connectErrorText(const Texts &t, long number, const QString &descr);
QString connectErrorTitle(const Texts &t);
QString invalidUrlText(const Texts &t, const QString &url);  // the password masked

// Why a transfer ended without the Cancel button, or why one never began.
QString replacedReason(Language language);
QString programEndedReason(Language language);
// The line of an attempt whose copy a quit could not wait for.
QString storeNotFinishedReason(Language language);
QString couldNotBeginReason(Language language, const QString &url);

}  // namespace fetchora
