#include "cycle/CycleProcedures.h"

#include "core/Trace.h"

namespace fetchora {

namespace {
// Nobody watches the cycle's procedures: a failure in them is reported in a
// box that holds nothing up.
constexpr auto kUnattended = TraceScope::Report::Notice;
}  // namespace

void CycleProcedures::cmdStart_Click()
{
    TraceScope t(m_module, "Sub cmdStart_Click", kUnattended);
    m_forwardTo->startStop(t);
}

void CycleProcedures::Start()
{
    TraceScope t(m_module, "Sub Start", kUnattended);
    m_forwardTo->start(t);
}

void CycleProcedures::Timer1_Timer()
{
    TraceScope t(m_module, "Sub Timer1_Timer", kUnattended);
    m_forwardTo->tick(t);
}

void CycleProcedures::StoreJob_Finished()
{
    TraceScope t(m_module, "Sub StoreJob_Finished", kUnattended);
    m_forwardTo->stored(t);
}

void CycleProcedures::FileDownload_Start()
{
    TraceScope t(m_module, "Sub FileDownload_Start", kUnattended);
    m_forwardTo->downloadStarted(t);
}

void CycleProcedures::FileDownload_Progress(qint64 BytesLoaded, qint64 FileSize)
{
    TraceScope t(m_module, "Sub FileDownload_Progress", kUnattended);
    m_forwardTo->progress(t, BytesLoaded, FileSize);
}

void CycleProcedures::FileDownload_ShowVersion(const QString &s)
{
    TraceScope t(m_module, "Sub FileDownload_ShowVersion", kUnattended);
    m_forwardTo->showVersion(t, s);
}

void CycleProcedures::FileDownload_Abort()
{
    TraceScope t(m_module, "Sub FileDownload_Abort", kUnattended);
    m_forwardTo->ended(t);
}

void CycleProcedures::FileDownload_NotFound()
{
    TraceScope t(m_module, "Sub FileDownload_NotFound", kUnattended);
    m_forwardTo->ended(t);
}

void CycleProcedures::FileDownload_ConnectionError(long, const QString &)
{
    TraceScope t(m_module, "Sub FileDownload_ConnectionError", kUnattended);
    if (!loading())
        m_forwardTo->ended(t);
}

void CycleProcedures::FileDownload_DownloadError(long, const QString &)
{
    TraceScope t(m_module, "Sub FileDownload_DownloadError", kUnattended);
    if (!loading())
        m_forwardTo->ended(t);
}

void CycleProcedures::FileDownload_Finished()
{
    TraceScope t(m_module, "Sub FileDownload_Finished", kUnattended);
    m_forwardTo->ended(t);
}

}  // namespace fetchora
