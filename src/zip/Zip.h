#pragma once
// The ZIP layer the program stores compressed copies with.
//
// packFile runs on a worker thread on the values it is handed and reads no
// shared state. The library-style calls (SetCompressionRate, ZipFile) keep a
// guarded process-wide rate for callers that use them that way. An archive is written under a temporary name beside its
// final place and renamed over it only when complete, so an existing archive is either replaced whole or left exactly
// as it was.

#include "core/RuntimeError.h"

#include <QString>

#include <functional>

namespace fetchora::zip {

struct ZipResult {
    long number = 0;      // 0: the archive is in place; else the error number
    QString description;  // names the file concerned, in the language asked for
    QString archivePath;  // where it was put (see PackOptions::keepOthers)
    QByteArray sha256;    // of the archive as written, hex
    bool ok() const { return number == 0; }
};

struct PackOptions {
    QString password;  // empty: none
    long rate = 6;
    Language language = Language::German;
    // A file already at the archive path stays: the archive takes the first
    // free name of "<name>-2.zip", "<name>-3.zip" ... instead.
    bool keepOthers = false;
    QString journal;  // where its working name is noted (WorkJournal.h)
    // Asked once, just before the complete archive takes its name; false:
    // it does not, and packing fails with err::UserInterrupt. Empty: always.
    std::function<bool()> mayPlace;
};

// Packs filePath into the archive at archivePath as its one entry, named
// after the file, at `rate` (0 stores, 1 to 9 deflate; others are clamped); a
// non-empty password encrypts it with WinZip AES-256. The archive is hashed
// right after it is written, while it is still in the page cache. Errors: 53
// source missing, 76 folder missing, 70 no rights, 61 disk full, 58 no free
// name, 1000+ archive errors.
ZipResult packFile(const QString &archivePath, const QString &filePath, const PackOptions &options);
ZipResult packFile(const QString &archivePath, const QString &filePath, const QString &password, long rate,
                   Language language);

long InitZip();
// The library's message language; it shows no messages to this program.
long SetLanguage(long language);
// 0 stores the file; 1 to 9 deflate at that level. Other values are clamped.
long SetCompressionRate(long rate);
long SaveFolderLocation(const QString &folder);
// packFile at the rate last set; returns its error number.
long ZipFile(const QString &archivePath, const QString &filePath, const QString &password, long flagA, long flagB);

}  // namespace fetchora::zip
