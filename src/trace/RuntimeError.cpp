#include "trace/RuntimeError.h"

#include "startup/modGlobal.h"

#include <QDir>
#include <QHash>

#include <cerrno>

namespace fetchora {

bool englishTexts()
{
    return strLanguage == QLatin1String("English");
}

QString errorDescription(long number, bool english)
{
    static const QHash<long, std::pair<const char *, const char *>> texts = {
        {3, {"Return without GoSub", "Return ohne GoSub"}},
        {5, {"Invalid procedure call or argument", "Unzulässiger Prozeduraufruf oder ungültiges Argument"}},
        {6, {"Overflow", "Überlauf"}},
        {7, {"Out of memory", "Nicht genügend Speicher"}},
        {9, {"Subscript out of range", "Index außerhalb des gültigen Bereichs"}},
        {11, {"Division by zero", "Division durch Null"}},
        {13, {"Type mismatch", "Typen unverträglich"}},
        {48, {"Error in loading DLL", "Fehler beim Laden einer DLL"}},
        {52, {"Bad file name or number", "Dateiname oder -nummer falsch"}},
        {53, {"File not found", "Datei nicht gefunden"}},
        {57, {"Device I/O error", "Fehler beim Geräte-E/A"}},
        {58, {"File already exists", "Datei existiert bereits"}},
        {61, {"Disk full", "Datenträger voll"}},
        {62, {"Input past end of file", "Einlesen hinter Dateiende"}},
        {67, {"Too many files", "Zu viele Dateien"}},
        {68, {"Device unavailable", "Gerät nicht verfügbar"}},
        {70, {"Permission denied", "Zugriff verweigert"}},
        {71, {"Disk not ready", "Datenträger nicht bereit"}},
        {74, {"Can't rename with different drive", "Umbenennen bei unterschiedlichen Laufwerken nicht möglich"}},
        {75, {"Path/File access error", "Fehler beim Zugriff auf Pfad/Datei"}},
        {76, {"Path not found", "Pfad nicht gefunden"}},
        {91,
         {"Object variable or With block variable not set", "Objektvariable oder With-Blockvariable nicht festgelegt"}},
        {424, {"Object required", "Objekt erforderlich"}},
        {429, {"ActiveX component can't create object", "Objekterstellung durch ActiveX-Komponente nicht möglich"}},
        {453, {"Can't find DLL entry point", "DLL-Einsprungpunkt nicht gefunden"}},
        {481, {"Invalid picture", "Ungültiges Bild"}},
    };
    const auto it = texts.constFind(number);
    if (it == texts.constEnd())
        return english ? QStringLiteral("Application-defined or object-defined error")
                       : QStringLiteral("Anwendungs- oder objektdefinierter Fehler");
    return QString::fromUtf8(english ? it->first : it->second);
}

RuntimeError::RuntimeError(long number, QString description, QString source)
    : m_number(number), m_description(description.isEmpty() ? errorDescription(number) : std::move(description)),
      m_source(std::move(source))
{
    m_what = (QString::number(m_number) + QStringLiteral(": ") + m_description).toStdString();
}

void raiseError(long number, const QString &description, const QString &source)
{
    throw RuntimeError(number, description, source);
}

RuntimeError fileError(long number, const QString &path, FileNote note, bool english)
{
    QString text = errorDescription(number, english) + QStringLiteral(": ") + QDir::toNativeSeparators(path);
    if (note == FileNote::IsFolder)
        text += english ? QStringLiteral(" is a folder") : QStringLiteral(" ist ein Ordner");
    else if (note == FileNote::ReadOnly)
        text += english ? QStringLiteral(" is read-only") : QStringLiteral(" ist schreibgeschützt");
    return RuntimeError(number, text);
}

RuntimeError errnoError(int errnoValue, const QString &path, long notFound, bool english)
{
    switch (errnoValue) {
    case ENOENT: return fileError(notFound, path, FileNote::None, english);
    case ENOTDIR: return fileError(err::PathNotFound, path, FileNote::None, english);
    case EISDIR: return fileError(err::PathFileAccessError, path, FileNote::IsFolder, english);
    case EEXIST:
    case ENOTEMPTY: return fileError(err::FileAlreadyExists, path, FileNote::None, english);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY: return fileError(err::PermissionDenied, path, FileNote::None, english);
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return fileError(err::DiskFull, path, FileNote::None, english);
    case ENOMEM: return fileError(err::OutOfMemory, path, FileNote::None, english);
    default: {
        RuntimeError e = fileError(err::PathFileAccessError, path, FileNote::None, english);
        return RuntimeError(e.number(), e.description() + QStringLiteral(" (") + qt_error_string(errnoValue) + u')');
    }
    }
}

}  // namespace fetchora
