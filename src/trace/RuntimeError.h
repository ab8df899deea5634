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
inline constexpr long FileNotFound = 53;
inline constexpr long FileAlreadyExists = 58;
inline constexpr long DiskFull = 61;
inline constexpr long PermissionDenied = 70;
inline constexpr long PathFileAccessError = 75;
inline constexpr long PathNotFound = 76;
inline constexpr long ObjectVariableNotSet = 91;
inline constexpr long FileNotFoundOrDll = 48;  // "Error in loading DLL"
}  // namespace err

// The descriptions a user reads come in the interface language: exactly
// "English" in strLanguage gives English, anything else German. Read it on the
// UI thread and hand the answer to a worker that builds texts.
bool englishTexts();

// The readable description of a runtime error number ("Type mismatch" for 13).
QString errorDescription(long number, bool english = englishTexts());

class RuntimeError : public std::exception {
public:
    explicit RuntimeError(long number, QString description = {}, QString source = {});

    long number() const { return m_number; }
    const QString &description() const { return m_description; }
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
RuntimeError fileError(long number, const QString &path, FileNote note = FileNote::None, bool english = englishTexts());
// The same from the errno of the failed call; ENOENT gives `notFound`, and an
// errno without a number of its own its system text after the path.
RuntimeError errnoError(int errnoValue, const QString &path, long notFound = err::FileNotFound,
                        bool english = englishTexts());

}  // namespace fetchora
