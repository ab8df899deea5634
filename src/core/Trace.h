#pragma once
// Procedure trace and central error report.
//
// Every procedure of the program opens a TraceScope as its first statement:
//
//     void MainWindow::Start() {
//         TraceScope t("frmMain", "Sub Start");
//         t.step([&] { ... first step ... });
//         t.step([&] { ... next step ... });
//     }
//
// The scope writes the enter line when it is created and the exit line when it
// goes out of scope. Each step is an error trap: a RuntimeError (or any other
// exception) thrown inside it is reported through TraceError and the procedure
// resumes with the step after it, so one bad value never skips the rest of the
// procedure and never reaches the caller.
//
// The lines themselves are written by whatever start-up installed
// (setTraceLines): the program installs the Tracewright writer (trace/), which
// sends them to a viewer if one listens. With none installed the trace costs
// a pointer test a call. All of it runs on the UI thread; nothing is locked.

#include "core/RuntimeError.h"

#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace fetchora {

class PromptService;

// Where the trace's lines go. The error model lives here; the line format
// and the viewer belong to the trace tool, which implements this.
class TraceLines {
public:
    virtual ~TraceLines() = default;
    virtual void enter(const QString &module, const QString &procedure, const QString &extra) = 0;
    virtual void exit(const QString &module, const QString &procedure, const QString &extra) = 0;
    // The ERROR line of a report, sent before its box comes up.
    virtual void error(const QString &module, const QString &procedure, long number, const QString &description) = 0;
    virtual void note(const QString &module, const QString &procedure, const QString &text) = 0;
};
// Installed once at start-up, before the first traced call; not owned.
// nullptr: no trace.
void setTraceLines(TraceLines *lines);
// The program's file as the error report names it.
QString traceProgramPath();

void TraceEnter(const QString &module, const QString &procedure, const QString &extra = {});
void TraceExit(const QString &module, const QString &procedure, const QString &extra = {});
// Sends the ERROR line (when tracing), shows the "Unexpected Error" box and
// returns 3 (Abort), 1 (Retry) or 2 (Ignore). Never throws.
int TraceError(const QString &module, const QString &procedure, const RuntimeError &error);
// A note for whoever reads the trace, on a line of its own ("[fetchora] NOTE
// "<text>" at <module> : <procedure>"), counted in no procedure's lines; no box.
void TraceNote(const QString &module, const QString &procedure, const QString &text);
// For anything that is not a RuntimeError (std::bad_alloc, a library's
// exception): mapped onto a runtime error number first.
int TraceError(const QString &module, const QString &procedure, const std::exception &error);
// The same report for a procedure that must not wait for anyone: the box
// comes up without holding the caller, and not at all while another box is
// open. Returns at once.
void TraceErrorNotice(const QString &module, const QString &procedure, const RuntimeError &error);

// The message boxes of the error report go here. Set by start-up (and by tests).
void setTracePrompt(PromptService *prompt);
// The language an error without a text of its own is described in; follows
// the interface language.
void setTraceLanguage(Language language);

class TraceScope {
public:
    // How a failed step is reported: in the modal box, or (for the procedures
    // of an unattended cycle) in a box nobody has to answer.
    enum class Report { Box, Notice };
    TraceScope(const char *module, const char *procedure, Report report = Report::Box);
    ~TraceScope();
    TraceScope(const TraceScope &) = delete;
    TraceScope &operator=(const TraceScope &) = delete;

    // Runs one step of the procedure under the error trap. Returns false when
    // the step failed (the error has already been reported).
    template <class F>
    bool step(F &&body) noexcept
    {
        try {
            std::forward<F>(body)();
            return true;
        } catch (const RuntimeError &e) {
            report(e);
        } catch (const std::exception &e) {
            report(fromException(e));
        } catch (...) {
            report(RuntimeError(err::InvalidProcedureCall));
        }
        return false;
    }

    // Reports an error of this procedure as its failed steps are reported.
    void report(const RuntimeError &error) const;

    const QString &module() const { return m_module; }
    const QString &procedure() const { return m_procedure; }

private:
    QString m_module;
    QString m_procedure;
    Report m_report;
};

}  // namespace fetchora
