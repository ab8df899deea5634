#include "core/Trace.h"

#include "core/PromptService.h"

#include <QCoreApplication>
#include <cstdio>

namespace fetchora {

namespace {

// One set per process, as the error scheme wants it.
struct ReportState {
    TraceLines *lines = nullptr;
    PromptService *prompt = nullptr;
    Language language = Language::German;
};

ReportState &state()
{
    static ReportState s;
    return s;
}

// The box's text, after the ERROR line has gone to the viewer.
QString reportText(const QString &module, const QString &procedure, const RuntimeError &error)
{
    ReportState &s = state();
    const long number = error.number();
    const QString description = error.describe(s.language);
    const QString source = error.source();
    const long line = 0;
    const QString path = traceProgramPath();

    if (s.lines)
        s.lines->error(module, procedure, number, description);

    // A source that starts with a non-zero number names a component of
    // the same scheme that passed the error on: "<n>Name!...".
    QString note = QStringLiteral(".");
    qsizetype digits = 0;
    while (digits < source.size() && source.at(digits).isDigit())
        ++digits;
    if (digits > 0 && source.left(digits).toLongLong() != 0) {
        const qsizetype bang = source.indexOf(QLatin1Char('!'));
        const QString component = bang > 0 ? source.mid(1, bang - 1) : source.mid(1);
        note = QStringLiteral(". This error was generated remotely by ") + component
               + QStringLiteral(", a component of ") + path + QStringLiteral(".");
    }
    if (s.prompt && s.prompt->plainErrorReports())
        return QStringLiteral("error %1 (%2)").arg(number).arg(description);
    return QStringLiteral("Tracewright reports ") + path + QStringLiteral(" program error #") + QString::number(number)
           + QStringLiteral(" (") + description + QStringLiteral(") occurred in module ") + module
           + QStringLiteral(", ") + procedure + QStringLiteral(", line ") + QString::number(line) + note;
}

const QString kReportTitle = QStringLiteral("Unexpected Error");

}  // namespace

QString traceProgramPath()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QStringLiteral("fetchora");
}

void setTraceLines(TraceLines *lines)
{
    state().lines = lines;
}

void TraceEnter(const QString &module, const QString &procedure, const QString &extra)
{
    try {
        if (TraceLines *lines = state().lines)
            lines->enter(module, procedure, extra);
    } catch (...) {
    }
}

void TraceExit(const QString &module, const QString &procedure, const QString &extra)
{
    try {
        if (TraceLines *lines = state().lines)
            lines->exit(module, procedure, extra);
    } catch (...) {
    }
}

void TraceErrorNotice(const QString &module, const QString &procedure, const RuntimeError &error)
{
    try {
        const QString text = reportText(module, procedure, error);
        if (PromptService *prompt = state().prompt)
            prompt->notify(text, mb::Critical | mb::OKOnly, prompt->plainErrorReports() ? QString() : kReportTitle);
        else
            std::fprintf(stderr, "Unexpected Error: %s\n", text.toLocal8Bit().constData());
    } catch (...) {
    }
}

int TraceError(const QString &module, const QString &procedure, const RuntimeError &error)
{
    try {
        ReportState &s = state();
        const QString text = reportText(module, procedure, error);
        int answer = mb::Ignore;
        if (s.prompt)
            answer = s.prompt->msgBox(text, mb::Critical | mb::AbortRetryIgnore,
                                      s.prompt->plainErrorReports() ? QString() : kReportTitle);
        else
            std::fprintf(stderr, "Unexpected Error: %s\n", text.toLocal8Bit().constData());
        switch (answer) {
        case mb::Abort: return 3;
        case mb::Retry: return 1;
        default: return 2;
        }
    } catch (...) {
        return 2;
    }
}

void TraceNote(const QString &module, const QString &procedure, const QString &text)
{
    try {
        if (TraceLines *lines = state().lines)
            lines->note(module, procedure, text);
    } catch (...) {
    }
}

int TraceError(const QString &module, const QString &procedure, const std::exception &error)
{
    return TraceError(module, procedure, fromException(error));
}

void setTraceLanguage(Language language)
{
    state().language = language;
}

void setTracePrompt(PromptService *prompt)
{
    state().prompt = prompt;
}

TraceScope::TraceScope(const char *module, const char *procedure, Report report)
    : m_module(QString::fromLatin1(module)), m_procedure(QString::fromLatin1(procedure)), m_report(report)
{
    TraceEnter(m_module, m_procedure);
}

void TraceScope::report(const RuntimeError &error) const
{
    if (m_report == Report::Notice)
        TraceErrorNotice(m_module, m_procedure, error);
    else
        TraceError(m_module, m_procedure, error);
}

TraceScope::~TraceScope()
{
    TraceExit(m_module, m_procedure);
}

}  // namespace fetchora
