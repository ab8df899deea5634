#pragma once
// Runtime errors as the user sees them: a number and a readable description.
// Procedures raise them; the error trap of the procedure (TraceScope::step)
// reports them and the procedure goes on with its next step. They never cross
// a procedure boundary.

#include <QString>
#include <exception>
#include <string>

namespace fetchora {

namespace err {
// The classic runtime error numbers the report uses.
inline constexpr long InvalidProcedureCall = 5;
inline constexpr long Overflow = 6;
inline constexpr long OutOfMemory = 7;
inline constexpr long TypeMismatch = 13;
inline constexpr long UserInterrupt = 18;
inline constexpr long FileNotFound = 53;
inline constexpr long FileAlreadyExists = 58;
inline constexpr long DiskFull = 61;
inline constexpr long PermissionDenied = 70;
inline constexpr long PathFileAccessError = 75;
inline constexpr long PathNotFound = 76;
inline constexpr long ObjectVariableNotSet = 91;
inline constexpr long FileNotFoundOrDll = 48;  // "Error in loading DLL"
}  // namespace err

// The language texts are written in. Code off the UI thread is handed one by
// value; nothing here knows the interface's current choice.
enum class Language { German, English };

// The interface language a setting names: exactly "English" gives English,
// anything else German.
Language languageNamed(const QString &name);

// The readable description of a runtime error number ("Type mismatch" for 13).
QString errorDescription(long number, Language language);

class RuntimeError : public std::exception {
public:
    // Without a description of its own the error reads as its number's
    // standard text, in the language of whoever reports it.
    explicit RuntimeError(long number, QString description = {}, QString source = {});

    long number() const { return m_number; }
    // The error's own text; empty when it has none.
    const QString &description() const { return m_description; }
    QString describe(Language language) const;
    // The component that raised the error; empty or the program's own name for
    // errors of the program itself (see the "remote" note of the error report).
    const QString &source() const { return m_source; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    long m_number;
    QString m_description;
    QString m_source;
    std::string m_what;
};

// Throws RuntimeError(number) with the standard description when none is given.
[[noreturn]] void raiseError(long number, const QString &description = {}, const QString &source = {});

// A failed file operation names what is in the way, so the user knows what to
// fix: "Disk full: /s/report.txt", "Path/File access error: /s/report.txt is a folder".
enum class FileNote { None, IsFolder, ReadOnly };
RuntimeError fileError(long number, const QString &path, FileNote note, Language language);

// The one mapping from a system error to ours, for every layer that touches
// files (engine, store, ZIP, file system). ENOENT gives `notFound`, which the
// caller knows better (a missing file, or a missing folder on the way); an
// errno without a number of its own maps to 75 and keeps its system text.
struct ErrnoMapping {
    long number;
    FileNote note;
    bool keepSystemText;
};
ErrnoMapping mapErrno(int errnoValue, long notFound);
RuntimeError errnoError(int errnoValue, const QString &path, long notFound, Language language);

// Anything thrown that is not a RuntimeError, as one: out of memory is 7,
// everything else 5 with the exception's own text.
RuntimeError fromException(const std::exception &error);

}  // namespace fetchora
