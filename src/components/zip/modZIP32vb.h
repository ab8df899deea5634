#pragma once
// The ZIP layer the program stores compressed copies with.
//
// ZipFile may run on a worker thread while the UI thread goes on: the rate
// and folder are process-wide and guarded; ZipFile takes a copy of them at
// its start. An archive is written under a temporary name beside its final
// place and renamed over it only when complete, so an existing archive is
// either replaced whole or left exactly as it was.

#include <QString>

namespace fetchora::zip {

long InitZip();
// The library's message language; it shows no messages to this program.
long SetLanguage(long language);
// 0 stores the file; 1 to 9 deflate at that level. Other values are clamped.
long SetCompressionRate(long rate);
long SaveFolderLocation(const QString &folder);
// Packs filePath into the archive at archivePath as its one entry, named
// after the file; a non-empty password encrypts it with WinZip AES-256.
// Returns 0 on success, else an error number (53 source missing, 76 folder
// missing, 70 no rights, 61 disk full, 1000+ archive errors); see lastZipError.
long ZipFile(const QString &archivePath, const QString &filePath, const QString &password, long flagA, long flagB);
// A readable text for the failure of the last ZipFile call (any thread);
// empty after a success.
QString lastZipError();

}  // namespace fetchora::zip
