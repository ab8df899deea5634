#include "trace/RuntimeError.h"

#include <QHash>

namespace fetchora {

QString errorDescription(long number)
{
    static const QHash<long, const char *> texts = {
        {3, "Return without GoSub"},
        {5, "Invalid procedure call or argument"},
        {6, "Overflow"},
        {7, "Out of memory"},
        {9, "Subscript out of range"},
        {11, "Division by zero"},
        {13, "Type mismatch"},
        {48, "Error in loading DLL"},
        {52, "Bad file name or number"},
        {53, "File not found"},
        {57, "Device I/O error"},
        {58, "File already exists"},
        {61, "Disk full"},
        {62, "Input past end of file"},
        {67, "Too many files"},
        {68, "Device unavailable"},
        {70, "Permission denied"},
        {71, "Disk not ready"},
        {74, "Can't rename with different drive"},
        {75, "Path/File access error"},
        {76, "Path not found"},
        {91, "Object variable or With block variable not set"},
        {424, "Object required"},
        {429, "ActiveX component can't create object"},
        {453, "Can't find DLL entry point"},
        {481, "Invalid picture"},
    };
    const auto it = texts.constFind(number);
    return it != texts.constEnd() ? QString::fromLatin1(it.value())
                                  : QStringLiteral("Application-defined or object-defined error");
}

RuntimeError::RuntimeError(long number, QString description, QString source)
    : m_number(number),
      m_description(description.isEmpty() ? errorDescription(number) : std::move(description)),
      m_source(std::move(source))
{
    m_what = (QString::number(m_number) + QStringLiteral(": ") + m_description).toStdString();
}

void raiseError(long number, const QString &description, const QString &source)
{
    throw RuntimeError(number, description, source);
}

}  // namespace fetchora
