#include "core/RuntimeError.h"

#include <QDir>
#include <QHash>

#include <cerrno>
#include <new>

namespace fetchora {

Language languageNamed(const QString &name)
{
    return name == QLatin1String("English") ? Language::English : Language::German;
}

QString errorDescription(long number, Language language)
{
    const bool english = language == Language::English;
    static const QHash<long, std::pair<const char *, const char *>> texts = {
        {3, {"Return without GoSub", "Return ohne GoSub"}},
        {5, {"Invalid procedure call or argument", "Unzulässiger Prozeduraufruf oder ungültiges Argument"}},
        {6, {"Overflow", "Überlauf"}},
        {7, {"Out of memory", "Nicht genügend Speicher"}},
        {9, {"Subscript out of range", "Index außerhalb des gültigen Bereichs"}},
        {11, {"Division by zero", "Division durch Null"}},
        {13, {"Type mismatch", "Typen unverträglich"}},
        {18, {"User interrupt occurred", "Benutzerunterbrechung aufgetreten"}},
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
    : m_number(number), m_description(std::move(description)), m_source(std::move(source))
{
    m_what = (QString::number(m_number) + QStringLiteral(": ") + describe(Language::English)).toStdString();
}

QString RuntimeError::describe(Language language) const
{
    return m_description.isEmpty() ? errorDescription(m_number, language) : m_description;
}

void raiseError(long number, const QString &description, const QString &source)
{
    throw RuntimeError(number, description, source);
}

RuntimeError fileError(long number, const QString &path, FileNote note, Language language)
{
    const bool english = language == Language::English;
    QString text = errorDescription(number, language) + QStringLiteral(": ") + QDir::toNativeSeparators(path);
    if (note == FileNote::IsFolder)
        text += english ? QStringLiteral(" is a folder") : QStringLiteral(" ist ein Ordner");
    else if (note == FileNote::ReadOnly)
        text += english ? QStringLiteral(" is read-only") : QStringLiteral(" ist schreibgeschützt");
    return RuntimeError(number, text);
}

ErrnoMapping mapErrno(int errnoValue, long notFound)
{
    switch (errnoValue) {
    case ENOENT: return {notFound, FileNote::None, false};
    case ENOTDIR: return {err::PathNotFound, FileNote::None, false};
    // A folder stands where a file should go (or a non-empty one where a
    // rename should land).
    case EISDIR:
    case ENOTEMPTY: return {err::PathFileAccessError, FileNote::IsFolder, false};
    case EEXIST: return {err::FileAlreadyExists, FileNote::None, false};
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY: return {err::PermissionDenied, FileNote::None, false};
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return {err::DiskFull, FileNote::None, false};
    case ENOMEM: return {err::OutOfMemory, FileNote::None, false};
    default: return {err::PathFileAccessError, FileNote::None, true};
    }
}

RuntimeError errnoError(int errnoValue, const QString &path, long notFound, Language language)
{
    const ErrnoMapping m = mapErrno(errnoValue, notFound);
    RuntimeError e = fileError(m.number, path, m.note, language);
    if (!m.keepSystemText)
        return e;
    return RuntimeError(e.number(), e.description() + QStringLiteral(" (") + qt_error_string(errnoValue) + u')');
}

RuntimeError fromException(const std::exception &error)
{
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return RuntimeError(err::OutOfMemory);
    return RuntimeError(err::InvalidProcedureCall, QString::fromLocal8Bit(error.what()));
}

}  // namespace fetchora
