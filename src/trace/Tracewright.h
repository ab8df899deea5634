#pragma once
// The Tracewright writer of the procedure trace: one text line per procedure
// entry, exit, error and note, sent to the viewer listening on a local socket.
//
// Tracing is decided once, at the first traced call: if a trace viewer
// ("Tracewright") is listening on the local socket in the user's private
// runtime folder then, every line is sent to it synchronously; otherwise
// nothing is ever sent and each call costs one flag test. A viewer that answers
// slowly costs a line at most a short wait; the lines that come while it is
// behind are dropped, and once it has caught up the next line it gets says how
// many. All of it runs on the UI thread; nothing is locked.

#include <QString>
#include <functional>

namespace fetchora {

// Makes the writer the trace's lines go to (core/Trace.h). Called once at the
// start of the program, before the first traced call.
void installTracewright();

// Decides now whether a viewer listens (otherwise the first traced call does).
void TraceInit();

// Test seams. Tests run many "processes" in one: these put the module back to
// its start state and let a test choose the socket name and the locale's
// decimal separator.
namespace tracetest {
void reset();
void setViewerName(const QString &socketName);  // default "Tracewright"; in the private runtime folder
void setDecimalSeparator(QChar sep);            // default: from the system locale
// While a sink is set, the next TraceInit turns tracing on without a viewer
// and every line (CR LF included) goes to the sink instead of the socket.
// An empty function removes it; reset() leaves it in place.
void setLineSink(std::function<void(const QString &line)> sink);
}  // namespace tracetest

}  // namespace fetchora
